#include "platform/defaults/PropertyListXML.hpp"

#include <pugixml.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/core/Base64.hpp"
#include "platform/core/Unicode.hpp"

namespace platform {
namespace {

// ---- dates ----

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
}

unsigned daysInMonth(std::int64_t year, unsigned month) {
  constexpr unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
  return month == 2 && leap ? 29 : days[month - 1];
}

// Dates are held to this many seconds either side of the reference date, where a double still counts
// every second; beyond it they are neither written nor read.
constexpr double largestExactSeconds = 9007199254740991.0;  // 2^53 - 1

bool isWritableDate(Date date) {
  return std::abs(date.timeIntervalSinceReferenceDate) <= largestExactSeconds;  // false for NaN
}

enum class DateParse { valid, malformed, outOfRange };
DateParse parseDateText(std::string_view text, Date& date);

// The digits of 1 - 0.<digits>, for fraction digits without trailing zeros ("1" gives "9", "25" gives "75").
std::string complementFraction(std::string_view digits) {
  std::string result(digits);
  for (std::size_t i = 0; i < result.size(); ++i)
    result[i] = static_cast<char>('0' + (i + 1 == result.size() ? 10 : 9) - (result[i] - '0'));
  return result;
}

std::string_view withoutTrailingZeros(std::string_view digits) {
  while (!digits.empty() && digits.back() == '0') digits.remove_suffix(1);
  return digits;
}

// ---- text escaping ----

bool needsReference(unsigned char c) { return (c < 0x20 && c != '\t' && c != '\n') || c == 0x7F; }

void appendEscaped(std::string& out, std::string_view text) {
  for (char ch : text) {
    auto c = static_cast<unsigned char>(ch);
    switch (ch) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default:
        if (needsReference(c)) {
          char buffer[8];
          std::snprintf(buffer, sizeof buffer, "&#x%X;", c);
          out += buffer;
        } else {
          out += ch;
        }
    }
  }
}

// The reader parses without entity expansion and expands here, so that a
// reference to U+0000 survives into the std::string.
std::optional<std::string> unescape(std::string_view raw) {
  std::string out;
  out.reserve(raw.size());
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] != '&') {
      out += raw[i];
      continue;
    }
    std::size_t end = raw.find(';', i);
    if (end == std::string_view::npos) return std::nullopt;
    std::string_view name = raw.substr(i + 1, end - i - 1);
    i = end;
    if (name == "amp") out += '&';
    else if (name == "lt") out += '<';
    else if (name == "gt") out += '>';
    else if (name == "quot") out += '"';
    else if (name == "apos") out += '\'';
    else if (name.size() > 1 && name[0] == '#') {
      bool hex = name[1] == 'x' || name[1] == 'X';
      std::string_view digits = name.substr(hex ? 2 : 1);
      std::uint32_t code = 0;
      auto result = std::from_chars(digits.data(), digits.data() + digits.size(), code, hex ? 16 : 10);
      if (digits.empty() || result.ec != std::errc() || result.ptr != digits.data() + digits.size() ||
          !isScalar(code))
        return std::nullopt;
      appendUTF8(out, code);
    } else {
      return std::nullopt;
    }
  }
  return out;
}

// ---- writer ----

void writeValue(std::string& out, const PropertyList& value, int depth) {
  std::string indent(static_cast<std::size_t>(depth), '\t');
  out += indent;
  using Kind = PropertyList::Kind;
  switch (value.kind()) {
    case Kind::boolean: out += *value.boolean() ? "<true/>\n" : "<false/>\n"; return;
    case Kind::integer: out += "<integer>" + std::to_string(*value.integer()) + "</integer>\n"; return;
    case Kind::unsignedInteger:
      out += "<integer>" + std::to_string(*value.unsignedInteger()) + "</integer>\n";
      return;
    case Kind::real: {
      double real = *value.real();
      std::string text = std::isnan(real)   ? "nan"
                         : std::isinf(real) ? (real < 0 ? "-infinity" : "+infinity")
                                            : shortestText(real);
      out += "<real>" + text + "</real>\n";
      return;
    }
    case Kind::string:
      out += "<string>";
      appendEscaped(out, *value.string());
      out += "</string>\n";
      return;
    case Kind::data: out += "<data>" + base64Encoded(*value.data()) + "</data>\n"; return;
    case Kind::date: out += "<date>" + PropertyListXML::dateText(*value.date()).value() + "</date>\n"; return;
    case Kind::array:
      if (value.array()->empty()) {
        out += "<array/>\n";
        return;
      }
      out += "<array>\n";
      for (const PropertyList& element : *value.array()) writeValue(out, element, depth + 1);
      out += indent + "</array>\n";
      return;
    case Kind::dictionary:
      if (value.dictionary()->empty()) {
        out += "<dict/>\n";
        return;
      }
      out += "<dict>\n";
      for (const auto& [key, element] : *value.dictionary()) {
        out += indent + "\t<key>";
        appendEscaped(out, key);
        out += "</key>\n";
        writeValue(out, element, depth + 1);
      }
      out += indent + "</dict>\n";
      return;
  }
}

