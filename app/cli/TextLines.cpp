#include "TextLines.hpp"

#include <algorithm>

#include "platform/core/Unicode.hpp"

namespace Pelmora_Zava::cli {
namespace {

constexpr char cr = '\r';
constexpr char lf = '\n';

bool startsWith(std::string_view text, std::size_t at, std::string_view part) {
  return !part.empty() && text.substr(at, part.size()) == part;
}

/// Line ends that finish before `end`: a CR LF pair finishes with its LF.
std::int64_t lineEndsBefore(std::string_view text, std::size_t end) {
  std::int64_t ends = 0;
  for (std::size_t i = 0; i < end; ++i)
    ends += text[i] == lf || (text[i] == cr && (i + 1 == text.size() || text[i + 1] != lf));
  return ends;
}

BreakKind kindAt(std::string_view text, std::size_t at) {
  if (text[at] == cr) return at + 1 < text.size() && text[at + 1] == lf ? BreakKind::pairedCR : BreakKind::loneCR;
  return at > 0 && text[at - 1] == cr ? BreakKind::pairedLF : BreakKind::loneLF;
}

}  // namespace

std::int64_t lineCount(std::string_view text) {
  const bool unendedLastLine = !text.empty() && text.back() != lf && text.back() != cr;
  return lineEndsBefore(text, text.size()) + unendedLastLine;
}

std::int64_t lineAt(std::string_view text, std::uint64_t offset) {
  return 1 + lineEndsBefore(text, static_cast<std::size_t>(std::min<std::uint64_t>(offset, text.size())));
}

RowDialect::RowDialect(const RecordCSV::CSVReader::Configuration& configuration)
    : field_(platform::toUTF8(configuration.delimiters.field.scalars)) {
  for (const std::u32string& row : configuration.delimiters.row.scalars) rows_.push_back(platform::toUTF8(row));
  if (const std::optional<char32_t> quote = configuration.escapingStrategy.scalar())
    platform::appendUTF8(quote_, *quote);
  const auto& rows = configuration.delimiters.row.scalars;
  cutsCR_ = rows.contains(U"\r");
  cutsLF_ = rows.contains(U"\n");
  // A CR that ends a row alone leaves the LF after it to the next row.
  cutsPair_ = rows.contains(U"\r\n") && !cutsCR_;
  if (!cutsCR_) uncut_ += cr;
  if (!cutsLF_) uncut_ += lf;
  for (const std::string* part : {&field_, &quote_})
    if (!part->empty()) stops_[static_cast<unsigned char>(part->front())] = true;
  for (const std::string& row : rows_) stops_[static_cast<unsigned char>(row.front())] = true;
  stops_[static_cast<unsigned char>(cr)] = stops_[static_cast<unsigned char>(lf)] = true;
}

bool RowDialect::leavesUncut(std::string_view text, std::size_t at) const {
  if (text[at] == cr) return !cutsCR_ && !(cutsPair_ && at + 1 < text.size() && text[at + 1] == lf);
  return !cutsLF_ && !(cutsPair_ && at > 0 && text[at - 1] == cr);
}

std::size_t RowDialect::rowDelimiterAt(std::string_view text, std::size_t at) const {
  for (const std::string& row : rows_)
    if (startsWith(text, at, row)) return row.size();
  return 0;
}

std::uint64_t RowDialect::scanRow(std::string_view text, std::uint64_t start, std::vector<LineBreak>* breaks) const {
  // In a row the reader took, every quote opens or closes an escaped field, a doubled one twice.
  bool quoted = false;
  std::size_t field = 0;
  for (std::size_t at = static_cast<std::size_t>(start); at < text.size();) {
    if (!stops_[static_cast<unsigned char>(text[at])]) {
      ++at;
      continue;
    }
    if (startsWith(text, at, quote_)) {
      quoted = !quoted;
      at += quote_.size();
      continue;
    }
    if (!quoted) {
      if (startsWith(text, at, field_)) {
        ++field;
        at += field_.size();
        continue;
      }
      if (const std::size_t delimiter = rowDelimiterAt(text, at)) return at + delimiter;
      if (breaks && (text[at] == cr || text[at] == lf)) breaks->push_back({at, field, kindAt(text, at)});
    }
    ++at;
  }
  return text.size();
}

std::int64_t RowDialect::lineOfRow(std::string_view text, std::uint64_t start) const {
  const std::int64_t line = lineAt(text, start);
  const auto at = static_cast<std::size_t>(start);
  if (at == 0 || at >= text.size() || text[at] != lf || text[at - 1] != cr) return line;
  const bool onlyTheLF = cutsLF_ || at + 1 == text.size() || rowDelimiterAt(text, at + 1) > 0;
  return onlyTheLF ? line : line + 1;
}

bool RowDialect::mayLeaveBreaksIn(std::string_view bytes) const {
  if (uncut_.empty()) return false;
  constexpr std::size_t widestUnitRest = 3;
  // The byte after a line-break character's code unit, past the NULs that widen it.
  const auto after = [&](std::size_t at) {
    std::size_t next = at + 1;
    while (next < bytes.size() && next - at <= widestUnitRest && bytes[next] == '\0') ++next;
    return next < bytes.size() ? bytes[next] : '\0';
  };
  const auto before = [&](std::size_t at) {
    std::size_t previous = at;
    while (previous > 0 && at - previous < widestUnitRest && bytes[previous - 1] == '\0') --previous;
    return previous > 0 ? bytes[previous - 1] : '\0';
  };
  // One character at a time, as memchr finds it: a datasource may be a GiB.
  for (const char character : uncut_)
    for (std::size_t at = bytes.find(character); at != std::string_view::npos; at = bytes.find(character, at + 1)) {
      // Seen as one unit: a CR LF pair is cut whole where the delimiters cut it.
      const char unit[] = {character == lf ? before(at) : '\0', character, character == cr ? after(at) : '\0'};
      if (leavesUncut(std::string_view(unit, 3), 1)) return true;
    }
  return false;
}

}  // namespace Pelmora_Zava::cli
