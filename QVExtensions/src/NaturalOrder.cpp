#include "QVExtensions/NaturalOrder.hpp"

#include <unicode/coll.h>
#include <unicode/uchar.h>
#include <unicode/utf16.h>

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "QVExtensions/ParallelRanges.hpp"
#include "platform/text/CanonicalText.hpp"
#include "platform/text/Regex.hpp"

namespace QVExtensions {
namespace {

std::unique_ptr<icu::Collator> makeCollator(const platform::Locale& locale) {
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
  collator->setAttribute(UCOL_NORMALIZATION_MODE, UCOL_ON, status);
  return collator;
}

// Collators are built once per thread and locale; a pin or unpin of the current locale is noticed
// by its generation number.
const icu::Collator& collatorFor(const platform::Locale& locale) {
  thread_local std::unordered_map<std::string, std::unique_ptr<icu::Collator>> collators;
  thread_local std::string lastIdentifier;
  thread_local const icu::Collator* last = nullptr;
  if (last && lastIdentifier == locale.identifier()) return *last;
  auto& slot = collators[locale.identifier()];
  if (!slot) slot = makeCollator(locale);
  lastIdentifier = locale.identifier();
  last = slot.get();
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

// Appends the key of `text` to `bytes`.
void appendKeyBytes(const icu::Collator& collator, std::string_view text, std::string& bytes) {
  thread_local std::vector<uint8_t> sortKey(256);
  const std::u16string units = platform::toUTF16(text);
  const auto length = static_cast<int32_t>(units.size());
  int32_t needed = collator.getSortKey(units.data(), length, sortKey.data(), static_cast<int32_t>(sortKey.size()));
  if (needed > static_cast<int32_t>(sortKey.size())) {
    sortKey.resize(static_cast<std::size_t>(needed));
    needed = collator.getSortKey(units.data(), length, sortKey.data(), needed);
  }
  // The sort key ends with its 0 terminator, the only 0 in it; then come the digit-run lengths,
  // each never 0, closed by a 0; then the code units.
  const std::size_t start = bytes.size();
  bytes.resize(start + static_cast<std::size_t>(needed) + 4 * (units.size() + 1) + 2 * units.size());
  char* out = std::copy_n(reinterpret_cast<const char*>(sortKey.data()), needed, bytes.data() + start);
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

// A sort key with its first bytes as integers, so that most comparisons need no memcmp.
struct SortEntry {
  std::array<std::uint64_t, 3> prefix;
  std::uint32_t index;
};

std::array<std::uint64_t, 3> keyPrefix(std::string_view key) {
  std::array<std::uint64_t, 3> prefix{};
  for (std::size_t i = 0; i < 24 && i < key.size(); ++i)
    prefix[i / 8] |= std::uint64_t{static_cast<unsigned char>(key[i])} << (56 - 8 * (i % 8));
  return prefix;
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
  const platform::Locale locale = platform::Locale::current();
  // Each range packs its keys into one buffer: a key apiece would be a million small blocks,
  // which the workers' heaps grow for a page at a time.
  std::vector<std::string_view> keys(count);
  std::vector<SortEntry> entries(count);
  std::mutex buffersMutex;
  std::vector<std::unique_ptr<std::string>> buffers;
  parallelRanges(count, [&](std::size_t begin, std::size_t end) {
    auto buffer = std::make_unique<std::string>();
    buffer->reserve((end - begin) * 128);  // about a file name's key; pages not written cost nothing
    std::vector<std::size_t> ends(end - begin);
    for (std::size_t i = begin; i < end; ++i) {
      const std::string_view name = text(i);
      const icu::Collator& collator = collatorFor(locale);
      if (platform::isCanonical(name))
        appendKeyBytes(collator, name, *buffer);
      else
        appendKeyBytes(collator, platform::canonicalText(name), *buffer);
      ends[i - begin] = buffer->size();
    }
    std::size_t start = 0;
    for (std::size_t i = begin; i < end; ++i) {
      keys[i] = std::string_view(*buffer).substr(start, ends[i - begin] - start);
      entries[i] = {keyPrefix(keys[i]), static_cast<std::uint32_t>(i)};
      start = ends[i - begin];
    }
    const std::lock_guard lock(buffersMutex);
    buffers.push_back(std::move(buffer));
  });
  auto less = [&](const SortEntry& a, const SortEntry& b) {
    if (a.prefix != b.prefix) return a.prefix < b.prefix;
    if (int order = keys[a.index].compare(keys[b.index])) return order < 0;
    return a.index < b.index;
  };
  // Lists often arrive sorted but for a few names added at the end: sort only those, then merge.
  const auto unsorted = std::is_sorted_until(entries.begin(), entries.end(), less);
  if (unsorted != entries.end()) {
    std::sort(unsorted, entries.end(), less);
    std::inplace_merge(entries.begin(), unsorted, entries.end(), less);
  }

  std::vector<std::size_t> unique;
  unique.reserve(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (i > 0 && entries[i].prefix == entries[i - 1].prefix && keys[entries[i].index] == keys[entries[i - 1].index])
      continue;
    unique.push_back(entries[i].index);
  }
  return unique;
}

std::vector<std::string> naturallySortedUnique(std::vector<std::string> texts) {
  return naturallySortedUnique(std::move(texts), [](const std::string& text) -> const std::string& { return text; });
}

}  // namespace QVExtensions
