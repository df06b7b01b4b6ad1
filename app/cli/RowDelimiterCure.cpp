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

/// How well a candidate cures, best first.
enum class Cure { readsRecords, readsAll, leavesHeaderFields, reachesAnotherFault };

struct Judged {
  Cure how;
  std::string text;
};

/// The best of the cures that `judge` finds among the candidates other than the row delimiter in
/// force, each given the trial of its configuration and how well the best so far cures; the first
/// of equals.
template <class Judge>
std::optional<std::string> bestCure(const TextDiagnosis& diagnosis, const NameFields& names, Judge judge) {
  std::optional<Judged> best;
  for (const Ravelin::RowDelimiter option : candidates) {
    CSVReader::Configuration configuration = diagnosis.configuration();
    configuration.delimiters.row = Ravelin::rowDelimiters(option);
    if (configuration.delimiters.row == diagnosis.configuration().delimiters.row) continue;
    const Trial trial = tryReading(diagnosis.text(), configuration, names);
    std::optional<Judged> judged = judge(option, configuration, trial, best ? std::optional(best->how) : std::nullopt);
    if (judged && (!best || judged->how < best->how)) best = std::move(judged);
    if (best && best->how == Cure::readsRecords) break;
  }
  if (!best) return std::nullopt;
  return std::move(best->text);
}

std::optional<Judged> whetherItReads(const Trial& trial, std::string text) {
  if (!trial.reads()) return std::nullopt;
  return Judged{trial.records > 0 ? Cure::readsRecords : Cure::readsAll, std::move(text)};
}

/// The first line break of the row at `row`, if it holds one.
std::optional<LineBreak> firstBreakOfRow(const TextDiagnosis& diagnosis, std::size_t row) {
  for (const TextDiagnosis::RowBreak& found : diagnosis.breaks())
    if (found.row == row) return found.lineBreak;
  return std::nullopt;
}

}  // namespace

std::optional<std::string> lineBreakCure(const TextDiagnosis& diagnosis, const NameFields& names, BreakKind kind) {
  return bestCure(diagnosis, names,
                  [&](Ravelin::RowDelimiter option, const CSVReader::Configuration&, const Trial& trial,
                      std::optional<Cure>) {
                    return whetherItReads(trial, cures::rowDelimiter(option, kind));
                  });
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
  return bestCure(
      diagnosis, names,
      [&](Ravelin::RowDelimiter option, const CSVReader::Configuration& configuration, const Trial& trial,
          std::optional<Cure> toBeat) -> std::optional<Judged> {
        std::string cure = cures::rowDelimiter(option, misread->kind);
        if (trial.reads()) return whetherItReads(trial, std::move(cure));
        if (trial.breakInNames || !trial.fault) return std::nullopt;
        const CSVReader::Fault& met = trial.fault->fault();
        // The rows now read, and the header's own fault is what is left: both, as one.
        if (met.reason == Reason::duplicateHeaders) {
          if (toBeat && *toBeat <= Cure::leavesHeaderFields) return std::nullopt;
          const TextDiagnosis cured(diagnosis.text(), configuration);
          const HeaderReading header = headerReading(*trial.fault, cured, names);
          if (!header.replacesCure || !header.text) return std::nullopt;
          return Judged{Cure::leavesHeaderFields, cure + "; then " + *header.text};
        }
        // A fault further down, in a row whose line ends the cure reads, is one of its own, which
        // the cure lets the reader reach.
        if (!met.concernsRow() || !met.rowStart) return std::nullopt;
        const RowDialect cured(configuration);
        if (cured.lineOfRow(diagnosis.text(), *met.rowStart) <= failingLine) return std::nullopt;
        if (firstBreakIn(diagnosis.text(), *met.rowStart, cured, std::nullopt)) return std::nullopt;
        return Judged{Cure::reachesAnotherFault, std::move(cure)};
      });
}

std::optional<std::string> foldedLinesCure(DatasourceText& text) {
  if (!text.bytes() || !RowDialect(text.configuration()).mayLeaveBreaksIn(text.bytes()->view())) return std::nullopt;
  const TextDiagnosis* diagnosis = text.diagnosis();
  if (!diagnosis || diagnosis->breaks().empty()) return std::nullopt;
  const auto cure = lineBreakCure(*diagnosis, text.names(), diagnosis->breaks().front().lineBreak.kind);
  return cure ? "; " + *cure : std::string();
}

}  // namespace Pelmora_Zava::cli
