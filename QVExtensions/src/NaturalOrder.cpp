#include "QVExtensions/NaturalOrder.hpp"

#include <unicode/coll.h>
#include <unicode/uchar.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <cstring>
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

std::unique_ptr<icu::Collator> makeCollator(const platform::Locale& locale, Input input) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::Collator> collator(icu::Collator::createInstance(icu::Locale(locale.identifier().c_str()), status));
  if (U_FAILURE(status) || !collator) {
    status = U_ZERO_ERROR;
    collator.reset(icu::Collator::createInstance(icu::Locale::getRoot(), status));
  }
  // Case and width are tertiary differences: they order names only after everything else
  // at the secondary level is equal, with the case level between the two.
  collator->setAttribute(UCOL_NUMERIC_COLLATION, UCOL_ON, status);
  collator->setAttribute(UCOL_STRENGTH, UCOL_TERTIARY, status);
  collator->setAttribute(UCOL_CASE_LEVEL, UCOL_ON, status);
  collator->setAttribute(UCOL_NORMALIZATION_MODE, input == Input::ascii ? UCOL_OFF : UCOL_ON, status);
  return collator;
}

// Collators are built once per thread, locale and kind of input; a pin or unpin of the current
// locale is noticed by its generation number.
const icu::Collator& collatorFor(const platform::Locale& locale, Input input = Input::any) {
  thread_local std::unordered_map<std::string, std::unique_ptr<icu::Collator>> collators[2];
  thread_local std::string lastIdentifier[2];
  thread_local const icu::Collator* last[2] = {nullptr, nullptr};
  const auto kind = static_cast<std::size_t>(input);
  if (last[kind] && lastIdentifier[kind] == locale.identifier()) return *last[kind];
  auto& slot = collators[kind][locale.identifier()];
  if (!slot) slot = makeCollator(locale, input);
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
const std::u16string& unitsOf(std::string_view text) {
  thread_local std::u16string units;
  if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
    units.resize(text.size());
    std::copy(text.begin(), text.end(), units.begin());
  } else {
    units = platform::toUTF16(text);
  }
  return units;
}

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

// A text's place in the sort: its collation key's first 24 bytes as integers, so that most
// comparisons read no more. A key that ends within them is not kept anywhere else; a longer
// one is, and `rest` then holds its address. The rest of a text's key (digit runs, code
// units) is made again from the text for the few texts whose collation keys are equal.
struct SortEntry {
  static constexpr std::size_t prefixBytes = 24;
  std::uint64_t head[2];
  std::uint64_t rest;
  std::uint32_t index;
  bool longKey;
  bool canonical;  // whether the text needs no canonical form made for the rest of its key

  const char* keyBytes() const noexcept { return reinterpret_cast<const char*>(static_cast<std::uintptr_t>(rest)); }
  std::uint64_t third() const noexcept {
    if (!longKey) return rest;
    std::uint64_t word = 0;
    for (std::size_t i = 16; i < prefixBytes; ++i) word = word << 8 | static_cast<unsigned char>(keyBytes()[i]);
    return word;
  }
};

// Compares collation keys. A short key's prefix holds its 0 terminator and a long key's has
// none, so prefixes tell a short key from a long one.
int compareCollationKeys(const SortEntry& a, const SortEntry& b) {
  if (a.head[0] != b.head[0]) return a.head[0] < b.head[0] ? -1 : 1;
  if (a.head[1] != b.head[1]) return a.head[1] < b.head[1] ? -1 : 1;
  const std::uint64_t x = a.third(), y = b.third();
  if (x != y) return x < y ? -1 : 1;
  if (!a.longKey) return 0;
  return std::strcmp(a.keyBytes() + SortEntry::prefixBytes, b.keyBytes() + SortEntry::prefixBytes);
}

SortEntry sortEntry(std::span<const std::uint8_t> key, std::uint32_t index, bool canonical) {
  SortEntry entry{{0, 0}, 0, index, key.size() > SortEntry::prefixBytes, canonical};
  std::uint64_t words[3] = {0, 0, 0};
  for (std::size_t i = 0; i < SortEntry::prefixBytes && i < key.size(); ++i)
    words[i / 8] |= std::uint64_t{key[i]} << (56 - 8 * (i % 8));
  entry.head[0] = words[0];
  entry.head[1] = words[1];
  entry.rest = words[2];
  return entry;
}

