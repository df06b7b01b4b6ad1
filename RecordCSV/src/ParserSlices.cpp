// Rows kept where they are in the text. Only rows whose every field is plain take this
// path: an unescaped field without the escaping scalar and with nothing to trim at either
// end, or an escaped one without a doubled escaping scalar, each followed by the field
// delimiter or a row delimiter at hand. Anything else (an error, a CR that may not end the
// row, a row reaching past the text at hand) is left untouched for the byte engine, so
// rows, errors and their moments stay the same.

#include "Parser.hpp"

namespace RecordCSV {

std::shared_ptr<RowStore> Parser::makeSliceStore() {
  if (!classify_) return nullptr;
  std::shared_ptr<const void> owner = source_->textOwner();
  if (!owner) return nullptr;
  sliceCRLineFeed_ = false;
  for (const Member& member : rowMembers_)
    if (member.first == U'\r' && member.tail == "\n") sliceCRLineFeed_ = true;
  // No slice starts before the text at hand.
  return std::make_shared<RowStore>(std::move(owner), data_ + pos_,
                                    RowStore::Dialect{static_cast<char>(fieldByte_), quoteByte_});
}

bool Parser::sliceRow(RowSlice& slice) {
  const char* const text = data_;
  const std::size_t size = size_;
  const std::size_t rowStart = pos_;
  std::size_t pos = pos_;
  Window window = window_;
  for (std::size_t fields = 1; fields <= RowStore::maximumSliceFields; ++fields) {
    std::size_t stop;
    bool empty;
    // A byte that may start a trim scalar could make the field shorter than its slice.
    if (pos < size && trimLead_[static_cast<unsigned char>(text[pos])]) return false;
    if (pos < size && static_cast<unsigned char>(text[pos]) == quoteByte_) {
      std::size_t from = pos + 1;
      for (;;) {
        stop = nextStop(window, text, size, from);
        if (stop + 1 >= size) return false;  // what follows the closing quote is not at hand
        if (static_cast<unsigned char>(text[stop]) == quoteByte_) break;
        from = stop + 1;
      }
      empty = stop == pos + 1;
      ++stop;
      if (static_cast<unsigned char>(text[stop]) == quoteByte_) return false;  // a doubled one needs unescaping
    } else {
      stop = nextStop(window, text, size, pos);
      if (stop == size) return false;
      empty = stop == pos;
      if (!empty && trimLast_[static_cast<unsigned char>(text[stop - 1])]) return false;
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
    if (delimiter == 0 || stop - rowStart > RowStore::maximumSliceLength) return false;
    slice = {text + rowStart, stop - rowStart, fields, fields == 1 && empty};
    pos_ = stop + delimiter;
    window_ = window;
    return true;
  }
  return false;
}

}  // namespace RecordCSV
