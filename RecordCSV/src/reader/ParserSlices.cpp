// Rows kept where they are in the text. Only rows whose every field is plain take this
// path: an unescaped field without the escaping scalar and with nothing to trim at either
// end, or an escaped one without a doubled escaping scalar, each followed by the field
// delimiter or a row delimiter at hand. Anything else (an error, a CR that may not end the
// row, a row reaching past the text at hand) is left untouched for the byte engine, so
// rows, errors and their moments stay the same.

#include <bit>

#include "reader/Parser.hpp"

namespace RecordCSV {

std::shared_ptr<RowStore> Parser::makeSliceStore() {
  if (!classify_) return nullptr;
  sliceCRLineFeed_ = false;
  for (const Member& member : rowMembers_)
    if (member.first == U'\r' && member.tail == "\n") sliceCRLineFeed_ = true;
  sliceDelimiters_ = *scan::StopBytes::make(std::string(1, static_cast<char>(fieldByte_)));
  if (quoteByte_ >= 0) sliceQuotes_ = *scan::StopBytes::make(std::string(1, static_cast<char>(quoteByte_)));
  const RowStore::Dialect dialect{static_cast<char>(fieldByte_), quoteByte_};
  std::shared_ptr<const void> owner = source_->textOwner();
  // Text that does not stay is copied a row at a time; no slice starts before the text at hand.
  if (!owner) return std::make_shared<RowStore>(dialect, sizeHint());
  return std::make_shared<RowStore>(std::move(owner), data_ + pos_, data_ + pos_ + sizeHint(), dialect);
}

template <bool trim>
[[gnu::always_inline]] inline std::optional<Parser::RowSlice> Parser::nextSlice(Window& window, std::size_t& next,
                                                                                std::size_t maximumFields) const {
  const char* const text = data_;
  const std::size_t size = size_;
  const std::size_t rowStart = next;
  std::size_t pos = next;
  for (std::size_t fields = 1; fields <= maximumFields; ++fields) {
    std::size_t stop;
    bool empty;
    if (pos == size) return std::nullopt;
    const int first = static_cast<unsigned char>(text[pos]);
    // A byte that may start a trim scalar could make the field shorter than its slice.
    if (trim && trimLead_[first]) return std::nullopt;
    if (first == quoteByte_) {
      std::size_t from = pos + 1;
      for (;;) {
        stop = nextStop(window, text, size, from);
        if (stop + 1 >= size) return std::nullopt;  // what follows the closing quote is not at hand
        if (static_cast<unsigned char>(text[stop]) == quoteByte_) break;
        from = stop + 1;
      }
      empty = false;  // an escaped empty field is a value, not an empty line
      ++stop;
      if (static_cast<unsigned char>(text[stop]) == quoteByte_) return std::nullopt;  // a doubled one needs unescaping
    } else {
      stop = nextStop(window, text, size, pos);
      if (stop == size) return std::nullopt;
      empty = stop == pos;
      if (trim && !empty && trimLast_[static_cast<unsigned char>(text[stop - 1])]) return std::nullopt;
    }
    const int c = static_cast<unsigned char>(text[stop]);
    if (c == fieldByte_) {
      pos = stop + 1;
      continue;
    }
    std::size_t delimiter = 0;
    if (c == '\n' && lineFeedEndsRow_) {
      delimiter = 1;
    } else if (c == '\r') {
      if (rowSingles_['\r'])
        delimiter = 1;
      else if (sliceCRLineFeed_ && stop + 1 < size && text[stop + 1] == '\n')
        delimiter = 2;
    }
    // Otherwise an escaping scalar inside an unescaped field, a character after an escaped
    // one, or a CR that does not end the row.
    if (delimiter == 0 || stop - rowStart > RowStore::maximumSliceLength) return std::nullopt;
    next = stop + delimiter;
    return RowSlice{text + rowStart, stop - rowStart, fields, fields == 1 && empty};
  }
  return std::nullopt;
}

bool Parser::sliceRow(RowSlice& slice) {
  Window window = window_;
  const std::optional<RowSlice> row = trimNeeded_ ? nextSlice<true>(window, pos_, RowStore::maximumSliceFields)
                                                 : nextSlice<false>(window, pos_, RowStore::maximumSliceFields);
  if (!row) return false;
  slice = *row;
  window_ = window;
  return true;
}

std::size_t Parser::sliceRows(RowStore& store, std::size_t fields, bool& needsEngine) {
  needsEngine = false;
  // One empty field is an empty line, which the caller drops.
  if (fields < 2 || fields > RowStore::maximumSliceFields) return 0;
  std::size_t count = 0;
  for (;;) {
    count += trimNeeded_ ? sliceBlockRows<true>(store, fields, needsEngine)
                         : sliceBlockRows<false>(store, fields, needsEngine);
    if (needsEngine) return count;
    // A row the block loop leaves for other reasons (a CR, a quote at a block's end, the end
    // of the text at hand) is tried field by field before the byte engine gets it.
    Window window = window_;
    std::size_t next = pos_;
    const std::optional<RowSlice> row =
        trimNeeded_ ? nextSlice<true>(window, next, fields) : nextSlice<false>(window, next, fields);
    needsEngine = !row;
    if (!row || row->fields != fields) return count;
    store.appendSlice(row->text, row->length);
    pos_ = next;
    window_ = window;
    ++count;
  }
}

bool Parser::trimmedAround(std::uint64_t delimiters, std::size_t base, std::size_t rowStart) const noexcept {
  bool trimmed = false;
  for (; delimiters != 0; delimiters &= delimiters - 1) {
    const std::size_t at = base + static_cast<std::size_t>(std::countr_zero(delimiters));
    // The byte after a delimiter starts a field (one not at hand yet counts as trimmed); the
    // byte before ends one, unless the row starts with an empty field.
    trimmed |= at + 1 == size_ || trimLead_[static_cast<unsigned char>(data_[at + 1])];
    if (at > rowStart) trimmed |= trimLast_[static_cast<unsigned char>(data_[at - 1])];
  }
  return trimmed;
}

template <bool trim>
std::size_t Parser::sliceBlockRows(RowStore& store, std::size_t fields, bool& needsEngine) {
  // 64 bytes at a time: quotes pair up by a prefix XOR, the delimiters and row ends outside
  // them are the structure, and a row is taken when every quote in it opens a field or closes
  // one before a delimiter or the row's end, and it has `fields` fields.
  const char* const text = data_;
  const std::size_t size = size_;
  const bool quoted = quoteByte_ >= 0;
  std::size_t rowStart = pos_;
  std::size_t base = rowStart;
  std::size_t from = rowStart;
  std::size_t delimiters = 0;
  // Of the block before: ended inside an escaped field, ended with a delimiter or row end.
  bool insideBefore = false;
  bool structuralBefore = true;
  std::uint64_t delimiterBits = 0;  // outside escaped fields
  std::uint64_t endBits = 0;  // other stops outside escaped fields: LF and CR
  std::uint64_t badBits = 0;  // quotes that neither open a field nor close one before structure
  std::uint64_t lastQuote = 0;  // a closing quote in the last byte, which the next block judges
  bool classified = false;
  std::size_t count = 0;
  for (;;) {
    if (!classified) {
      if (size - base < 64) break;
      const std::uint64_t stops = classify_(text + base, stopBytes_);
      const std::uint64_t delimiters64 = classify_(text + base, sliceDelimiters_);
      const std::uint64_t quotes = quoted ? classify_(text + base, sliceQuotes_) : 0;
      const std::uint64_t inside = scan::prefixXor(quotes) ^ (insideBefore ? ~std::uint64_t{0} : 0);
      delimiterBits = delimiters64 & ~inside;
      endBits = stops & ~delimiters64 & ~quotes & ~inside;
      const std::uint64_t structural = delimiterBits | endBits;
      const std::uint64_t before = structural << 1 | (structuralBefore ? 1 : 0);
      const std::uint64_t after = structural >> 1;
      lastQuote = quotes & ~inside & std::uint64_t{1} << 63;
      badBits = (quotes & inside & ~before) | (quotes & ~inside & ~after & ~lastQuote);
      insideBefore = inside >> 63;
      structuralBefore = structural >> 63;
      classified = true;
    }
    const unsigned offset = static_cast<unsigned>(from - base);
    const std::uint64_t live = ~std::uint64_t{0} << offset;
    // A row that starts here may open with a quote.
    const std::uint64_t bad = badBits & live & ~(from == rowStart ? std::uint64_t{1} << offset : 0);
    const std::uint64_t ends = endBits & live;
    if (ends == 0) {
      needsEngine = bad != 0 || (trim && trimmedAround(delimiterBits & live, base, rowStart));
      if (needsEngine || (lastQuote & live) != 0) break;
      delimiters += static_cast<std::size_t>(std::popcount(delimiterBits & live));
      base += 64;
      from = base;
      classified = false;
      continue;
    }
    const auto k = static_cast<unsigned>(std::countr_zero(ends));
    const std::uint64_t upToEnd = (std::uint64_t{2} << k) - 1;  // k is below 64
    const std::size_t stop = base + k;
    // The row's first and last bytes, and those around each delimiter, must start and end no trim scalar.
    needsEngine = (bad & upToEnd) != 0 ||
                  (trim && (trimmedAround(delimiterBits & live & upToEnd, base, rowStart) ||
                            trimLead_[static_cast<unsigned char>(text[rowStart])] ||
                            (stop > rowStart && trimLast_[static_cast<unsigned char>(text[stop - 1])])));
    if (needsEngine) break;
    delimiters += static_cast<std::size_t>(std::popcount(delimiterBits & live & upToEnd));
    std::size_t delimiter = 0;
    if (text[stop] == '\n') {
      delimiter = lineFeedEndsRow_ ? 1 : 0;
    } else if (text[stop] == '\r') {
      if (rowSingles_['\r'])
        delimiter = 1;
      else if (sliceCRLineFeed_ && stop + 1 < size && text[stop + 1] == '\n')
        delimiter = 2;
    }
    if (delimiter == 0 || delimiters + 1 != fields || stop - rowStart > RowStore::maximumSliceLength) break;
    store.appendSlice(text + rowStart, stop - rowStart);
    ++count;
    rowStart = from = stop + delimiter;
    delimiters = 0;
    if (from - base >= 64) {
      base = from;
      classified = false;
      insideBefore = false;
      structuralBefore = true;
    }
  }
  pos_ = rowStart;
  return count;
}

}  // namespace RecordCSV