// ---- reader ----

// Comments, and the white space between the elements of a container.
bool isIgnorable(const pugi::xml_node& node) {
  if (node.type() == pugi::node_comment) return true;
  if (node.type() != pugi::node_pcdata) return false;
  return std::string_view(node.value()).find_first_not_of(" \t\r\n") == std::string_view::npos;
}

struct Reader {
  std::vector<std::string>* leftOut = nullptr;
  std::string reason;
  bool beyondLimits = false;  // the failure is a well-formed value that cannot be held

  std::optional<PropertyList> fail(std::string text) {
    if (reason.empty()) reason = std::move(text);
    return std::nullopt;
  }
  std::optional<PropertyList> refuse(std::string text) {
    if (reason.empty()) beyondLimits = true;
    return fail(std::move(text));
  }

  static std::string_view rawText(const pugi::xml_node& node) {
    // Text, CDATA and nothing else; an element inside a scalar is malformed.
    std::string_view all;
    for (pugi::xml_node child : node.children()) {
      if (child.type() != pugi::node_pcdata && child.type() != pugi::node_cdata) return "\x01<element>";
      if (!all.empty()) return "\x01<split>";
      all = child.value();
    }
    return all;
  }

  std::optional<std::string> text(const pugi::xml_node& node) {
    std::string_view raw = rawText(node);
    if (raw.starts_with('\x01')) return std::nullopt;
    // CDATA children are taken literally.
    if (node.first_child().type() == pugi::node_cdata) return std::string(raw);
    return unescape(raw);
  }

  std::optional<PropertyList> integer(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\n' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\n' || text.back() == '\t')) text.remove_suffix(1);
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    if (!text.empty() && text.front() == '+') ++begin;
    if (!text.empty() && text.front() == '-') {
      std::int64_t value = 0;
      auto result = std::from_chars(begin, end, value);
      if (result.ec == std::errc() && result.ptr == end) return PropertyList(value);
    } else {
      std::uint64_t value = 0;
      auto result = std::from_chars(begin, end, value);
      if (begin != end && result.ec == std::errc() && result.ptr == end) return PropertyList(value);
    }
    return fail("invalid integer \"" + std::string(text) + "\"");
  }

  std::optional<PropertyList> real(std::string_view text) {
    if (text == "nan" || text == "NaN") return PropertyList(std::nan(""));
    if (text == "+infinity" || text == "infinity" || text == "inf") return PropertyList(HUGE_VAL);
    if (text == "-infinity" || text == "-inf") return PropertyList(-HUGE_VAL);
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    if (!text.empty() && text.front() == '+') ++begin;
    double value = 0;
    auto result = std::from_chars(begin, end, value);
    if (begin != end && result.ec == std::errc() && result.ptr == end) return PropertyList(value);
    return fail("invalid real \"" + std::string(text) + "\"");
  }

  std::optional<PropertyList> value(const pugi::xml_node& node, int depth) {
    if (depth > PropertyListXML::maximumDepth) return refuse("nesting too deep");
    std::string_view name = node.name();
    if (name == "true" || name == "false") {
      if (node.first_child()) return fail("content in <" + std::string(name) + ">");
      return PropertyList(name == "true");
    }
    if (name == "dict") return dictionary(node, depth);
    if (name == "array") {
      PropertyList::Array array;
      for (pugi::xml_node child : node.children()) {
        if (isIgnorable(child)) continue;
        if (child.type() != pugi::node_element) return fail("text in <array>");
        auto element = value(child, depth + 1);
        if (!element) return std::nullopt;
        array.push_back(std::move(*element));
      }
      return PropertyList(std::move(array));
    }
    std::optional<std::string> content = text(node);
    if (!content) return fail("malformed <" + std::string(name) + ">");
    if (name == "string") return PropertyList(std::move(*content));
    if (name == "integer") return integer(*content);
    if (name == "real") return real(*content);
    if (name == "data") {
      if (auto data = base64Decoded(*content)) return PropertyList(std::move(*data));
      return fail("invalid base-64 data");
    }
    if (name == "date") {
      Date date;
      switch (parseDateText(*content, date)) {
        case DateParse::valid: return PropertyList(date);
        case DateParse::outOfRange: return refuse("date out of range \"" + *content + "\"");
        case DateParse::malformed: break;
      }
      return fail("invalid date \"" + *content + "\"");
    }
    return fail("unknown element <" + std::string(name) + ">");
  }

  std::optional<PropertyList> dictionary(const pugi::xml_node& node, int depth) {
    PropertyList::Dictionary dictionary;
    std::optional<std::string> key;
    for (pugi::xml_node child : node.children()) {
      if (isIgnorable(child)) continue;
      if (child.type() != pugi::node_element) return fail("text in <dict>");
      if (!key) {
        if (std::string_view(child.name()) != "key") return fail("value without <key> in <dict>");
        key = text(child);
        if (!key) return fail("malformed <key>");
        continue;
      }
      auto element = value(child, depth + 1);
      if (!element && depth == 0 && leftOut && beyondLimits) {
        // One setting that cannot be held costs that setting, not the whole file.
        leftOut->push_back(std::move(*key));
        key.reset();
        reason.clear();
        beyondLimits = false;
        continue;
      }
      if (!element) return std::nullopt;
      dictionary.insert_or_assign(std::move(*key), std::move(*element));
      key.reset();
    }
    if (key) return fail("<key> without value in <dict>");
    return PropertyList(std::move(dictionary));
  }
};

