#include "platform/text/Characters.hpp"

#include <unicode/brkiter.h>
#include <unicode/utext.h>

#include <memory>
#include <vector>

namespace platform {
namespace {

// Below U+0300 every scalar is a character of its own, except that CR LF is one: nothing there
// extends a character. Such text (ASCII, Latin-1, Latin Extended) needs no break iterator; its
// bytes are ASCII, continuation bytes and the lead bytes C2 to CB.
bool isSimple(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0xCC) return false;
  return true;
}

bool isContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

class Boundaries {
 public:
  explicit Boundaries(std::string_view text) {
    UErrorCode status = U_ZERO_ERROR;
    text_ = utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status);
    iterator().setText(text_, status);
  }
  explicit Boundaries(std::u16string_view text) {
    UErrorCode status = U_ZERO_ERROR;
    text_ = utext_openUChars(nullptr, text.data(), static_cast<int64_t>(text.size()), &status);
    iterator().setText(text_, status);
  }
  ~Boundaries() { utext_close(text_); }
  Boundaries(const Boundaries&) = delete;
  Boundaries& operator=(const Boundaries&) = delete;

  static icu::BreakIterator& iterator() {
    thread_local std::unique_ptr<icu::BreakIterator> instance = [] {
      UErrorCode status = U_ZERO_ERROR;
      return std::unique_ptr<icu::BreakIterator>(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    }();
    return *instance;
  }

 private:
  UText* text_ = nullptr;
};

bool crlfAt(std::string_view text, std::size_t i) { return text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'; }

}  // namespace

std::vector<std::size_t> characterBoundaries(std::u16string_view text) {
  Boundaries boundaries(text);
  icu::BreakIterator& it = Boundaries::iterator();
  std::vector<std::size_t> offsets;
  for (int32_t offset = it.first(); offset != icu::BreakIterator::DONE; offset = it.next())
    offsets.push_back(static_cast<std::size_t>(offset));
  return offsets;
}

std::size_t characterCount(std::string_view text) {
  if (isSimple(text)) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++i) count += !isContinuation(text[i]) && !(i > 0 && crlfAt(text, i - 1));
    return count;
  }
  Boundaries boundaries(text);
  std::size_t count = 0;
  while (Boundaries::iterator().next() != icu::BreakIterator::DONE) ++count;
  return count;
}

// Walks `count` boundaries from one end of non-ASCII text, stopping at the other end.
static std::size_t walkBoundaries(std::string_view text, std::size_t count, bool forward) {
  Boundaries boundaries(text);
  icu::BreakIterator& it = Boundaries::iterator();
  int32_t offset = forward ? it.first() : it.last();
  for (; count > 0; --count) {
    const int32_t next = forward ? it.next() : it.previous();
    if (next == icu::BreakIterator::DONE) break;
    offset = next;
  }
  return static_cast<std::size_t>(offset);
}

std::size_t offsetAfterCharacters(std::string_view text, std::size_t count) {
  if (!isSimple(text)) return walkBoundaries(text, count, true);
  std::size_t i = 0;
  for (; count > 0 && i < text.size(); --count) {
    i += crlfAt(text, i) ? 2 : 1;
    while (i < text.size() && isContinuation(text[i])) ++i;
  }
  return i;
}

std::size_t offsetBeforeLastCharacters(std::string_view text, std::size_t count) {
  if (!isSimple(text)) return walkBoundaries(text, count, false);
  std::size_t i = text.size();
  for (; count > 0 && i > 0; --count) {
    i -= (i >= 2 && crlfAt(text, i - 2)) ? 2 : 1;
    while (i > 0 && isContinuation(text[i])) --i;
  }
  return i;
}

}  // namespace platform
