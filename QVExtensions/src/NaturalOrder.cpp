#include "QVExtensions/NaturalOrder.hpp"

#include <unicode/coll.h>
#include <unicode/uchar.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <new>
#include <span>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "QVExtensions/ParallelRanges.hpp"
#include "platform/text/CanonicalText.hpp"
#include "platform/text/Regex.hpp"

namespace QVExtensions {
namespace {

// Whether a collator checks and brings its input to a normalized form first. ASCII text needs
// neither: the check lets it through unchanged, so its keys come out the same. (Text in NFC is
// not enough: a composed letter may be followed by a mark that its own mark must follow.)
enum class Input { any, ascii };
// The levels a key holds: all of them, or only the first (letters and numbers, not accents or
// case), which is the same bytes as the whole key's first level and cheaper to make.
enum class Levels { all, primary };

std::unique_ptr<icu::Collator> makeCollator(const platform::Locale& locale, Input input, Levels levels) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::Collator> collator(icu::Collator::createInstance(icu::Locale(locale.identifier().c_str()), status));
  if (U_FAILURE(status) || !collator) {
    status = U_ZERO_ERROR;
    collator.reset(icu::Collator::createInstance(icu::Locale::getRoot(), status));
  }
  // Case and width are tertiary differences: they order names only after everything else
  // at the secondary level is equal, with the case level between the two.
  collator->setAttribute(UCOL_NUMERIC_COLLATION, UCOL_ON, status);
  collator->setAttribute(UCOL_STRENGTH, levels == Levels::all ? UCOL_TERTIARY : UCOL_PRIMARY, status);
  collator->setAttribute(UCOL_CASE_LEVEL, levels == Levels::all ? UCOL_ON : UCOL_OFF, status);
  collator->setAttribute(UCOL_NORMALIZATION_MODE, input == Input::ascii ? UCOL_OFF : UCOL_ON, status);
  return collator;
}

// Collators are built once per thread, locale and kind; a pin or unpin of the current locale is
// noticed by its generation number.
const icu::Collator& collatorFor(const platform::Locale& locale, Input input = Input::any,
                                 Levels levels = Levels::all) {
  constexpr std::size_t kinds = 4;
  thread_local std::unordered_map<std::string, std::unique_ptr<icu::Collator>> collators[kinds];
  thread_local std::string lastIdentifier[kinds];
  thread_local const icu::Collator* last[kinds] = {};
  const auto kind = 2 * static_cast<std::size_t>(input) + static_cast<std::size_t>(levels);
  if (last[kind] && lastIdentifier[kind] == locale.identifier()) return *last[kind];
  auto& slot = collators[kind][locale.identifier()];
  if (!slot) slot = makeCollator(locale, input, levels);
  lastIdentifier[kind] = locale.identifier();
  last[kind] = slot.get();
  return *slot;
}

const icu::Collator& currentCollator() {
  thread_local std::uint64_t generation = ~std::uint64_t{0};
  thread_local const icu::Collator* collator = nullptr;
  const std::uint64_t now = platform::Locale::generation();
  if (!collator || generation != now) {
    collator = &collatorFor(platform::Locale::current());
    generation = now;
  }
  return *collator;
}

bool isDigit(UChar32 c) { return u_charType(c) == U_DECIMAL_DIGIT_NUMBER; }

char* putBigEndian(char* out, std::uint32_t value, int bytes) {
  for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8) *out++ = static_cast<char>((value >> shift) & 0xFF);
  return out;
}

// The code units of `text`, in a buffer of the thread's: ASCII text, nearly every name, is
// widened in place, anything else through the platform's conversion.
const std::u16string& unitsOf(std::string_view text, bool ascii) {
  thread_local std::u16string units;
  if (ascii) {
    units.resize(text.size());
    std::copy(text.begin(), text.end(), units.begin());
  } else {
    units = platform::toUTF16(text);
  }
  return units;
}

const std::u16string& unitsOf(std::string_view text) { return unitsOf(text, platform::isASCII(text)); }

