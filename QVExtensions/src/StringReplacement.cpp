#include "QVExtensions/StringReplacement.hpp"

#include <algorithm>
#include <stdexcept>

#include "CanonicalSearch.hpp"
#include "platform/core/Unicode.hpp"
#include "platform/text/Regex.hpp"

namespace QVExtensions {
namespace {

platform::Error::Details replacementDetails(std::int64_t elementCount, std::int64_t replacementCount) {
  platform::Error::Details details;
  details.failureReason = "More input strings (" + std::to_string(elementCount) +
                          ") given than replacement strings (" + std::to_string(replacementCount) + ").";
  return details;
}

// Walks UTF-8 text in step with its UTF-16 positions, so that each match of the engine
// (in UTF-16 units) is found in the text without counting from the start again.
class UTF16Cursor {
 public:
  explicit UTF16Cursor(std::string_view text) : text_(text) {}
  std::size_t byteOffset(std::size_t unit) {
    while (unit_ < unit && byte_ < text_.size()) {
      // Counted as the engine's conversion counts: each byte of an ill-formed sequence is one U+FFFD.
      const auto* bytes = reinterpret_cast<const unsigned char*>(text_.data()) + byte_;
      const std::size_t length = std::max<std::size_t>(1, platform::wellFormedUTF8Length(bytes, text_.size() - byte_));
      byte_ += length;
      unit_ += length == 4 ? 2 : 1;
    }
    return byte_;
  }

 private:
  std::string_view text_;
  std::size_t byte_ = 0;
  std::size_t unit_ = 0;
};

using ByteRanges = std::vector<std::pair<std::size_t, std::size_t>>;

// How one call finds the target: by canonical equivalence, or by identical scalars
// (through the regular-expression engine when caseless).
class Finder {
 public:
  Finder(std::string_view target, CompareOptions options) : target_(target) {
    const bool caseInsensitive = has(options, CompareOptions::caseInsensitive);
    // A target that is not well-formed UTF-8 has no canonical form: it is only found as it is.
    if (!has(options, CompareOptions::literal) && platform::isWellFormedUTF8(target))
      canonical_.emplace(target, caseInsensitive);
    else if (caseInsensitive)
      caseless_.emplace(target,
                        platform::Regex::Options::ignoreMetacharacters | platform::Regex::Options::caseInsensitive);
  }

  ByteRanges matches(std::string_view text) const {
    if (canonical_) return canonical_->matches(text);
    ByteRanges found;
    if (caseless_) {
      UTF16Cursor cursor(text);
      for (const platform::Regex::Match& match : caseless_->matches(text)) {
        const std::size_t start = cursor.byteOffset(match.range().location);
        found.emplace_back(start, cursor.byteOffset(match.range().end()));
      }
      return found;
    }
    for (std::size_t at = text.find(target_); at != std::string_view::npos;
         at = text.find(target_, at + target_.size()))
      found.emplace_back(at, at + target_.size());
    return found;
  }

 private:
  static bool has(CompareOptions options, CompareOptions option) {
    return (static_cast<unsigned>(options) & static_cast<unsigned>(option)) != 0;
  }

  std::string_view target_;
  std::optional<CanonicalSearch> canonical_;
  std::optional<platform::Regex> caseless_;
};

std::string replaceAll(std::string_view text, const ByteRanges& matches, std::string_view replacement) {
  std::string result;
  std::size_t copied = 0;
  for (const auto& [start, end] : matches) {
    result.append(text.substr(copied, start - copied)).append(replacement);
    copied = end;
  }
  return result.append(text.substr(copied));
}

}  // namespace

StringReplacementError::StringReplacementError(std::int64_t elementCount, std::int64_t replacementCount)
    : platform::Error("QVExtensions.StringReplacementError", 0,
                      "The operation couldn’t be completed. (QVExtensions.StringReplacementError error 0.)",
                      replacementDetails(elementCount, replacementCount)),
      elementCount_(elementCount),
      replacementCount_(replacementCount) {}

std::vector<std::string> replaceOccurrencesPairwise(const std::vector<std::string>& inputs, std::string_view target,
                                                    const std::vector<std::string>& replacements,
                                                    CompareOptions options, std::optional<UTF16Range> range) {
  if (replacements.size() < inputs.size())
    throw StringReplacementError(static_cast<std::int64_t>(inputs.size()),
                                 static_cast<std::int64_t>(replacements.size()));
  // Every range is checked before the first replacement, so a failure changes nothing.
  std::vector<std::pair<std::size_t, std::size_t>> spans;  // byte offset and length per input
  spans.reserve(inputs.size());
  for (const std::string& input : inputs) {
    if (!range) {
      spans.emplace_back(0, input.size());
      continue;
    }
    const auto before = platform::substringForUTF16Range(input, 0, range->location);
    const auto inside = before ? platform::substringForUTF16Range(input.substr(before->size()), 0, range->length)
                               : std::nullopt;
    if (!inside) throw std::out_of_range("The range lies outside the string \"" + input + "\".");
    spans.emplace_back(before->size(), inside->size());
  }
  if (target.empty()) return inputs;

  const Finder finder(target, options);
  std::vector<std::string> results;
  results.reserve(inputs.size());
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    const std::string_view input = inputs[i];
    const auto [start, length] = spans[i];
    std::string result(input.substr(0, start));
    const std::string_view span = input.substr(start, length);
    result += replaceAll(span, finder.matches(span), replacements[i]);
    result += input.substr(start + length);
    results.push_back(std::move(result));
  }
  return results;
}

}  // namespace QVExtensions
