#include "reader/Parser.hpp"

#include <cstring>

#include "platform/core/Unicode.hpp"
#include "reader/ReaderErrors.hpp"

namespace RecordCSV {
namespace {

unsigned char leadByte(char32_t scalar) {
  std::string bytes;
  platform::appendUTF8(bytes, scalar);
  return static_cast<unsigned char>(bytes[0]);
}

}  // namespace

Parser::Parser(const CSVReader::Settings& settings, std::unique_ptr<UTF8Source> source)
    : source_(std::move(source)),
      fieldFirst_(settings.delimiters.field.front()),
      fieldTail_(platform::toUTF8(std::u32string_view(settings.delimiters.field).substr(1))),
      escape_(settings.escapingScalar),
      trim_(settings.trimCharacters),
      trimNeeded_(settings.isTrimNeeded) {
  data_ = source_->data();
  size_ = source_->size();
  const Delimiter::RowSet& row = settings.delimiters.row;  // shortest first
  singlesAndPairs_ = row.size() >= 2 && row.rbegin()->size() == 2;
  for (const std::u32string& member : row)
    rowMembers_.push_back({member.front(), platform::toUTF8(std::u32string_view(member).substr(1))});

  stops_[leadByte(fieldFirst_)] = true;
  for (const Member& member : rowMembers_) {
    stops_[leadByte(member.first)] = true;
    if (member.tail.empty() && member.first < 0x80) rowSingles_[member.first] = true;
  }
  if (escape_) {
    escapeLead_ = static_cast<char>(leadByte(*escape_));
    stops_[leadByte(*escape_)] = true;
  }
  setUpScan();
}

bool Parser::refill() {
  if (ended_) return false;
  if (run_ != noRun) {
    table_->append(data_ + run_, pos_ - run_);
    run_ = 0;
  }
  const std::size_t consumed = pos_;
  dropped_ += consumed;
  pos_ = 0;
  window_ = {};
  const bool more = source_->advance(consumed);
  data_ = source_->data();
  size_ = source_->size();
  ended_ = !more;
  return more;
}

Parser::Tail Parser::matchTail(std::size_t distance, std::string_view tail) {
  for (std::size_t i = 0; i < tail.size(); ++i) {
    if (!ensure(distance + i + 1)) return Tail::end;
    if (data_[pos_ + distance + i] != tail[i]) return Tail::mismatch;
  }
  return Tail::match;
}

std::size_t Parser::fieldMatch(Scalar c) {
  if (c.value != fieldFirst_) return 0;
  if (fieldTail_.empty()) return c.length;
  return matchTail(c.length, fieldTail_) == Tail::match ? c.length + fieldTail_.size() : 0;
}

std::size_t Parser::rowMatchAhead(Scalar c) {
  if (singlesAndPairs_) {
    for (const Member& member : rowMembers_)
      if (member.tail.empty() && member.first == c.value) return c.length;
    if (!ensure(c.length + 1)) return 0;
    const Scalar next = scalarAt(pos_ + c.length);
    for (const Member& member : rowMembers_)
      if (member.first == c.value && std::string_view(data_ + pos_ + c.length, next.length) == member.tail)
        return c.length + next.length;
    return 0;
  }
  for (const Member& member : rowMembers_) {
    if (member.first != c.value) continue;
    if (member.tail.empty()) return c.length;
    switch (matchTail(c.length, member.tail)) {
      case Tail::match: return c.length + member.tail.size();
      case Tail::end: return 0;
      case Tail::mismatch: break;
    }
  }
  return 0;
}

bool Parser::parseRow(FieldTable& table, std::int64_t rowIndex) {
  table_ = &table;
  run_ = noRun;
  rowStart_ = dropped_ + pos_;
  bool anyField = false;
  for (;;) {
    if (pos_ == size_ && !refill()) {
      if (!anyField) return false;
      table.endField();
      return true;
    }
    const Step step = classify_ ? stepScanned(rowIndex) : stepByBytes(rowIndex);
    if (step == Step::rowEnded) return true;
    if (step == Step::fields) anyField = true;
  }
}

Parser::Step Parser::stepByBytes(std::int64_t rowIndex) {
  const Scalar s = scalarAt(pos_);
  if (trimNeeded_ && trim_.contains(s.value)) {
    pos_ += s.length;
    return Step::trimmed;
  }
  if (escape_ && s.value == *escape_) {
    pos_ += s.length;
    ++escapedFields_;
    return parseEscaped(rowIndex) ? Step::rowEnded : Step::fields;
  }
  if (const std::size_t field = fieldMatch(s)) {
    pos_ += field;
    table_->endField();
    return Step::fields;
  }
  if (const std::size_t row = rowMatch(s)) {
    pos_ += row;
    table_->endField();
    return Step::rowEnded;
  }
  return parseUnescaped(s, rowIndex) ? Step::rowEnded : Step::fields;
}

bool Parser::parseUnescaped(Scalar first, std::int64_t rowIndex) {
  run_ = pos_;
  pos_ += first.length;
  for (;;) {
    const bool* stops = stops_.data();
    const char* p = data_ + pos_;
    const char* const end = data_ + size_;
    while (end - p >= 4) {
      if (stops[static_cast<unsigned char>(p[0])]) goto found;
      if (stops[static_cast<unsigned char>(p[1])]) { p += 1; goto found; }
      if (stops[static_cast<unsigned char>(p[2])]) { p += 2; goto found; }
      if (stops[static_cast<unsigned char>(p[3])]) { p += 3; goto found; }
      p += 4;
    }
    while (p < end && !stops[static_cast<unsigned char>(*p)]) ++p;
  found:
    pos_ = static_cast<std::size_t>(p - data_);
    if (pos_ == size_) {
      if (!refill()) {
        flushRun();
        endUnescapedField();
        return true;
      }
      continue;
    }
    const Scalar c = scalarAt(pos_);
    if (escape_ && c.value == *escape_) throw ReaderErrors::escapingScalarInUnescapedField(rowIndex);
    if (const std::size_t field = fieldMatch(c)) {
      flushRun();
      pos_ += field;
      endUnescapedField();
      return false;
    }
    if (const std::size_t row = rowMatch(c)) {
      flushRun();
      pos_ += row;
      endUnescapedField();
      return true;
    }
    pos_ += c.length;
  }
}

void Parser::endUnescapedField() {
  if (trimNeeded_) {
    const std::string_view field = table_->currentField();
    table_->dropBytes(field.size() - untrimmedLength(field));
  }
  table_->endField();
}

std::size_t Parser::untrimmedLength(std::string_view field) const noexcept {
  std::size_t kept = field.size();
  while (kept > 0) {
    std::size_t start = kept - 1;
    while (start > 0 && (static_cast<unsigned char>(field[start]) & 0xC0) == 0x80) --start;
    if (!trim_.contains(decode(field.data() + start).value)) break;
    kept = start;
  }
  return kept;
}

bool Parser::parseEscaped(std::int64_t rowIndex) {
  const char32_t escape = *escape_;
  run_ = pos_;
  for (;;) {
    const void* hit = pos_ < size_ ? std::memchr(data_ + pos_, escapeLead_, size_ - pos_) : nullptr;
    if (hit == nullptr) {
      pos_ = size_;
      if (!refill()) throw ReaderErrors::unclosedEscapedField(rowIndex);
      continue;
    }
    pos_ = static_cast<std::size_t>(static_cast<const char*>(hit) - data_);
    const Scalar c = scalarAt(pos_);
    if (c.value != escape) {
      pos_ += c.length;
      continue;
    }
    flushRun();
    pos_ += c.length;
    if (pos_ == size_ && !refill()) {
      table_->endField();
      return true;
    }
    const Scalar next = scalarAt(pos_);
    if (next.value == escape) {
      // A doubled escaping scalar stands for one: the second starts the next run.
      run_ = pos_;
      pos_ += next.length;
      continue;
    }
    return closeEscaped(next, rowIndex);
  }
}

bool Parser::closeEscaped(Scalar next, std::int64_t rowIndex) {
  if (trimNeeded_ && trim_.contains(next.value)) {
    do {
      pos_ += next.length;
      if (pos_ == size_ && !refill()) {
        table_->endField();
        return true;
      }
      next = scalarAt(pos_);
    } while (trim_.contains(next.value));
  }
  if (const std::size_t field = fieldMatch(next)) {
    pos_ += field;
    table_->endField();
    return false;
  }
  if (const std::size_t row = rowMatch(next)) {
    pos_ += row;
    table_->endField();
    return true;
  }
  throw ReaderErrors::characterAfterEscapedField(rowIndex, std::string(table_->currentField()), next.value == U'\r');
}

}  // namespace RecordCSV
