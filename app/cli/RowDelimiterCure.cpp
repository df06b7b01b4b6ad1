#include "RowDelimiterCure.hpp"

#include "CureTexts.hpp"
#include "HeaderRows.hpp"
#include "Ravelin/Options.hpp"

namespace Pelmora_Zava::cli {
namespace {

using RecordCSV::CSVReader;
using Reason = CSVReader::Reason;

/// The row delimiters that read line ends whole, in the order they are tried.
constexpr Ravelin::RowDelimiter candidates[] = {Ravelin::RowDelimiter::standard, Ravelin::RowDelimiter::standardPlus,
                                                Ravelin::RowDelimiter::mixed};

/// Calls `judge` with each candidate other than the row delimiter in force and the trial of its
/// configuration, until it returns a cure.
template <class Judge>
std::optional<std::string> firstCure(const TextDiagnosis& diagnosis, const NameFields& names, Judge judge) {
  for (const Ravelin::RowDelimiter option : candidates) {
    CSVReader::Configuration configuration = diagnosis.configuration();
    configuration.delimiters.row = Ravelin::rowDelimiters(option);
    if (configuration.delimiters.row == diagnosis.configuration().delimiters.row) continue;
    const Trial trial = tryReading(diagnosis.text(), configuration, names);
    if (auto cure = judge(option, configuration, trial)) return cure;
  }
  return std::nullopt;
}

/// The first line break of the row at `row`, if it holds one.
std::optional<LineBreak> firstBreakOfRow(const TextDiagnosis& diagnosis, std::size_t row) {
  for (const TextDiagnosis::RowBreak& found : diagnosis.breaks())
    if (found.row == row) return found.lineBreak;
  return std::nullopt;
}

}  // namespace

std::optional<std::string> lineBreakCure(const TextDiagnosis& diagnosis, const NameFields& names, BreakKind kind,
                                         bool preferRecords) {
  std::optional<std::string> withoutRecords;
  std::optional<std::string> cure = firstCure(
      diagnosis, names,
      [&](Ravelin::RowDelimiter option, const CSVReader::Configuration&,
          const Trial& trial) -> std::optional<std::string> {
        if (!trial.reads()) return std::nullopt;
        if (!preferRecords || trial.records > 0) return cures::rowDelimiter(option, kind);
        if (!withoutRecords) withoutRecords = cures::rowDelimiter(option, kind);
        return std::nullopt;
      });
  return cure ? cure : withoutRecords;
}

std::optional<std::string> rowDelimiterCure(const RecordCSV::CSVReaderError& error, const TextDiagnosis& diagnosis,
                                            const NameFields& names) {
  const CSVReader::Fault& fault = error.fault();
  if (!fault.concernsRow() || !fault.rowStart) return std::nullopt;
  const std::optional<std::size_t> failing = diagnosis.rowStartingAt(*fault.rowStart);
  if (!failing) return std::nullopt;
  const std::optional<LineBreak> misread = firstBreakOfRow(diagnosis, *failing);
  if (!misread) return std::nullopt;
  const std::int64_t failingLine = diagnosis.lineOfRow(*failing);
  return firstCure(
      diagnosis, names,
      [&](Ravelin::RowDelimiter option, const CSVReader::Configuration& configuration,
          const Trial& trial) -> std::optional<std::string> {
        const std::string cure = cures::rowDelimiter(option, misread->kind);
        if (trial.reads()) return cure;
        if (trial.breakInNames || !trial.fault) return std::nullopt;
        const CSVReader::Fault& met = trial.fault->fault();
        // The rows now read, and the header's own fault is what is left: both, as one.
        if (met.reason == Reason::duplicateHeaders) {
          const TextDiagnosis cured(diagnosis.text(), configuration);
          const HeaderReading header = headerReading(*trial.fault, cured, names);
          if (!header.replacesCure || !header.text) return std::nullopt;
          return cure + "; then " + *header.text;
        }
        // A fault further down is one of its own, which the cure lets the reader reach.
        if (!met.concernsRow() || !met.rowStart) return std::nullopt;
        if (RowDialect(configuration).lineOfRow(diagnosis.text(), *met.rowStart) <= failingLine) return std::nullopt;
        return cure;
      });
}

}  // namespace Pelmora_Zava::cli
