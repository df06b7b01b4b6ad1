#include "platform/text/Regex.hpp"

#include <unicode/regex.h>
#include <unicode/unistr.h>
#include <unicode/utext.h>

#include <mutex>

#include "platform/core/Error.hpp"
#include "platform/core/Unicode.hpp"

namespace platform {

struct detail::CompiledRegex {
  std::string pattern;
  Regex::Options options;
  std::unique_ptr<icu::RegexPattern> icu;
  // Matchers kept for reuse: building one costs more than a short search.
  mutable std::mutex poolMutex;
  mutable std::vector<std::unique_ptr<icu::RegexMatcher>> pool;
  std::size_t groups = 0;
};

namespace {

std::uint32_t icuFlags(Regex::Options options) {
  struct Flag {
    Regex::Options option;
    std::uint32_t flag;
  };
  static constexpr Flag flags[] = {
      {Regex::Options::caseInsensitive, UREGEX_CASE_INSENSITIVE},
      {Regex::Options::allowCommentsAndWhitespace, UREGEX_COMMENTS},
      {Regex::Options::ignoreMetacharacters, UREGEX_LITERAL},
      {Regex::Options::dotMatchesLineSeparators, UREGEX_DOTALL},
      {Regex::Options::anchorsMatchLines, UREGEX_MULTILINE},
      {Regex::Options::useUnixLineSeparators, UREGEX_UNIX_LINES},
      {Regex::Options::useUnicodeWordBoundaries, UREGEX_UWORD},
  };
  std::uint32_t result = 0;
  for (const Flag& f : flags)
    if (contains(options, f.option)) result |= f.flag;
  return result;
}

Error invalidPattern(const std::string& pattern) {
  Error::Details details;
  details.userInfo.add("NSInvalidValue", pattern);
  return Error("NSCocoaErrorDomain", 2048, "The value \u201C" + pattern + "\u201D is invalid.", std::move(details));
}

icu::UnicodeString unicodeString(std::string_view text) {
  const std::u16string units = toUTF16(text);
  return icu::UnicodeString(units.data(), static_cast<int32_t>(units.size()));
}

// Lends a matcher from the pattern's pool, set on the text, and takes it back when done.
class LentMatcher {
 public:
  LentMatcher(const detail::CompiledRegex& compiled, const std::u16string& units) : compiled_(compiled) {
    {
      std::lock_guard lock(compiled.poolMutex);
      if (!compiled.pool.empty()) {
        matcher_ = std::move(compiled.pool.back());
        compiled.pool.pop_back();
      }
    }
    UErrorCode status = U_ZERO_ERROR;
    if (!matcher_) matcher_.reset(compiled.icu->matcher(status));
    // A read-only alias: the matcher reads the units in place, without a copy.
    subject_ = utext_openUChars(nullptr, units.data(), static_cast<int64_t>(units.size()), &status);
    if (U_FAILURE(status) || !matcher_ || !subject_) {
      utext_close(subject_);
      throw Error("NSCocoaErrorDomain", 2048, "The regular expression could not be run.");
    }
    matcher_->reset(subject_);
  }
  ~LentMatcher() {
    matcher_->reset(icu::UnicodeString());
    utext_close(subject_);
    std::lock_guard lock(compiled_.poolMutex);
    if (compiled_.pool.size() < 16) compiled_.pool.push_back(std::move(matcher_));
  }
  LentMatcher(const LentMatcher&) = delete;
  LentMatcher& operator=(const LentMatcher&) = delete;
  icu::RegexMatcher& operator*() { return *matcher_; }

 private:
  const detail::CompiledRegex& compiled_;
  std::unique_ptr<icu::RegexMatcher> matcher_;
  UText* subject_ = nullptr;
};

// Calls `each` with the matcher positioned on every match in turn until it returns false.
template <typename Each>
void search(const detail::CompiledRegex& compiled, std::string_view text, Each each) {
  const std::u16string units = toUTF16(text);
  LentMatcher matcher(compiled, units);
  UErrorCode status = U_ZERO_ERROR;
  while ((*matcher).find(status) && U_SUCCESS(status))
    if (!each(*matcher)) break;
}

}  // namespace

Regex::Regex(std::string_view pattern, Options options) {
  auto compiled = std::make_shared<detail::CompiledRegex>();
  compiled->pattern = std::string(pattern);
  compiled->options = options;
  UErrorCode status = U_ZERO_ERROR;
  UParseError parseError{};
  compiled->icu.reset(icu::RegexPattern::compile(unicodeString(pattern), icuFlags(options), parseError, status));
  if (U_FAILURE(status) || !compiled->icu) throw invalidPattern(compiled->pattern);
  std::unique_ptr<icu::RegexMatcher> probe(compiled->icu->matcher(status));
  if (U_FAILURE(status) || !probe) throw invalidPattern(compiled->pattern);
  compiled->groups = static_cast<std::size_t>(probe->groupCount());
  compiled_ = std::move(compiled);
}

const std::string& Regex::pattern() const noexcept { return compiled_->pattern; }
Regex::Options Regex::options() const noexcept { return compiled_->options; }
std::size_t Regex::numberOfCaptureGroups() const noexcept { return compiled_->groups; }

namespace {

std::vector<std::optional<Regex::Range>> groupRanges(icu::RegexMatcher& matcher, std::size_t groups) {
  std::vector<std::optional<Regex::Range>> ranges;
  ranges.reserve(groups + 1);
  UErrorCode status = U_ZERO_ERROR;
  for (std::size_t group = 0; group <= groups; ++group) {
    const int32_t start = matcher.start(static_cast<int32_t>(group), status);
    const int32_t end = matcher.end(static_cast<int32_t>(group), status);
    if (U_FAILURE(status) || start < 0 || end < start)
      ranges.emplace_back();
    else
      ranges.push_back(Regex::Range{static_cast<std::size_t>(start), static_cast<std::size_t>(end - start)});
  }
  return ranges;
}

}  // namespace

std::optional<Regex::Match> Regex::firstMatch(std::string_view text) const {
  std::optional<Match> result;
  search(*compiled_, text, [&](icu::RegexMatcher& matcher) {
    result.emplace();
    result->compiled_ = compiled_;
    result->ranges_ = groupRanges(matcher, compiled_->groups);
    return false;
  });
  return result;
}

std::vector<Regex::Match> Regex::matches(std::string_view text) const {
  std::vector<Match> result;
  search(*compiled_, text, [&](icu::RegexMatcher& matcher) {
    Match& match = result.emplace_back();
    match.compiled_ = compiled_;
    match.ranges_ = groupRanges(matcher, compiled_->groups);
    return true;
  });
  return result;
}

bool Regex::matchesSomewhere(std::string_view text) const {
  bool found = false;
  search(*compiled_, text, [&](icu::RegexMatcher&) { return !(found = true); });
  return found;
}

std::string Regex::escapedPattern(std::string_view text) {
  std::string result;
  result.reserve(text.size() * 2);
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    const bool plain = byte >= 0x80 || (byte >= '0' && byte <= '9') || (byte >= 'a' && byte <= 'z') ||
                       (byte >= 'A' && byte <= 'Z') || byte == '_';
    if (!plain) result.push_back('\\');
    result.push_back(c);
  }
  return result;
}

