#include "platform/text/RichText.hpp"

#include <unicode/ucnv.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/core/Error.hpp"
#include "platform/core/Unicode.hpp"

namespace platform {
namespace {

constexpr std::int64_t kDefaultCodePage = 1252;

// Groups whose content is not part of the document's text.
constexpr std::array<std::string_view, 27> kSkippedDestinations = {
    "fonttbl",   "colortbl",  "stylesheet", "info",       "pict",       "object",      "header",
    "headerl",   "headerr",   "headerf",    "footer",     "footerl",    "footerr",     "footerf",
    "listtable", "listoverridetable",       "revtbl",     "rsidtbl",    "generator",   "xmlnstbl",
    "themedata", "colorschememapping",      "latentstyles", "datastore", "fldinst",    "filetbl",
    "nonshppict"};

struct Converter {
  UConverter* handle = nullptr;
  explicit Converter(std::int64_t codePage) {
    std::string number = std::to_string(codePage);
    const std::string names[] = {codePage == 10000 ? "macintosh" : "windows-" + number, "cp" + number, "ibm-" + number};
    for (const std::string& name : names) {
      UErrorCode status = U_ZERO_ERROR;
      handle = ucnv_open(name.c_str(), &status);
      if (U_SUCCESS(status)) return;
      handle = nullptr;
    }
    UErrorCode status = U_ZERO_ERROR;
    handle = ucnv_open("windows-1252", &status);
    if (U_FAILURE(status)) handle = nullptr;
  }
  ~Converter() {
    if (handle) ucnv_close(handle);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
};

struct GroupState {
  bool skip = false;
  std::int64_t unicodeSkip = 1;  // \ucN: characters that stand in for each \uN
};

class Reader {
 public:
  explicit Reader(std::string_view input) : in_(input) {}

  std::string run() {
    groups_.push_back({});
    while (pos_ < in_.size()) {
      char c = in_[pos_++];
      switch (c) {
        case '{':
          flushBytes();
          fallbackLeft_ = 0;
          groups_.push_back(groups_.back());
          break;
        case '}':
          flushBytes();
          fallbackLeft_ = 0;
          if (groups_.size() > 1) groups_.pop_back();
          break;
        case '\\':
          controlSequence();
          break;
        case '\r':
        case '\n':
          break;
        default:
          if (consumeFallback()) break;
          if (static_cast<unsigned char>(c) >= 0x80) {
            pendingBytes_.push_back(c);
          } else {
            flushBytes();
            emitText(std::string_view(&c, 1));
          }
      }
    }
    flushBytes();
    return std::move(out_);
  }

 private:
  GroupState& group() { return groups_.back(); }

  // After \uN, the next characters (text, \'hh or control words) stand in for it and are dropped.
  bool consumeFallback() {
    if (fallbackLeft_ <= 0) return false;
    --fallbackLeft_;
    return true;
  }

  void emitText(std::string_view text) {
    flushSurrogate();
    if (!group().skip) out_.append(text);
  }

  void emitScalar(char32_t scalar) {
    if (group().skip) return;
    std::string text;
    appendUTF8(text, scalar);
    out_.append(text);
  }

  void flushSurrogate() {
    if (pendingHighSurrogate_) {
      if (!group().skip) appendUTF8(out_, 0xFFFD);
      pendingHighSurrogate_ = 0;
    }
  }

  void flushBytes() {
    if (pendingBytes_.empty()) return;
    std::string bytes = std::move(pendingBytes_);
    pendingBytes_.clear();
    if (group().skip) return;
    flushSurrogate();
    if (!converter_) converter_ = std::make_unique<Converter>(codePage_);
    if (!converter_->handle) return;
    UErrorCode status = U_ZERO_ERROR;
    std::vector<UChar> units(bytes.size() * 2 + 4);
    int32_t length = ucnv_toUChars(converter_->handle, units.data(), static_cast<int32_t>(units.size()), bytes.data(),
                                   static_cast<int32_t>(bytes.size()), &status);
    if (U_FAILURE(status)) return;
    for (int32_t i = 0; i < length; ++i) {
      char32_t unit = units[i];
      if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < length && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
        unit = 0x10000 + ((unit - 0xD800) << 10) + (units[++i] - 0xDC00);
      }
      appendUTF8(out_, isScalar(unit) ? unit : 0xFFFD);
    }
  }

  static int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  void controlSequence() {
    if (pos_ >= in_.size()) return;
    char c = in_[pos_];
    if (!isLetter(c)) {
      ++pos_;
      controlSymbol(c);
      return;
    }
    std::size_t start = pos_;
    while (pos_ < in_.size() && isLetter(in_[pos_]) && pos_ - start < 32) ++pos_;
    std::string_view word = in_.substr(start, pos_ - start);
    std::optional<std::int64_t> parameter;
    bool negative = false;
    if (pos_ < in_.size() && in_[pos_] == '-' && pos_ + 1 < in_.size() && isDigit(in_[pos_ + 1])) {
      negative = true;
      ++pos_;
    }
    if (pos_ < in_.size() && isDigit(in_[pos_])) {
      std::int64_t value = 0;
      for (int digits = 0; pos_ < in_.size() && isDigit(in_[pos_]); ++pos_, ++digits)
        if (digits < 10) value = value * 10 + (in_[pos_] - '0');
      parameter = negative ? -value : value;
    }
    if (pos_ < in_.size() && in_[pos_] == ' ') ++pos_;
    controlWord(word, parameter);
  }

