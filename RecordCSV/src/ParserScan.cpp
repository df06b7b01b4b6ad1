// The parse loop of the common dialects: a one-byte ASCII field delimiter, the double
// quote or no escaping scalar, row delimiters among LF, CR and CR LF, no trimming. Their
// structural bytes are all ASCII, so they are found 64 bytes at a time and can never be
// the inside of a longer scalar. What needs more than the text at hand (a field that goes
// on in the next block, a CR that may start CR LF) or ends in an error goes to the byte
// engine, so rows, errors and the moment of a read failure stay the same.

#include "Parser.hpp"
#include "ReaderErrors.hpp"

namespace RecordCSV {

void Parser::setUpScan() {
  const scan::Classify classify = scan::classifier(scan::activeKernel());
  if (classify == nullptr || trimNeeded_ || !fieldTail_.empty() || fieldFirst_ >= 0x80) return;
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
  stopBytes_ = *stopBytes;
  fieldByte_ = static_cast<unsigned char>(fieldFirst_);
  quoteByte_ = escape_ ? '"' : -1;
  lineFeedEndsRow_ = rowSingles_['\n'];
  classify_ = classify;
}

Parser::Step Parser::stepScanned(std::int64_t rowIndex) {
  auto step = [](bool rowEnded) { return rowEnded ? Step::rowEnded : Step::fields; };
  switch (scanFields(*table_)) {
    case Scanned::rowEnded: return Step::rowEnded;
    case Scanned::insideEscapedField: return step(parseEscaped(rowIndex));
    case Scanned::afterEscapedField: return step(closeEscaped(scalarAt(pos_), rowIndex));
    case Scanned::fieldStart: break;
  }
  if (pos_ == size_) return Step::fields;
  const int b = static_cast<unsigned char>(data_[pos_]);
  if (b == '\r') {
    if (const std::size_t row = rowMatch({U'\r', 1})) {
      pos_ += row;
      table_->endField();
      return Step::rowEnded;
    }
  }
  return step(scanUnescaped(rowIndex));
}

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
    // A stop right at the field's start makes it empty, escaped, or needs the byte engine.
    std::size_t stop = nextStop(window, text, size, pos);
    if (stop == size) break;  // the field may go on in the next block
    int c = static_cast<unsigned char>(text[stop]);
    if (c == quoteByte && stop == pos) {
      // An escaped field: its text runs from quote to quote, a doubled quote standing for one.
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
    if (c == fieldByte) {
      table.appendField(text + pos, stop - pos, size - pos);
      pos = stop + 1;
      continue;
    }
    if (c == '\n' && lineFeedEndsRow) {
      table.appendField(text + pos, stop - pos, size - pos);
      pos = stop + 1;
      result = Scanned::rowEnded;
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
        table_->endField();
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
      table_->endField();
      return false;
    }
    if (const std::size_t row = rowMatch({static_cast<char32_t>(c), 1})) {
      flushRun();
      pos_ += row;
      table_->endField();
      return true;
    }
    from = pos_ + 1;
  }
}

}  // namespace RecordCSV
