// A file view's row store, and finding the fields of a row kept as a slice.

#include "RecordCSV/RowStore.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

#include "RecordCSV/CSVReader.hpp"
#include "scan/Scan.hpp"

#if defined(__SSE2__) && !defined(PZ_PORTABLE_SCAN)
#include <emmintrin.h>
#endif

namespace RecordCSV {
namespace {

struct BlockBits {
  std::uint64_t delimiters = 0;
  std::uint64_t quotes = 0;
};

/// The delimiters and quotes among 64 bytes.
BlockBits classify(const char* block, RowStore::Dialect dialect) noexcept {
  BlockBits bits;
#if defined(__SSE2__) && !defined(PZ_PORTABLE_SCAN)
  const __m128i delimiter = _mm_set1_epi8(dialect.delimiter);
  const __m128i quote = _mm_set1_epi8(static_cast<char>(dialect.quote));
  for (unsigned i = 0; i < 4; ++i) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * i));
    bits.delimiters |= std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, delimiter)))}
                       << (16 * i);
    bits.quotes |= std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, quote)))}
                   << (16 * i);
  }
#else
  for (unsigned i = 0; i < 64; ++i) {
    bits.delimiters |= std::uint64_t{block[i] == dialect.delimiter} << i;
    bits.quotes |= std::uint64_t{block[i] == static_cast<char>(dialect.quote)} << i;
  }
#endif
  if (dialect.quote < 0) bits.quotes = 0;
  return bits;
}

}  // namespace

RowStore::RowStore(FieldTable copied, std::size_t fieldsPerRow)
    : copied_(std::move(copied)),
      rows_(fieldsPerRow ? copied_.fieldCount() / fieldsPerRow : 0),
      fieldsPerRow_(fieldsPerRow) {}

RowStore::RowStore(std::shared_ptr<const void> owner, const char* text, const char* end, Dialect dialect)
    : owner_(std::move(owner)), text_(text), textEnd_(end), dialect_(dialect) {}

RowStore::RowStore(Dialect dialect, std::size_t bytes) : copying_(true), dialect_(dialect) {
  if (bytes > 0) growCopies(bytes);
}

void RowStore::growCopies(std::size_t count) {
  const std::size_t capacity = std::max({copiedBytes_ + count, copyCapacity_ * 2, std::size_t{1} << 16});
  char* grown = static_cast<char*>(std::realloc(copies_.get(), capacity));
  if (grown == nullptr) throw std::bad_alloc();
  (void)copies_.release();
  copies_.reset(grown);
  copyCapacity_ = capacity;
  text_ = grown;
  textEnd_ = grown + capacity;
}

CSVReader::Row::Row(const RowStore& store, std::size_t r) : size_(store.fieldsPerRow()) {
  const RowStore::Place place = store.place(r);
  if (place.isSlice) {
    split(place.slice, place.readable, store.dialect());
  } else {
    table_ = &store.copied();
    first_ = place.firstField;
  }
}

void CSVReader::Row::split(std::string_view text, std::size_t readable, RowStore::Dialect dialect) noexcept {
  // The store kept only rows whose fields were checked to be plain and as many as the row
  // must have: the delimiters outside quotes separate them, and a field that starts with a
  // quote ends with its closing one.
  slice_ = text.data();
  const std::size_t length = text.size();
  std::size_t field = 0;
  std::size_t start = 0;
  auto endField = [&](std::size_t stop) {
    const bool escaped = stop > start && text[start] == static_cast<char>(dialect.quote) && dialect.quote >= 0;
    setBound(2 * field, start + escaped);
    setBound(2 * field + 1, stop - escaped);
    ++field;
    start = stop + 1;
  };
  bool insideQuotes = false;
  for (std::size_t base = 0; base < length; base += 64) {
    const char* block = text.data() + base;
    std::uint64_t present = ~std::uint64_t{0};
    char tail[64];
    if (length - base < 64) {
      present = (std::uint64_t{1} << (length - base)) - 1;
      // Near the end of the text the last block is read from a copy.
      if (readable - base < 64) {
        std::memset(tail, 0, sizeof tail);
        std::memcpy(tail, block, length - base);
        block = tail;
      }
    }
    BlockBits bits = classify(block, dialect);
    bits.delimiters &= present;
    if (const std::uint64_t quotes = bits.quotes & present; quotes != 0 || insideQuotes) {
      const std::uint64_t inside = scan::prefixXor(quotes) ^ (insideQuotes ? ~std::uint64_t{0} : 0);
      bits.delimiters &= ~inside;
      insideQuotes = inside >> 63;
    }
    for (std::uint64_t delimiters = bits.delimiters; delimiters != 0; delimiters &= delimiters - 1)
      endField(base + static_cast<std::size_t>(std::countr_zero(delimiters)));
  }
  endField(length);
}

}  // namespace RecordCSV