std::optional<Regex::Range> Regex::Match::range(std::size_t group) const noexcept {
  return group < ranges_.size() ? ranges_[group] : std::nullopt;
}

std::optional<Regex::Range> Regex::Match::range(std::string_view name) const {
  UErrorCode status = U_ZERO_ERROR;
  const int32_t group = compiled_->icu->groupNumberFromName(unicodeString(name), status);
  if (U_FAILURE(status) || group < 0) return std::nullopt;
  return range(static_cast<std::size_t>(group));
}

namespace {

std::optional<std::string> textOf(const std::optional<Regex::Range>& range, std::string_view text) {
  if (!range) return std::nullopt;
  const auto part = substringForUTF16Range(text, range->location, range->length);
  if (!part) return std::nullopt;
  return std::string(*part);
}

}  // namespace

std::optional<std::string> Regex::Match::string(std::size_t group, std::string_view text) const {
  return textOf(range(group), text);
}

std::optional<std::string> Regex::Match::string(std::string_view name, std::string_view text) const {
  return textOf(range(name), text);
}

namespace {

// Bytes and UTF-16 units of the sequence at text[i]; an ill-formed byte counts as one U+FFFD.
struct Step {
  std::size_t bytes;
  std::size_t units;
};

Step stepAt(const unsigned char* text, std::size_t available) {
  if (text[0] < 0x80) return {1, 1};
  const std::size_t length = wellFormedUTF8Length(text, available);
  if (length == 0) return {1, 1};
  return {length, length == 4 ? 2u : 1u};
}

}  // namespace

std::u16string toUTF16(std::string_view utf8) {
  std::u16string units;
  units.reserve(utf8.size());
  const auto* bytes = reinterpret_cast<const unsigned char*>(utf8.data());
  for (std::size_t i = 0; i < utf8.size();) {
    if (bytes[i] < 0x80) {
      units.push_back(bytes[i++]);
      continue;
    }
    const std::size_t length = wellFormedUTF8Length(bytes + i, utf8.size() - i);
    if (length == 0) {
      units.push_back(u'\uFFFD');
      ++i;
      continue;
    }
    char32_t scalar = bytes[i] & (0xFF >> (length + 1));
    for (std::size_t k = 1; k < length; ++k) scalar = (scalar << 6) | (bytes[i + k] & 0x3F);
    if (scalar >= 0x10000) {
      units.push_back(static_cast<char16_t>(0xD800 + ((scalar - 0x10000) >> 10)));
      units.push_back(static_cast<char16_t>(0xDC00 + ((scalar - 0x10000) & 0x3FF)));
    } else {
      units.push_back(static_cast<char16_t>(scalar));
    }
    i += length;
  }
  return units;
}

std::optional<std::string_view> substringForUTF16Range(std::string_view utf8, std::size_t location,
                                                       std::size_t length) {
  if (length > SIZE_MAX - location) return std::nullopt;
  const std::size_t endUnit = location + length;
  const auto* bytes = reinterpret_cast<const unsigned char*>(utf8.data());
  std::size_t unit = 0;
  std::size_t i = 0;
  std::optional<std::size_t> startByte;
  while (true) {
    if (!startByte && unit == location) startByte = i;
    if (unit == endUnit) return utf8.substr(*startByte, i - *startByte);
    if (i >= utf8.size() || unit > endUnit) return std::nullopt;
    const Step step = stepAt(bytes + i, utf8.size() - i);
    if (!startByte && unit + step.units > location) return std::nullopt;  // starts inside a surrogate pair
    i += step.bytes;
    unit += step.units;
  }
}

}  // namespace platform