// Where values cannot be written; a value deeper than the limit is not looked into.
std::optional<std::string> unwritable(const PropertyList& value, int depth) {
  if (depth > PropertyListXML::maximumDepth)
    return "nested deeper than " + std::to_string(PropertyListXML::maximumDepth) + " levels";
  if (const Date* date = value.date(); date && !isWritableDate(*date))
    return "date out of range (" + shortestText(date->timeIntervalSinceReferenceDate) + " seconds from 2001)";
  if (const PropertyList::Array* array = value.array())
    for (const PropertyList& element : *array)
      if (auto reason = unwritable(element, depth + 1)) return reason;
  if (const PropertyList::Dictionary* dictionary = value.dictionary())
    for (const auto& entry : *dictionary)
      if (auto reason = unwritable(entry.second, depth + 1)) return reason;
  return std::nullopt;
}

}  // namespace

std::optional<std::string> PropertyListXML::dateText(Date date) {
  if (!isWritableDate(date)) return std::nullopt;
  double t = date.timeIntervalSinceReferenceDate;
  // The whole seconds and the fraction are cut from the shortest decimal of t, not computed in binary, where
  // the fraction of a time just before the reference date rounds (to as much as a whole second).
  char decimalBuffer[512];
  auto decimalEnd = std::to_chars(decimalBuffer, decimalBuffer + sizeof decimalBuffer, t, std::chars_format::fixed).ptr;
  std::string_view decimal(decimalBuffer, static_cast<std::size_t>(decimalEnd - decimalBuffer));
  bool negative = decimal.starts_with('-');
  if (negative) decimal.remove_prefix(1);
  std::size_t point = decimal.find('.');
  std::string_view fractionDigits =
      point == std::string_view::npos ? std::string_view() : withoutTrailingZeros(decimal.substr(point + 1));
  std::int64_t whole = 0;
  std::from_chars(decimal.data(), decimal.data() + std::min(point, decimal.size()), whole);
  std::string fraction(fractionDigits);
  if (negative) {
    whole = -whole;
    if (!fraction.empty()) {
      whole -= 1;
      fraction = complementFraction(fraction);
    }
  }
  auto seconds = whole + static_cast<std::int64_t>(Date::timeIntervalBetween1970AndReferenceDate);
  std::int64_t days = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
  std::int64_t secondOfDay = seconds - days * 86400;
  std::int64_t year = 0;
  unsigned month = 0, day = 0;
  civilFromDays(days, year, month, day);
  char buffer[64];
  const char* sign = year < 0 ? "-" : (year > 9999 ? "+" : "");
  std::snprintf(buffer, sizeof buffer, "%s%04lld-%02u-%02uT%02d:%02d:%02d", sign,
                static_cast<long long>(year < 0 ? -year : year), month, day, static_cast<int>(secondOfDay / 3600),
                static_cast<int>(secondOfDay / 60 % 60), static_cast<int>(secondOfDay % 60));
  std::string text = buffer;
  if (!fraction.empty()) {
    text += '.';
    text += fraction;
  }
  return text + "Z";
}