  static bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
  static bool isDigit(char c) { return c >= '0' && c <= '9'; }

  void controlSymbol(char c) {
    if (c == '\'') {
      int high = pos_ < in_.size() ? hexValue(in_[pos_]) : -1;
      int low = pos_ + 1 < in_.size() ? hexValue(in_[pos_ + 1]) : -1;
      if (high < 0 || low < 0) {  // malformed: drop the digits that are there
        pos_ += high < 0 ? 0 : 1;
        return;
      }
      pos_ += 2;
      if (consumeFallback()) return;
      pendingBytes_.push_back(static_cast<char>(high * 16 + low));
      return;
    }
    flushBytes();
    if (consumeFallback()) return;
    switch (c) {
      case '\\':
      case '{':
      case '}':
        emitText(std::string_view(&c, 1));
        break;
      case '~':
        emitScalar(0x00A0);
        break;
      case '_':
        emitScalar(0x2011);
        break;
      case '*':
        group().skip = true;  // an optional destination we do not know
        break;
      case '\r':
      case '\n':
        emitText("\n");
        break;
      default:  // \- (optional hyphen) and unknown symbols add nothing
        break;
    }
  }

  void controlWord(std::string_view word, std::optional<std::int64_t> parameter) {
    if (word == "bin") {  // binary data of the given length, never text
      flushBytes();
      std::size_t count = parameter && *parameter > 0 ? static_cast<std::size_t>(*parameter) : 0;
      pos_ += std::min(count, in_.size() - pos_);
      return;
    }
    if (word == "u" && parameter) {
      flushBytes();
      if (consumeFallback()) return;
      unicode(*parameter);
      return;
    }
    flushBytes();
    if (word == "uc") {
      group().unicodeSkip = parameter ? std::max<std::int64_t>(*parameter, 0) : 1;
      return;
    }
    if (word == "ansicpg" && parameter) {
      setCodePage(*parameter);
      return;
    }
    if (word == "ansi") return setCodePage(1252);
    if (word == "mac") return setCodePage(10000);
    if (word == "pc") return setCodePage(437);
    if (word == "pca") return setCodePage(850);
    if (std::find(kSkippedDestinations.begin(), kSkippedDestinations.end(), word) != kSkippedDestinations.end()) {
      group().skip = true;
      return;
    }
    if (consumeFallback()) return;
    if (word == "par" || word == "line" || word == "row" || word == "sect" || word == "page") return emitText("\n");
    if (word == "tab" || word == "cell") return emitText("\t");
    if (word == "emdash") return emitScalar(0x2014);
    if (word == "endash") return emitScalar(0x2013);
    if (word == "bullet") return emitScalar(0x2022);
    if (word == "lquote") return emitScalar(0x2018);
    if (word == "rquote") return emitScalar(0x2019);
    if (word == "ldblquote") return emitScalar(0x201C);
    if (word == "rdblquote") return emitScalar(0x201D);
  }

  void setCodePage(std::int64_t codePage) {
    if (codePage == codePage_) return;
    codePage_ = codePage;
    converter_.reset();
  }

  void unicode(std::int64_t value) {
    // The parameter is a signed 16-bit number; negative values name the units above 0x7FFF.
    char32_t unit = static_cast<char32_t>(value < 0 ? value + 0x10000 : value) & 0xFFFF;
    fallbackLeft_ = group().unicodeSkip;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      flushSurrogate();
      pendingHighSurrogate_ = unit;
      return;
    }
    if (unit >= 0xDC00 && unit <= 0xDFFF) {
      char32_t high = std::exchange(pendingHighSurrogate_, 0);
      emitScalar(high ? 0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00) : 0xFFFD);
      return;
    }
    flushSurrogate();
    emitScalar(unit);
  }

  std::string_view in_;
  std::size_t pos_ = 0;
  std::vector<GroupState> groups_;
  std::string out_;
  std::string pendingBytes_;
  std::int64_t codePage_ = kDefaultCodePage;
  std::unique_ptr<Converter> converter_;
  std::int64_t fallbackLeft_ = 0;
  char32_t pendingHighSurrogate_ = 0;
};

}  // namespace

std::string RichText::plainText(const Data& data) {
  std::string_view text = data.view();
  // Rich text saved behind a UTF-8 byte-order mark is rich text all the same.
  const std::string_view body = text.starts_with("\xEF\xBB\xBF") ? text.substr(3) : text;
  if (body.starts_with("{\\rtf")) return Reader(body).run();
  if (!isWellFormedUTF8(text)) {
    Error::Details details;
    details.failureReason = "The data is neither rich text nor UTF-8 text.";
    throw Error(errorDomain, static_cast<std::int64_t>(ErrorCode::unreadable),
                "The data couldn't be read because it isn't in the correct format.", std::move(details));
  }
  return std::string(text);
}

}  // namespace platform
