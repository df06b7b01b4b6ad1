#include "TimeSeries/AnnotatedCSVParser.hpp"

#include <locale.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <type_traits>

#include "TimeSeries/CodableHelper.hpp"
#include "platform/core/Base64.hpp"

namespace TimeSeries {
namespace {

using Value = ResultRecord::Value;

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// Decimal digits, after a "-" when `Integer` is signed, filling the whole text.
template <typename Integer>
std::optional<Integer> wholeNumber(std::string_view text) {
  const std::size_t first = std::is_signed_v<Integer> && text.starts_with('-') ? 1 : 0;
  if (text.size() <= first || !isDigit(text[first])) return std::nullopt;
  Integer value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// Optional "+" or "-", then decimal digits, within 64 bits.
std::optional<std::int64_t> parseSigned(std::string_view text) {
  if (text.starts_with('+')) {
    text.remove_prefix(1);
    if (text.starts_with('-')) return std::nullopt;
  }
  return wholeNumber<std::int64_t>(text);
}

// Optional "+", then decimal digits; "-" only before a zero.
std::optional<std::uint64_t> parseUnsigned(std::string_view text) {
  if (text.starts_with('+')) return wholeNumber<std::uint64_t>(text.substr(1));
  if (text.starts_with('-')) {
    const std::optional<std::uint64_t> magnitude = wholeNumber<std::uint64_t>(text.substr(1));
    if (magnitude == 0u) return 0u;
    return std::nullopt;
  }
  return wholeNumber<std::uint64_t>(text);
}

// The C locale's strtod for the rare texts that std::from_chars leaves to it (out of range).
double strtodInCLocale(std::string_view text) {
  static const locale_t c = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  const std::string terminated(text);
  return ::strtod_l(terminated.c_str(), nullptr, c);
}

// Whether `size` bytes at `a` and at `b` are the same, without a call for the sizes of
// dates: the two ends, which may overlap, and the last eight bytes first, where one date
// column's texts most often differ.
bool sameBytes(const char* a, const char* b, std::size_t size) {
  const auto word = [](const char* at) {
    std::uint64_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
  };
  if (size < 8 || size > 32) return std::memcmp(a, b, size) == 0;
  if (word(a + size - 8) != word(b + size - 8) || word(a) != word(b)) return false;
  for (std::size_t at = 8; at + 8 < size; at += 8)
    if (word(a + at) != word(b + at)) return false;
  return true;
}

std::string valuesText(std::int64_t row, std::string_view what, std::size_t count, std::string_view noun,
                       std::size_t columns) {
  return "Unable to parse CSV response. Row " + std::to_string(row) + " (" + std::string(what) + ") has " +
         std::to_string(count) + " " + std::string(noun) + ", but the table has " + std::to_string(columns) +
         " columns.";
}

}  // namespace

AnnotatedCSVParser::AnnotatedCSVParser(platform::Data data)
    : csv_(std::move(data), CSV::UTF8{}, false, false, U','),
      customDates_(CodableHelper::customDateFormatter()) {}

std::optional<double> AnnotatedCSVParser::parseDouble(std::string_view text) noexcept {
  if (text.empty() || isSpace(text.front())) return std::nullopt;
  std::string_view rest = text;
  const bool negative = rest.front() == '-';
  if (rest.front() == '-' || rest.front() == '+') rest.remove_prefix(1);
  if (rest.empty() || rest.front() == '-' || rest.front() == '+') return std::nullopt;
  std::chars_format format = std::chars_format::general;
  if (rest.size() > 1 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X')) {
    // "0x" alone reads as 0 followed by an "x" left over.
    rest.remove_prefix(2);
    format = std::chars_format::hex;
    // Only digits or a point may follow: "0xinf" is 0 with "xinf" left over.
    if (rest.empty() || !(std::isxdigit(static_cast<unsigned char>(rest.front())) || rest.front() == '.'))
      return std::nullopt;
  }
  double value = 0;
  const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), value, format);
  if (end != rest.data() + rest.size()) return std::nullopt;
  if (error == std::errc::result_out_of_range) return strtodInCLocale(text);
  if (error != std::errc()) return std::nullopt;
  // The C library rounds hexadecimal texts below the normal range its own way (halfway and
  // above-halfway cut bits can round down), and its reading is the one to match.
  if (format == std::chars_format::hex && value <= std::numeric_limits<double>::min()) return strtodInCLocale(text);
  return negative ? -value : value;
}

