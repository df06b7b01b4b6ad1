#pragma once
// What the command was asked to do, as the options gave it, and the definition of those
// options with the help that explains them.

#include <CLI/CLI.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "OptionChecks.hpp"
#include "Ravelin/Options.hpp"

namespace Pelmora_Zava::cli {

struct Options {
  std::optional<std::string> datasource;
  std::optional<std::string> typeIdentifier;
  std::optional<std::string> exportRoot;
  bool dryRun = false;
  bool verbose = false;

  // Import settings.
  std::optional<Ravelin::Header> header;
  std::optional<std::int64_t> startingRow;
  std::optional<Ravelin::Delimiter> delimiter;
  std::optional<Ravelin::RowDelimiter> rowDelimiter;
  std::optional<std::string> encoding;
  bool noTrimWhitespace = false;
  std::optional<Ravelin::TextQualifier> qualifier;

  // Export settings.
  std::optional<Ravelin::TextReplacement> whitespace;
  std::optional<Ravelin::TextReplacement> illegal;
  std::optional<Ravelin::TextTransformation> letterCase;
  std::optional<float> padDigits;
  std::optional<std::int64_t> trimStart;
  std::optional<std::int64_t> trimEnd;
  std::optional<std::string> nameColumn;

  // Tokens and hand-made names.
  std::string folder = "{Filename}";
  std::vector<std::string> subfolders;
  std::vector<std::string> tokens;
  std::vector<std::string> added;
  std::vector<std::pair<std::string, std::int64_t>> series;
  bool numberFirst = false;

  bool readsStandardInput() const { return datasource && *datasource == "-"; }
  bool hasImportOptions() const {
    return header || startingRow || delimiter || rowDelimiter || encoding || noTrimWhitespace || qualifier;
  }
};

/// The type identifiers that --type takes: those that set the import settings for a type.
const std::vector<std::string>& typeIdentifiers();

/// The names --delimiter takes for each field delimiter.
const Choices<Ravelin::Delimiter>& delimiterChoices();

/// The names --row-delimiter takes for each set of row delimiters.
const Choices<Ravelin::RowDelimiter>& rowDelimiterChoices();

/// The usage error for a --starting-row that would be ignored: with --header none, or with a
/// datasource whose type (from its extension, or --type for standard input) is read without a
/// header row while --header row is not given. Nothing when it counts.
std::optional<std::string> startingRowConflict(const Options& options);

/// Defines every option of the command on `app`, storing into `options`, with a help that
/// gives each option's default and lists the tokens.
void defineOptions(CLI::App& app, Options& options);

}  // namespace Pelmora_Zava::cli