// The collation key of `units` in a buffer of the thread's, with its 0 terminator, the only 0 in it.
std::span<const std::uint8_t> collationKey(const icu::Collator& collator, const std::u16string& units) {
  thread_local std::vector<uint8_t> sortKey(256);
  const auto length = static_cast<int32_t>(units.size());
  int32_t needed = collator.getSortKey(units.data(), length, sortKey.data(), static_cast<int32_t>(sortKey.size()));
  if (needed > static_cast<int32_t>(sortKey.size())) {
    sortKey.resize(static_cast<std::size_t>(needed));
    needed = collator.getSortKey(units.data(), length, sortKey.data(), needed);
  }
  return {sortKey.data(), static_cast<std::size_t>(needed)};
}

// What follows the collation key in a text's key: the digit-run lengths, each never 0, closed
// by a 0; then the code units.
void appendTail(const std::u16string& units, std::string& bytes) {
  const std::size_t start = bytes.size();
  bytes.resize(start + 4 * (units.size() + 1) + 2 * units.size());
  char* out = bytes.data() + start;
  std::uint32_t run = 0;
  for (std::size_t i = 0; i < units.size();) {
    UChar32 c;
    U16_NEXT(units.data(), i, units.size(), c);
    if (c < 0x80 ? (c >= '0' && c <= '9') : isDigit(c)) {
      ++run;
    } else if (run) {
      out = putBigEndian(out, run, 4);
      run = 0;
    }
  }
  if (run) out = putBigEndian(out, run, 4);
  out = putBigEndian(out, 0, 4);
  for (char16_t unit : units) out = putBigEndian(out, unit, 2);
  bytes.resize(static_cast<std::size_t>(out - bytes.data()));
}

// Appends the key of `text` to `bytes`.
void appendKeyBytes(const icu::Collator& collator, std::string_view text, std::string& bytes) {
  const std::u16string& units = unitsOf(text);
  const std::span<const std::uint8_t> key = collationKey(collator, units);
  bytes.append(reinterpret_cast<const char*>(key.data()), key.size());
  appendTail(units, bytes);
}

std::string keyBytes(const icu::Collator& collator, std::string_view text) {
  std::string bytes;
  appendKeyBytes(collator, text, bytes);
  return bytes;
}

// The last two keys made by the comparison. A sort compares one element with many others in a
// row (a pivot, the head of a run being merged), so one of the two texts is usually known.
struct RecentKeys {
  const icu::Collator* collator = nullptr;
  std::string text[2];
  std::string key[2];
  bool filled[2] = {false, false};
  int next = 0;

  int slotFor(const icu::Collator& current, std::string_view wanted, int keep) {
    if (collator != &current) {
      collator = &current;
      filled[0] = filled[1] = false;
    }
    for (int slot = 0; slot < 2; ++slot)
      if (filled[slot] && text[slot] == wanted) return slot;
    const int slot = keep >= 0 ? 1 - keep : next;
    next = 1 - slot;
    text[slot] = wanted;
    key[slot] = keyBytes(current, wanted);
    filled[slot] = true;
    return slot;
  }
};

// A text's place in the sort: the first 24 bytes of its collation key (without the 0 that ends
// it) as integers, 0 past its end, so that most comparisons read no more. A longer key keeps the
// rest in its range's store. The rest of a text's key (digit runs, code units) is made again from
// the text for the few texts whose collation keys are equal.
struct SortEntry {
  static constexpr std::size_t inlineBytes = 24;
  static constexpr std::uint32_t longKey = 0x8000'0000u;
  std::uint64_t head[3];
  std::uint32_t index;
  std::uint32_t rest;  // for a long key: `longKey` and its number among its range's long keys
};

// The rest of one range's long keys, from their 25th byte on with the 0 that ends them, in blocks
// that never move.
class LongKeys {
 public:
  explicit LongKeys(std::size_t begin) : begin_(begin) {}
  std::size_t begin() const noexcept { return begin_; }
  std::uint32_t keep(std::span<const std::uint8_t> rest) {
    if (blocks_.empty() || rest.size() > blockSize_ - used_) {
      blockSize_ = std::max(rest.size(), std::size_t{1} << 16);
      blocks_.push_back(std::make_unique_for_overwrite<char[]>(blockSize_));
      used_ = 0;
    }
    char* start = blocks_.back().get() + used_;
    std::memcpy(start, rest.data(), rest.size());
    used_ += rest.size();
    starts_.push_back(start);
    return static_cast<std::uint32_t>(starts_.size() - 1);
  }
  const char* operator[](std::uint32_t number) const noexcept { return starts_[number]; }