// Long keys of one range, in blocks that never move.
class KeyStore {
 public:
  const char* keep(std::span<const std::uint8_t> key) {
    if (blocks_.empty() || key.size() > blockSize_ - used_) {
      blockSize_ = std::max(key.size(), std::size_t{1} << 16);
      blocks_.push_back(std::make_unique_for_overwrite<char[]>(blockSize_));
      used_ = 0;
    }
    char* start = blocks_.back().get() + used_;
    std::memcpy(start, key.data(), key.size());
    used_ += key.size();
    return start;
  }
  void moveInto(std::vector<std::unique_ptr<char[]>>& all) {
    for (auto& block : blocks_) all.push_back(std::move(block));
  }

 private:
  std::vector<std::unique_ptr<char[]>> blocks_;
  std::size_t blockSize_ = 0;
  std::size_t used_ = 0;
};

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
  const platform::Locale locale = platform::Locale::current();
  // Written by the workers, so that each faults in its own pages.
  const std::unique_ptr<SortEntry[]> entries = std::make_unique_for_overwrite<SortEntry[]>(count);
  std::mutex blocksMutex;
  std::vector<std::unique_ptr<char[]>> blocks;
  parallelRanges(count, [&](std::size_t begin, std::size_t end) {
    KeyStore store;
    const icu::Collator& collator = collatorFor(locale);
    const icu::Collator& asciiCollator = collatorFor(locale, Input::ascii);
    std::string canonical;
    for (std::size_t i = begin; i < end; ++i) {
      std::string_view name = text(i);
      const bool ascii = platform::isASCII(name);
      const bool isCanonical = ascii || platform::isCanonical(name);
      if (!isCanonical) name = canonical = platform::canonicalText(name);
      const std::span<const std::uint8_t> key = collationKey(ascii ? asciiCollator : collator, unitsOf(name));
      entries[i] = sortEntry(key, static_cast<std::uint32_t>(i), isCanonical);
      if (entries[i].longKey) entries[i].rest = reinterpret_cast<std::uintptr_t>(store.keep(key));
    }
    const std::lock_guard lock(blocksMutex);
    store.moveInto(blocks);
  });

  std::string scratch[2];
  auto tail = [&](const SortEntry& entry, int slot) -> std::string_view {
    const std::string_view name = text(entry.index);
    if (entry.canonical) return name;
    return scratch[slot] = platform::canonicalText(name);
  };
  // Equal collation keys: the digit runs and code units decide.
  auto compare = [&](const SortEntry& a, const SortEntry& b) {
    if (const int order = compareCollationKeys(a, b)) return order;
    const std::string_view x = tail(a, 0), y = tail(b, 1);
    if (x == y) return 0;
    std::string tails[2];
    appendTail(unitsOf(x), tails[0]);
    appendTail(unitsOf(y), tails[1]);
    return tails[0].compare(tails[1]);
  };
  auto less = [&](const SortEntry& a, const SortEntry& b) {
    if (const int order = compare(a, b)) return order < 0;
    return a.index < b.index;
  };
  SortEntry* const first = entries.get();
  SortEntry* const last = first + count;
  // Lists often arrive sorted but for a few names added at the end: sort only those, then merge.
  SortEntry* const unsorted = std::is_sorted_until(first, last, less);
  if (unsorted != last) {
    std::sort(unsorted, last, less);
    std::inplace_merge(first, unsorted, last, less);
  }

  std::vector<std::size_t> unique;
  unique.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0 && compare(first[i], first[i - 1]) == 0) continue;
    unique.push_back(first[i].index);
  }
  return unique;
}

std::vector<std::string> naturallySortedUnique(std::vector<std::string> texts) {
  return naturallySortedUnique(std::move(texts), [](const std::string& text) -> const std::string& { return text; });
}

}  // namespace QVExtensions