bool AnnotatedCSVParser::parseBoolean(std::string_view text) noexcept {
  std::size_t i = 0;
  while (i < text.size() && isSpace(text[i])) ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  while (i < text.size() && text[i] == '0') ++i;
  if (i == text.size()) return false;
  const char c = text[i];
  return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

void AnnotatedCSVParser::fail(std::string what) const { throw TimeSeriesError::generic(std::move(what)); }

std::optional<std::pair<std::shared_ptr<ResultTable>, ResultRecord>> AnnotatedCSVParser::next() {
  std::optional<ResultRecord> found = nextRecord();
  if (!found) return std::nullopt;
  // The caller may now rename the columns: later records no longer share their names.
  tableHandedOut_ = true;
  return std::pair{table_, std::move(*found)};
}

std::optional<ResultRecord> AnnotatedCSVParser::nextRecord() {
  if (readFailure_) throw *readFailure_;
  while (true) {
    const bool read = csv_.next(row_);
    if (const auto& error = csv_.error()) {
      // A cut row is never read as if it were whole.
      readFailure_ = TimeSeriesError::cause(std::make_exception_ptr(*error));
      throw *readFailure_;
    }
    if (!read) return std::nullopt;
    const CSV::CSVReader::Fields& row = row_;
    ++rowNumber_;
    if (row.size() < 2) continue;
    if (row.size() >= 3 && row[1] == "error" && row[2] == "reference") {
      state_ = ParsingState::error;
      continue;
    }
    if (state_ == ParsingState::error) {
      if (row.size() < 3)
        fail("Unable to parse CSV response. Row " + std::to_string(rowNumber_) + " (error) has no reference.");
      const std::optional<std::int64_t> reference = parseSigned(row[2]);
      throw TimeSeriesError::queryException(reference.value_or(0), std::string(row[1]));
    }

    const std::string_view annotation = row[0];
    const bool isAnnotation = annotation == "#datatype" || annotation == "#group" || annotation == "#default";
    if (isAnnotation && startNewTable_) {
      table_ = std::make_shared<ResultTable>();
      tableHandedOut_ = false;
      groups_.clear();
      startNewTable_ = false;
    }
    if (!table_) fail("Unable to parse CSV response. ResultTable definition was not found.");

    std::vector<ResultColumn>& columns = table_->columns;
    const std::size_t values = row.size() - 1;
    if (annotation == "#datatype") {
      for (std::size_t k = 0; k < values; ++k) columns.emplace_back(static_cast<std::int64_t>(k), std::string(row[k + 1]));
    } else if (annotation == "#group") {
      groups_.clear();
      for (std::size_t k = 1; k < row.size(); ++k) groups_.emplace_back(row[k]);
      groupsRowNumber_ = rowNumber_;
    } else if (annotation == "#default") {
      if (values > columns.size()) fail(valuesText(rowNumber_, "#default", values, "values", columns.size()));
      for (std::size_t k = 0; k < values; ++k) columns[k].defaultValue = row[k + 1];
    } else if (!startNewTable_) {
      if (groups_.size() > columns.size())
        fail(valuesText(groupsRowNumber_, "#group", groups_.size(), "values", columns.size()));
      if (values > columns.size()) fail(valuesText(rowNumber_, "header", values, "names", columns.size()));
      startNewTable_ = true;
      for (std::size_t k = 0; k < groups_.size(); ++k) columns[k].group = parseBoolean(groups_[k]);
      for (std::size_t k = 0; k < values; ++k) columns[k].name = row[k + 1];
      settleColumns();
    } else {
      if (values < columns.size()) fail(valuesText(rowNumber_, "data", values, "values", columns.size()));
      return record(row);
    }
  }
}

// Reads one cell of the kind and hands the value's constructor arguments to `make`; false
// when the text has no value of that kind.
template <typename Make>
[[gnu::always_inline]] inline bool AnnotatedCSVParser::readCell(std::size_t column, std::string_view text, Make&& make) {
  switch (kinds_[column]) {
    case CellKind::text:
      make(std::in_place_type<std::string>, text);
      return true;
    case CellKind::boolean:
      make(std::in_place_type<bool>, parseBoolean(text));
      return true;
    case CellKind::signedInteger:
      if (auto number = parseSigned(text)) return make(std::in_place_type<std::int64_t>, *number), true;
      return false;
    case CellKind::unsignedInteger:
      if (auto number = parseUnsigned(text)) return make(std::in_place_type<std::uint64_t>, *number), true;
      return false;
    case CellKind::floatingPoint:
      if (auto number = parseDouble(text)) return make(std::in_place_type<double>, *number), true;
      return false;
    case CellKind::date:
      if (auto date = readDate(column, text))
        return make(std::in_place_type<platform::Date>, *date), true;
      return false;
    case CellKind::bytes:
      if (auto bytes = platform::base64Decoded(text, platform::Base64Decoding::strict))
        return make(std::in_place_type<platform::Data>, std::move(*bytes)), true;
      return false;
  }
  return false;
}

std::optional<platform::Date> AnnotatedCSVParser::readDate(std::size_t column, std::string_view text) {
  if (customDates_) return customDates_->date(text);
  if (text.size() > DateMemo::capacity) return OpenISO8601DateFormatter::parse(text);
  DateMemo& memo = dateMemos_[column];
  if (text.size() != memo.size || !sameBytes(text.data(), memo.text.data(), text.size())) {
    std::memcpy(memo.text.data(), text.data(), text.size());
    memo.size = text.size();
    memo.date = OpenISO8601DateFormatter::parse(text);
  }
  return memo.date;
}

void AnnotatedCSVParser::settleColumns() {
  const std::vector<ResultColumn>& columns = table_->columns;
  kinds_.clear();
  namesRepeat_ = false;
  columnsInOrder_ = true;
  auto names = std::make_shared<ResultRecord::Names>();
  for (std::size_t k = 0; k < columns.size(); ++k) {
    const std::string& type = columns[k].dataType();
    CellKind kind = CellKind::text;
    if (type == "boolean")
      kind = CellKind::boolean;
    else if (type == "long" || type == "duration")
      kind = CellKind::signedInteger;
    else if (type == "unsignedLong")
      kind = CellKind::unsignedInteger;
    else if (type == "double")
      kind = CellKind::floatingPoint;
    else if (type == "dateTime:RFC3339" || type == "dateTime:RFC3339Nano")
      kind = CellKind::date;
    else if (type == "base64Binary")
      kind = CellKind::bytes;
    kinds_.push_back(kind);
    // The empty text reads as no date, so a fresh memo holds a true pair.
    if (kind == CellKind::date && dateMemos_.size() <= k) dateMemos_.resize(k + 1);
    for (std::size_t j = 0; j < k; ++j) namesRepeat_ = namesRepeat_ || columns[j].name == columns[k].name;
    // A second #datatype row numbers its columns from 0 again.
    columnsInOrder_ = columnsInOrder_ && columns[k].index() == static_cast<std::int64_t>(k);
    names->push_back(columns[k].name);
  }
  names_ = std::move(names);
}

ResultRecord AnnotatedCSVParser::record(const CSV::CSVReader::Fields& row) {
  const std::vector<ResultColumn>& columns = table_->columns;
  // The caller may have changed the table it was handed: only the columns settled at the
  // header row are read, and never past the row.
  const std::size_t count = std::min(columns.size(), kinds_.size());
  if (!namesRepeat_ && !tableHandedOut_ && columnsInOrder_) {
    // The table is as its header row left it, column k reading field k + 1, which the row has
    // (nextRecord checked its length): the record shares the names taken then.
    std::vector<Value> values;
    values.reserve(count);
    bool whole = true;
    for (std::size_t k = 0; k < count && whole; ++k) {
      const std::string_view cell = row[k + 1];
      const std::string_view text = cell.empty() ? std::string_view(columns[k].defaultValue) : cell;
      whole = readCell(k, text, [&](auto&&... made) { values.emplace_back(std::forward<decltype(made)>(made)...); });
    }
    // A cell without a value leaves its name out: such a row is read again below.
    if (whole) return ResultRecord(names_, std::move(values));
  }
  ResultRecord::Values values;
  values.reserve(count);
  for (std::size_t k = 0; k < count; ++k) {
    const ResultColumn& column = columns[k];
    const auto field = static_cast<std::size_t>(column.index()) + 1;
    if (field >= row.size()) fail(valuesText(rowNumber_, "data", row.size() - 1, "values", columns.size()));
    const std::string_view cell = row[field];
    const std::string_view text = cell.empty() ? std::string_view(column.defaultValue) : cell;
    if (!namesRepeat_) {
      // The common case: the value is made in its place in the record.
      readCell(k, text, [&](auto&&... made) {
        values.emplace_back(std::piecewise_construct, std::forward_as_tuple(column.name),
                            std::forward_as_tuple(std::forward<decltype(made)>(made)...));
      });
      continue;
    }
    std::optional<Value> value;
    readCell(k, text, [&](auto&&... made) { value.emplace(std::forward<decltype(made)>(made)...); });
    // A later column of the same name replaces the earlier one's entry, or removes it.
    auto earlier =
        std::find_if(values.begin(), values.end(), [&](const auto& entry) { return entry.first == column.name; });
    if (earlier != values.end()) {
      if (value)
        earlier->second = std::move(*value);
      else
        values.erase(earlier);
    } else if (value) {
      values.emplace_back(column.name, std::move(*value));
    }
  }
  return ResultRecord(std::move(values));
}

const ResultRecord::Values& ResultRecord::values() const {
  if (!paired_) {
    Values paired;
    paired.reserve(unpaired_.size());
    for (std::size_t k = 0; k < unpaired_.size(); ++k) paired.emplace_back((*names_)[k], unpaired_[k]);
    values_ = std::move(paired);
    paired_ = true;
  }
  return values_;
}

const ResultRecord::Value* ResultRecord::value(std::string_view name) const noexcept {
  if (names_) {
    for (std::size_t k = 0; k < unpaired_.size(); ++k)
      if ((*names_)[k] == name) return &unpaired_[k];
    return nullptr;
  }
  for (const auto& [key, value] : values_)
    if (key == name) return &value;
  return nullptr;
}

bool ResultRecord::equal(const Value& a, const Value& b) noexcept {
  const auto number = [](const Value& v) {
    return std::holds_alternative<std::uint64_t>(v) || std::holds_alternative<std::int64_t>(v) ||
           std::holds_alternative<double>(v);
  };
  if (!number(a) || !number(b)) return a == b;
  // Exactly: a double equals an integer only when it is that whole number.
  const auto asDouble = [](double d, const Value& integer) {
    if (std::isnan(d) || std::trunc(d) != d) return false;
    if (const auto* u = std::get_if<std::uint64_t>(&integer))
      return d >= 0 && d < 18446744073709551616.0 && static_cast<std::uint64_t>(d) == *u;
    const auto i = std::get<std::int64_t>(integer);
    return d >= -9223372036854775808.0 && d < 9223372036854775808.0 && static_cast<std::int64_t>(d) == i;
  };
  if (const auto* d = std::get_if<double>(&a)) {
    if (const auto* e = std::get_if<double>(&b)) return *d == *e;
    return asDouble(*d, b);
  }
  if (const auto* d = std::get_if<double>(&b)) return asDouble(*d, a);
  const auto signedOf = [](const Value& v) -> std::optional<std::int64_t> {
    if (const auto* i = std::get_if<std::int64_t>(&v)) return *i;
    return std::nullopt;
  };
  const auto sa = signedOf(a), sb = signedOf(b);
  if (sa && sb) return *sa == *sb;
  const std::uint64_t ua = sa ? 0 : std::get<std::uint64_t>(a), ub = sb ? 0 : std::get<std::uint64_t>(b);
  if (sa) return *sa >= 0 && static_cast<std::uint64_t>(*sa) == ub;
  if (sb) return *sb >= 0 && static_cast<std::uint64_t>(*sb) == ua;
  return ua == ub;
}

bool operator==(const ResultRecord& a, const ResultRecord& b) noexcept {
  const auto size = [](const ResultRecord& r) { return r.names_ ? r.unpaired_.size() : r.values_.size(); };
  if (size(a) != size(b)) return false;
  const auto matches = [&b](const std::string& name, const ResultRecord::Value& value) {
    const ResultRecord::Value* other = b.value(name);
    return other && ResultRecord::equal(value, *other);
  };
  if (a.names_) {
    for (std::size_t k = 0; k < a.unpaired_.size(); ++k)
      if (!matches((*a.names_)[k], a.unpaired_[k])) return false;
    return true;
  }
  for (const auto& [name, value] : a.values_)
    if (!matches(name, value)) return false;
  return true;
}

}  // namespace TimeSeries