namespace {

DateParse parseDateText(std::string_view text, Date& date) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  auto number = [&](std::size_t minDigits, std::size_t maxDigits, std::int64_t& out) {
    std::size_t start = i;
    out = 0;
    while (i < text.size() && i - start < maxDigits && text[i] >= '0' && text[i] <= '9') out = out * 10 + (text[i++] - '0');
    return i - start >= minDigits;
  };
  auto expect = [&](char c) { return i < text.size() && text[i++] == c; };
  std::int64_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!number(4, 12, year) || !expect('-') || !number(2, 2, month) || !expect('-') || !number(2, 2, day) ||
      !expect('T') || !number(2, 2, hour) || !expect(':') || !number(2, 2, minute) || !expect(':') ||
      !number(2, 2, second))
    return DateParse::malformed;
  if (negative) year = -year;
  if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59) return DateParse::malformed;
  if (day > daysInMonth(year, static_cast<unsigned>(month))) return DateParse::malformed;
  std::string_view fraction;
  if (i < text.size() && text[i] == '.') {
    std::size_t start = ++i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    if (i == start) return DateParse::malformed;
    fraction = withoutTrailingZeros(text.substr(start, i - start));
  }
  if (i + 1 != text.size() || text[i] != 'Z') return DateParse::malformed;
  std::int64_t days = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
  // Checked before the seconds are counted, which would not fit in 64 bits.
  constexpr std::int64_t largestDays = INT64_MAX / 86400 - 1;
  if (days > largestDays || days < -largestDays) return DateParse::outOfRange;
  std::int64_t seconds = days * 86400 + hour * 3600 + minute * 60 + second -
                         static_cast<std::int64_t>(Date::timeIntervalBetween1970AndReferenceDate);
  date = Date{static_cast<double>(seconds)};
  if (!fraction.empty()) {
    // The seconds and their fraction read as one decimal, rounded once.
    std::string decimal(seconds >= 0 ? "" : "-");
    decimal += std::to_string(seconds >= 0 ? seconds : -(seconds + 1));
    decimal += '.';
    decimal += seconds >= 0 ? std::string(fraction) : complementFraction(fraction);
    std::from_chars(decimal.data(), decimal.data() + decimal.size(), date.timeIntervalSinceReferenceDate);
  }
  return isWritableDate(date) ? DateParse::valid : DateParse::outOfRange;
}

}  // namespace

std::optional<Date> PropertyListXML::parseDate(std::string_view text) {
  Date date;
  if (parseDateText(text, date) != DateParse::valid) return std::nullopt;
  return date;
}

std::optional<std::string> PropertyListXML::unwritableReason(const PropertyList& value, int depth) {
  return unwritable(value, depth);
}

std::optional<std::string> PropertyListXML::write(const PropertyList& root, std::string* reason) {
  if (auto problem = unwritable(root, 0)) {
    if (reason) *reason = std::move(*problem);
    return std::nullopt;
  }
  std::string out =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<plist version=\"1.0\">\n";
  writeValue(out, root, 0);
  out += "</plist>\n";
  return out;
}

std::optional<PropertyList> PropertyListXML::read(std::string_view text, std::string* reason,
                                                  std::vector<std::string>* leftOut) {
  pugi::xml_document document;
  unsigned options = (pugi::parse_default | pugi::parse_doctype | pugi::parse_ws_pcdata) & ~pugi::parse_escapes & ~pugi::parse_wconv_attribute;
  pugi::xml_parse_result parsed = document.load_buffer(text.data(), text.size(), options, pugi::encoding_utf8);
  if (parsed.status == pugi::status_out_of_memory) throw std::bad_alloc();  // no fault of the text
  Reader reader;
  std::vector<std::string> entriesLeftOut;
  if (leftOut) reader.leftOut = &entriesLeftOut;
  std::optional<PropertyList> result;
  if (!parsed) {
    reader.reason = parsed.description();
  } else {
    pugi::xml_node plist = document.document_element();
    pugi::xml_node root;
    int roots = 0;
    for (pugi::xml_node child : plist.children())
      if (!isIgnorable(child)) {
        root = child;
        ++roots;
      }
    if (std::string_view(plist.name()) != "plist")
      reader.reason = "no <plist> element";
    else if (roots != 1)
      reader.reason = "<plist> must hold exactly one value";
    else
      result = reader.value(root, 0);
  }
  if (!result && reason) *reason = reader.reason;
  if (result && leftOut) *leftOut = std::move(entriesLeftOut);
  return result;
}

}  // namespace platform
