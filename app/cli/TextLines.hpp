#pragma once
// The datasource's text as an editor shows it, in lines, and as the reader's dialect cuts it: where a
// row ends and which line breaks inside it no quotes hold, the breaks a row delimiter did not cut at.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "RecordCSV/CSVReader.hpp"

namespace Pelmora_Zava::cli {

/// How many lines an editor shows for `text`: LF, CR LF and a lone CR each end one, and a
/// last line without an ending counts too.
std::int64_t lineCount(std::string_view text);

/// The line, counted from 1, that holds the byte at `offset` of `text` (or that would hold it, at
/// the end); the LF of a CR LF pair is on the line the pair ends.
std::int64_t lineAt(std::string_view text, std::uint64_t offset);

/// A line break as the text holds it: a CR or an LF alone, or either half of a CR LF pair.
enum class BreakKind { loneCR, pairedCR, pairedLF, loneLF };

/// A line break inside a row, in a field no quotes hold: the row delimiter did not cut there.
struct LineBreak {
  std::uint64_t offset;
  std::size_t field;  // the field of its row that holds it, from 0
  BreakKind kind;
};

/// The reader's dialect in the text's own bytes, for looking at rows the reader cut.
class RowDialect {
 public:
  explicit RowDialect(const RecordCSV::CSVReader::Configuration& configuration);

  /// Where the row that begins at `start` of `text` ends, past its row delimiter (or at the end of
  /// the text); the line breaks inside it that no quotes hold are appended to `breaks`.
  std::uint64_t scanRow(std::string_view text, std::uint64_t start, std::vector<LineBreak>* breaks) const;
  /// The line of the row that begins at `start`: one that begins at the LF of a CR LF pair is on
  /// the pair's line when that LF is all it holds, else on the next.
  std::int64_t lineOfRow(std::string_view text, std::uint64_t start) const;
  /// The line-break characters that a row delimiter may leave inside a row: none when every CR
  /// and LF ends a row.
  std::string_view uncutCharacters() const noexcept { return uncut_; }
  /// Whether `bytes`, in any encoding the reader takes, may hold a CR or LF that no row delimiter
  /// cuts at; looks past the NULs of a wider code unit.
  bool mayLeaveBreaksIn(std::string_view bytes) const;

 private:
  std::size_t rowDelimiterAt(std::string_view text, std::size_t at) const;
  /// Whether the CR or LF at `at` of `text` is one that no row delimiter cuts at.
  bool leavesUncut(std::string_view text, std::size_t at) const;

  std::string field_;
  std::vector<std::string> rows_;  // shortest first, as the reader tries them
  std::string quote_;              // empty without quoting
  bool cutsCR_ = false;
  bool cutsLF_ = false;
  bool cutsPair_ = false;  // a CR LF pair as one row delimiter
  std::string uncut_;
  std::array<bool, 256> stops_{};  // bytes that may begin a delimiter, a quote or a line break
};

}  // namespace Pelmora_Zava::cli
