// The diagnosis looks at rows through the reader's own cuts and through a scan of the raw text of
// each row; the two must agree on where every row ends, or a line break would be put in the wrong
// row. Random texts of delimiters, quotes and line breaks under every row delimiter the command takes.

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "Ravelin/Options.hpp"
#include "TextDiagnosis.hpp"
#include "TextLines.hpp"

namespace Pelmora_Zava::cli {
namespace {

/// Lines as a reference counts them: split at CR LF, then at what is left of CR and LF.
std::int64_t referenceLineAt(const std::string& text, std::size_t offset) {
  std::int64_t line = 1;
  for (std::size_t i = 0; i < offset && i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;  // counted at its LF
    line += text[i] == '\r' || text[i] == '\n';
  }
  return line;
}

TEST(TextDiagnosis, EveryRowEndsWhereTheReaderCutsTheNext) {
  std::mt19937 random(20261208);
  const std::string alphabet[] = {"a", "b", ",", "\"", "\r", "\n", " ", "\r\n", "\"\""};
  const Ravelin::RowDelimiter options[] = {Ravelin::RowDelimiter::standard, Ravelin::RowDelimiter::standardPlus,
                                           Ravelin::RowDelimiter::newLine, Ravelin::RowDelimiter::carriageReturn,
                                           Ravelin::RowDelimiter::mixed};
  for (int round = 0; round < 20'000; ++round) {
    std::string text;
    const int length = static_cast<int>(random() % 24);
    for (int i = 0; i < length; ++i) text += alphabet[random() % std::size(alphabet)];
    RecordCSV::CSVReader::Configuration configuration;
    configuration.delimiters.row = Ravelin::rowDelimiters(options[round % std::size(options)]);
    if (round % 3 == 0) configuration.trimStrategy = platform::CharacterSet::whitespaces();
    const TextDiagnosis diagnosis(text, configuration);
    const auto& rows = diagnosis.rows();
    const std::size_t parsed = diagnosis.unparsedRow().value_or(rows.size());
    for (std::size_t row = 0; row < parsed; ++row) {
      const std::uint64_t end = diagnosis.dialect().scanRow(text, rows[row].start, nullptr);
      if (row + 1 < rows.size()) {
        ASSERT_EQ(end, rows[row + 1].start) << testing::PrintToString(text) << " row " << row;
      } else {
        // After the last row, at most what trimming leaves of a row that is none.
        const auto rest = std::string_view(text).substr(static_cast<std::size_t>(end));
        ASSERT_TRUE(rest.empty() || (!configuration.trimStrategy.empty() && rest.find_first_not_of(' ') == rest.npos))
            << testing::PrintToString(text) << " row " << row;
      }
    }
    for (const auto& found : diagnosis.breaks()) {
      const char character = text[static_cast<std::size_t>(found.lineBreak.offset)];
      ASSERT_TRUE(character == '\r' || character == '\n') << testing::PrintToString(text);
    }
    const std::size_t offset = text.empty() ? 0 : random() % (text.size() + 1);
    ASSERT_EQ(lineAt(text, offset), referenceLineAt(text, offset)) << testing::PrintToString(text) << " at " << offset;
  }
}

}  // namespace
}  // namespace Pelmora_Zava::cli