 private:
  std::size_t begin_;
  std::vector<std::unique_ptr<char[]>> blocks_;
  std::vector<const char*> starts_;
  std::size_t blockSize_ = 0;
  std::size_t used_ = 0;
};

SortEntry sortEntry(std::span<const std::uint8_t> key, std::uint32_t index, LongKeys& longKeys) {
  SortEntry entry{{0, 0, 0}, index, 0};
  const std::size_t length = key.empty() ? 0 : key.size() - 1;  // without the 0 that ends it
  unsigned char bytes[SortEntry::inlineBytes] = {};
  std::memcpy(bytes, key.data(), std::min(length, SortEntry::inlineBytes));
  for (std::size_t word = 0; word < 3; ++word) {
    std::uint64_t value;
    std::memcpy(&value, bytes + 8 * word, sizeof value);
    entry.head[word] = std::endian::native == std::endian::little ? __builtin_bswap64(value) : value;
  }
  if (length > SortEntry::inlineBytes) entry.rest = SortEntry::longKey | longKeys.keep(key.subspan(SortEntry::inlineBytes));
  return entry;
}

struct FreeBlock {
  void operator()(void* block) const noexcept { std::free(block); }
};

// Every range's long keys, found by position.
class KeyRest {
 public:
  void add(std::unique_ptr<LongKeys> keys) {
    const std::lock_guard lock(mutex_);
    ranges_.push_back(std::move(keys));
  }
  void seal() {
    std::sort(ranges_.begin(), ranges_.end(), [](const auto& a, const auto& b) { return a->begin() < b->begin(); });
  }
  const char* of(const SortEntry& entry) const {
    const auto range = std::upper_bound(ranges_.begin(), ranges_.end(), entry.index,
                                        [](std::size_t index, const auto& keys) { return index < keys->begin(); });
    return (**std::prev(range))[entry.rest & ~SortEntry::longKey];
  }

 private:
  std::mutex mutex_;
  std::vector<std::unique_ptr<LongKeys>> ranges_;
};

// Compares collation keys. Equal heads with one key short: that one ended first.
int compareCollationKeys(const SortEntry& a, const SortEntry& b, const KeyRest& rest) {
  for (std::size_t i = 0; i < 3; ++i)
    if (a.head[i] != b.head[i]) return a.head[i] < b.head[i] ? -1 : 1;
  const bool longA = a.rest & SortEntry::longKey, longB = b.rest & SortEntry::longKey;
  if (!longA || !longB) return longA - longB;
  return std::strcmp(rest.of(a), rest.of(b));
}

}  // namespace

// Through the keys rather than the collator's own comparison: for some locales the two disagree,
// and only the keys are sure to give one consistent order.
bool naturalOrderLess(std::string_view a, std::string_view b) {
  thread_local RecentKeys recent;
  const icu::Collator& collator = currentCollator();
  const int slotA = recent.slotFor(collator, a, -1);
  const int slotB = recent.slotFor(collator, b, slotA);
  return recent.key[slotA] < recent.key[slotB];
}

NaturalOrderKey::NaturalOrderKey(std::string_view text) : bytes_(keyBytes(currentCollator(), text)) {}

NaturalOrderKey::NaturalOrderKey(std::string_view text, const platform::Locale& locale)
    : bytes_(keyBytes(collatorFor(locale), text)) {}

void sortByNaturalOrder(std::vector<std::string>& texts) {
  sortByNaturalOrder(texts, [](const std::string& text) -> const std::string& { return text; });
}

// Keys hold the text's code units after the collation levels, so equal keys mean equal (canonical)
// texts: sorting by key, then position, puts each text's occurrences together, first one first.
std::vector<std::size_t> naturallySortedUniquePositions(std::size_t count,
                                                        const std::function<std::string_view(std::size_t)>& text) {
  return naturallySortedUniquePositions(count, text, {});
}

