#pragma once
// Every cure the command names for a datasource it read wrong, in one table: the options that
// read its line ends, its header, its rows and its encoding. Each text is what follows the
// command's name on a line of its own, or a part of one.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "Ravelin/Options.hpp"
#include "TextLines.hpp"

namespace Pelmora_Zava::cli::cures {

// Line ends.
/// The line ends `option` reads, told by the kind of line break the rows did not cut at.
std::string rowDelimiter(Ravelin::RowDelimiter option, BreakKind kind);
/// A folder name or the header holding a line break that ends a line.
std::string breakInName(bool inHeader, BreakKind kind, std::int64_t line);

// The header row.
/// The header's line and the --starting-row that reads it, or, with `fault`, what that row would fail on.
std::string headerOn(std::int64_t line, std::int64_t row, const std::optional<std::string>& fault = std::nullopt);
std::string emptyHeaderFields(std::int64_t line, std::size_t empty);
/// As `headerOn`, for a header line that may be a title.
std::string titleAbove(std::int64_t line, std::int64_t row, const std::optional<std::string>& fault = std::nullopt);
std::string nameNotHeader(std::int64_t line);
/// A row that fails to read: its width (`row` is "line N", "Line N" or "A row"), or the reader's reason.
std::string fieldCount(const std::string& row, std::int64_t fields, std::int64_t expected);
std::string failureAt(std::int64_t line, const std::string& reason);
constexpr std::string_view differentHeaders =
    "Give the columns different headers, or read the datasource without a header row: --header none";

// Rows of another width than the header, and quotes.
std::string fewerFields(std::int64_t line, std::int64_t fields, std::int64_t expected);
std::string moreFields(std::int64_t line, std::int64_t fields, std::int64_t expected);
/// `row` is "Line N", or "A row" where the line is unknown.
std::string checkDelimiters(const std::string& row, std::int64_t fields, std::int64_t expected);
constexpr std::string_view noQuoting = "if the file uses no quoting, try --qualifier none";

// Encodings.
std::string wideWithoutMark(int width, bool littleEndian);
/// `family` as "UTF-8", "UTF-16" or "UTF-32".
std::string onlyTheMarksEncoding(const std::string& family);
std::string leaveOutEncoding(const std::string& family);
constexpr std::string_view tryUTF8 = "try --encoding utf-8";
constexpr std::string_view anotherEncoding = "give --encoding NAME (for example --encoding windows-1252)";
constexpr std::string_view spreadsheet = "this looks like a spreadsheet file, not text: export it as CSV or TSV first";

}  // namespace Pelmora_Zava::cli::cures
