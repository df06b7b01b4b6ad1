#include "CureTexts.hpp"

#include <algorithm>
#include <cctype>

#include "CommandOptions.hpp"

namespace Pelmora_Zava::cli::cures {
namespace {

std::string n(std::int64_t number) { return std::to_string(number); }

const std::string& optionName(Ravelin::RowDelimiter option) {
  const auto& choices = rowDelimiterChoices();
  return std::find_if(choices.begin(), choices.end(), [&](const auto& choice) { return choice.second == option; })
      ->first;
}

bool isLineFeed(BreakKind kind) { return kind == BreakKind::loneLF || kind == BreakKind::pairedLF; }

}  // namespace

std::string rowDelimiter(Ravelin::RowDelimiter option, BreakKind kind) {
  std::string_view lineEnds = "its lines end in CR LF";
  if (option == Ravelin::RowDelimiter::standardPlus)
    lineEnds = "its lines may end in CR alone";
  else if (option == Ravelin::RowDelimiter::standard && kind == BreakKind::loneLF)
    lineEnds = "its lines end in LF";
  return std::string(lineEnds) + "; try --row-delimiter " + optionName(option);
}

std::string breakInName(bool inHeader, BreakKind kind, std::int64_t line) {
  const std::string_view holding =
      inHeader ? "the datasource's header would hold" : "the datasource would make a folder name holding";
  return std::string(holding) + " the " + (isLineFeed(kind) ? "LF" : "CR") + " that ends line " + n(line);
}

std::string headerOn(std::int64_t line, std::int64_t row, const std::optional<std::string>& fault) {
  const std::string header = "the header is on line " + n(line);
  if (fault) return header + ", but --starting-row " + n(row) + " would fail: " + *fault;
  return header + "; try --starting-row " + n(row);
}

std::string emptyHeaderFields(std::int64_t line, std::size_t empty) {
  const std::string fields = empty == 1 ? "1 empty field: name that column or delete it"
                                        : std::to_string(empty) + " empty fields: name those columns or delete them";
  return "line " + n(line) + "'s header has " + fields;
}

std::string titleAbove(std::int64_t line, std::int64_t row, const std::optional<std::string>& fault) {
  const std::string title = "if line " + n(line) + " is a title above the header, ";
  if (fault) return title + "--starting-row " + n(row) + " would fail: " + *fault;
  return title + "try --starting-row " + n(row);
}

std::string nameNotHeader(std::int64_t line) {
  return "if line " + n(line) + " is a name, not a header, try --header none";
}

std::string fieldCount(const std::string& row, std::int64_t fields, std::int64_t expected) {
  return row + " has " + n(fields) + (fields == 1 ? " field" : " fields") + " instead of " + n(expected);
}

std::string failureAt(std::int64_t line, const std::string& reason) {
  // The reader's sentence goes on inside the command's.
  std::string_view sentence = reason;
  if (sentence.ends_with('.')) sentence.remove_suffix(1);
  return "line " + n(line) + ": " + std::string(sentence);
}

std::string fewerFields(std::int64_t line, std::int64_t fields, std::int64_t expected) {
  return "line " + n(line) + " has " + n(fields) + " of the header's " + n(expected) +
         " fields; every row must have as many fields as the header";
}

std::string moreFields(std::int64_t line, std::int64_t fields, std::int64_t expected) {
  return "line " + n(line) + " has " + n(fields) + " fields, the header " + n(expected) +
         "; a field that holds the delimiter must be in quotes";
}

std::string checkDelimiters(const std::string& row, std::int64_t fields, std::int64_t expected) {
  return fieldCount(row, fields, expected) + "; check --delimiter and --qualifier";
}

std::string wideWithoutMark(int width, bool littleEndian) {
  const std::string bits = width == 2 ? "16" : "32";
  const std::string order = littleEndian ? "little" : "big";
  return "the datasource looks like UTF-" + bits + " " + order +
         "-endian without a byte-order mark; try --encoding utf-" + bits + order.substr(0, 1) + "e";
}

std::string onlyTheMarksEncoding(const std::string& family) {
  return "the datasource starts with a " + family + " byte-order mark, so no --encoding reads it: save it again as " +
         family;
}

std::string leaveOutEncoding(const std::string& family) {
  std::string option = family;
  for (char& c : option) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return "The datasource starts with a " + family + " byte-order mark; leave out --encoding, or give --encoding " +
         option;
}

}  // namespace Pelmora_Zava::cli::cures