// Texts are sorted by the first level of their keys, then each run of texts equal there by whole
// keys: a whole key orders as its first level does wherever first levels differ, and most texts
// of a list differ there.
std::vector<std::size_t> naturallySortedUniquePositions(std::size_t count,
                                                        const std::function<std::string_view(std::size_t)>& text,
                                                        const std::function<void(std::size_t)>& prepare) {
  const platform::Locale locale = platform::Locale::current();
  // Written by the workers, so that each faults in its own pages.
  std::unique_ptr<SortEntry, FreeBlock> entries(static_cast<SortEntry*>(std::malloc(std::max<std::size_t>(count, 1) * sizeof(SortEntry))));
  if (!entries) throw std::bad_alloc();
  SortEntry* const first = entries.get();
  KeyRest rest;
  parallelRanges(count, [&](std::size_t begin, std::size_t end) {
    auto longKeys = std::make_unique<LongKeys>(begin);
    const icu::Collator& collator = collatorFor(locale, Input::any, Levels::primary);
    const icu::Collator& asciiCollator = collatorFor(locale, Input::ascii, Levels::primary);
    std::string canonical;
    for (std::size_t i = begin; i < end; ++i) {
      if (prepare) prepare(i);
      std::string_view name = text(i);
      const bool ascii = platform::isASCII(name);
      if (!ascii && !platform::isCanonical(name)) name = canonical = platform::canonicalText(name);
      const std::span<const std::uint8_t> key = collationKey(ascii ? asciiCollator : collator, unitsOf(name, ascii));
      first[i] = sortEntry(key, static_cast<std::uint32_t>(i), *longKeys);
    }
    rest.add(std::move(longKeys));
  });
  rest.seal();

  auto less = [&](const SortEntry& a, const SortEntry& b) {
    if (const int order = compareCollationKeys(a, b, rest)) return order < 0;
    return a.index < b.index;
  };
  SortEntry* const last = first + count;
  // Lists often arrive sorted but for a few names added at the end: sort only those, then merge.
  SortEntry* const unsorted = std::is_sorted_until(first, last, less);
  if (unsorted != last) {
    std::sort(unsorted, last, less);
    std::inplace_merge(first, unsorted, last, less);
  }

  // The positions kept are written over the entries' front, 4 bytes each, never past the first
  // entry not yet read, and the block shrunk to them before the list is made: the entries and the
  // list are never held at once.
  auto* const positions = reinterpret_cast<unsigned char*>(first);
  std::size_t kept = 0;
  auto keep = [&](std::uint32_t position) {
    std::memcpy(positions + kept++ * sizeof position, &position, sizeof position);
  };
  std::vector<std::pair<std::string, std::uint32_t>> run;
  std::string canonical;
  auto canonicalName = [&](std::uint32_t position) -> std::string_view {
    const std::string_view name = text(position);
    if (platform::isASCII(name) || platform::isCanonical(name)) return name;
    return canonical = platform::canonicalText(name);
  };
  for (std::size_t i = 0; i < count;) {
    std::size_t end = i + 1;
    while (end < count && compareCollationKeys(first[end], first[i], rest) == 0) ++end;
    // One text alone, or the same text again and again: its first occurrence.
    bool same = true;
    const std::string firstName(end - i > 1 ? canonicalName(first[i].index) : std::string_view());
    for (std::size_t k = i + 1; same && k < end; ++k) same = canonicalName(first[k].index) == firstName;
    if (same) {
      keep(first[i].index);
      i = end;
      continue;
    }
    run.clear();
    for (std::size_t k = i; k < end; ++k) {
      const std::string_view name = canonicalName(first[k].index);
      run.emplace_back(keyBytes(collatorFor(locale, platform::isASCII(name) ? Input::ascii : Input::any), name),
                       first[k].index);
    }
    std::sort(run.begin(), run.end());
    for (std::size_t k = 0; k < run.size(); ++k)
      if (k == 0 || run[k].first != run[k - 1].first) keep(run[k].second);
    i = end;
  }
  if (void* shrunk = kept ? std::realloc(entries.get(), kept * sizeof(std::uint32_t)) : nullptr) {
    entries.release();
    entries.reset(static_cast<SortEntry*>(shrunk));
  }
  std::vector<std::size_t> unique(kept);
  for (std::size_t k = 0; k < kept; ++k) {
    std::uint32_t position;
    std::memcpy(&position, reinterpret_cast<const unsigned char*>(entries.get()) + k * sizeof position, sizeof position);
    unique[k] = position;
  }
  return unique;
}

std::vector<std::string> naturallySortedUnique(std::vector<std::string> texts) {
  return naturallySortedUnique(std::move(texts), [](const std::string& text) -> const std::string& { return text; });
}

}  // namespace QVExtensions
