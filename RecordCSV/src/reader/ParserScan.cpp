// The vector scan of the common dialects: a one-byte ASCII field delimiter, the double
// quote or no escaping scalar, row delimiters among LF, CR and CR LF, and any trim set
// apart from those bytes. Their stop bytes are all ASCII, so they are found 64 bytes
// at a time and can never be the inside of a longer scalar. What needs more than the text
// at hand (a field that goes on in the next block, a CR that may start CR LF, a field that
// starts with a trim scalar beyond ASCII) or ends in an error goes to the byte engine, so
// rows, errors and the moment of a read failure stay the same.

#include <algorithm>

#include "platform/core/Unicode.hpp"
#include "reader/Parser.hpp"
#include "reader/ReaderErrors.hpp"

namespace RecordCSV {

void Parser::setUpScan() {
  const scan::Classify classify = scan::classifier(scan::activeKernel());
  if (classify == nullptr || !fieldTail_.empty() || fieldFirst_ >= 0x80) return;
  if (fieldFirst_ == U'\r' || fieldFirst_ == U'\n' || (escape_ && (*escape_ != U'"' || fieldFirst_ == U'"'))) return;
  std::string stops(1, static_cast<char>(fieldFirst_));
  if (escape_) stops += '"';
  for (const Member& member : rowMembers_) {
    const bool lineBreak = member.first == U'\r' || member.first == U'\n';
    if (!lineBreak || !(member.tail.empty() || (member.first == U'\r' && member.tail == "\n"))) return;
    if (stops.find(static_cast<char>(member.first)) == std::string::npos) stops += static_cast<char>(member.first);
  }
  const std::optional<scan::StopBytes> stopBytes = scan::StopBytes::make(stops);
  if (!stopBytes) return;
  if (trimNeeded_) {
    // The configuration forbids a trim set that holds a delimiter or the escaping scalar;
    // the scan relies on it, so it checks.
    for (const char stop : stops)
      if (trim_.contains(static_cast<unsigned char>(stop))) return;
    setUpTrimBytes();
  }
  stopBytes_ = *stopBytes;
  fieldByte_ = static_cast<unsigned char>(fieldFirst_);
  quoteByte_ = escape_ ? '"' : -1;
  lineFeedEndsRow_ = rowSingles_['\n'];
  classify_ = classify;
}

void Parser::setUpTrimBytes() {
  for (char32_t c = 0; c < 0x80; ++c)
    if (trim_.contains(c)) trimASCII_[c] = trimLead_[c] = trimLast_[c] = true;
  for (const auto& [first, last] : trim_.ranges()) {
    if (last < 0x80) continue;
    if (last - first > 0x1000) {
      // Too many to list: any byte beyond ASCII may start or end one.
      std::fill(trimLead_.begin() + 0x80, trimLead_.end(), true);
      std::fill(trimLast_.begin() + 0x80, trimLast_.end(), true);
      continue;
    }
    for (char32_t c = std::max<char32_t>(first, 0x80); c <= last; ++c) {
      std::string bytes;
      platform::appendUTF8(bytes, c);
      trimLead_[static_cast<unsigned char>(bytes.front())] = true;
      trimLast_[static_cast<unsigned char>(bytes.back())] = true;
    }
  }
}

Parser::Step Parser::stepScanned(std::int64_t rowIndex) {
  auto step = [](bool rowEnded) { return rowEnded ? Step::rowEnded : Step::fields; };
  const std::size_t start = pos_;
  switch (trimNeeded_ ? scanFields<true>(*table_) : scanFields<false>(*table_)) {
    case Scanned::rowEnded: return Step::rowEnded;
    case Scanned::insideEscapedField: return step(parseEscaped(rowIndex));
    case Scanned::afterEscapedField: return step(closeEscaped(scalarAt(pos_), rowIndex));
    case Scanned::fieldStart: break;
  }
  if (pos_ == size_) return Step::fields;
  const int b = static_cast<unsigned char>(data_[pos_]);
  if (trimLead_[b]) {
    // Fields ended before it count for the row even if the input ends in trim scalars.
    if (pos_ != start) return Step::fields;
    const Scalar s = scalarAt(pos_);
    if (trim_.contains(s.value)) {
      pos_ += s.length;
      return Step::trimmed;
    }
  }
  if (b == '\r') {
    if (const std::size_t row = rowMatch({U'\r', 1})) {
      pos_ += row;
      table_->endField();
      return Step::rowEnded;
    }
  }
  return step(scanUnescaped(rowIndex));
}

template <bool trim>
Parser::Scanned Parser::scanFields(FieldTable& table) {
  // Locals, not members: the table's copies could otherwise alias them and force reloads.
  const char* const text = data_;
  const std::size_t size = size_;
  const int fieldByte = fieldByte_;
  const int quoteByte = quoteByte_;
  const bool lineFeedEndsRow = lineFeedEndsRow_;
  std::size_t pos = pos_;
  Window window = window_;
  Scanned result = Scanned::fieldStart;
  for (;;) {
    if constexpr (trim) {
      if (pos < size && trimLead_[static_cast<unsigned char>(text[pos])]) {
        // Skipping ASCII trim scalars here is what the byte engine does one step at a time,
        // unless the text ends within them or more of them follow beyond ASCII.
        const std::size_t fieldStart = pos;
        while (pos < size && trimASCII_[static_cast<unsigned char>(text[pos])]) ++pos;
        if (pos == size || trimLead_[static_cast<unsigned char>(text[pos])]) {
          pos = fieldStart;
          break;
        }
      }
    }
    // A stop right at the field's start makes it empty, escaped, or needs the byte engine.
    std::size_t stop = nextStop(window, text, size, pos);
    if (stop == size) break;  // the field may go on in the next block
    int c = static_cast<unsigned char>(text[stop]);
    // Neither delimiter is the quote, so a field they end has none: most fields are these.
    if (c == fieldByte || (c == '\n' && lineFeedEndsRow)) {
      std::size_t length = stop - pos;
      if constexpr (trim) {
        if (length > 0 && trimLast_[static_cast<unsigned char>(text[stop - 1])])
          length = untrimmedLength({text + pos, length});
      }
      table.appendField(text + pos, length, size - pos);
      pos = stop + 1;
      if (c == fieldByte) continue;
      result = Scanned::rowEnded;
      break;
    }
    if (c == quoteByte && stop == pos) {
      // An escaped field: its text runs from quote to quote, a doubled quote standing for one.
      ++escapedFields_;
      std::size_t run = pos + 1;
      std::size_t from = run;
      for (;;) {
        stop = nextStop(window, text, size, from);
        if (stop + 1 >= size) break;  // what follows the quote is not here yet
        if (static_cast<unsigned char>(text[stop]) != quoteByte) {
          from = stop + 1;
          continue;
        }
        if (static_cast<unsigned char>(text[stop + 1]) != quoteByte) break;
        table.append(text + run, stop + 1 - run);
        run = from = stop + 2;
      }
      if (stop + 1 >= size) {
        pos = run;
        result = Scanned::insideEscapedField;
        break;
      }
      // Closed: only a delimiter may follow, and a CR or anything else is the byte engine's to judge.
      table.append(text + run, stop - run);
      pos = stop + 1;
      c = static_cast<unsigned char>(text[pos]);
      if (c == fieldByte) {
        table.endField();
        ++pos;
        continue;
      }
      if (c == '\n' && lineFeedEndsRow) {
        table.endField();
        ++pos;
        result = Scanned::rowEnded;
      } else {
        result = Scanned::afterEscapedField;
      }
      break;
    }
    break;  // a quote inside the field or a CR: the field starts again in the byte engine
  }
  pos_ = pos;
  window_ = window;
  return result;
}

bool Parser::scanUnescaped(std::int64_t rowIndex) {
  run_ = pos_;
  std::size_t from = pos_ + 1;
  for (;;) {
    pos_ = nextStop(window_, data_, size_, from);
    if (pos_ == size_) {
      if (!refill()) {
        flushRun();
        endUnescapedField();
        return true;
      }
      from = pos_;
      continue;
    }
    const int c = static_cast<unsigned char>(data_[pos_]);
    if (c == quoteByte_) throw ReaderErrors::escapingScalarInUnescapedField(rowIndex);
    if (c == fieldByte_) {
      flushRun();
      ++pos_;
      endUnescapedField();
      return false;
    }
    if (const std::size_t row = rowMatch({static_cast<char32_t>(c), 1})) {
      flushRun();
      pos_ += row;
      endUnescapedField();
      return true;
    }
    from = pos_ + 1;
  }
}

}  // namespace RecordCSV
