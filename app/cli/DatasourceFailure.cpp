#include "DatasourceFailure.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "Datasource.hpp"
#include "ErrorReport.hpp"
#include "HeaderRows.hpp"
#include "Notices.hpp"
#include "RowDelimiterCure.hpp"
#include "UnmarkedEncoding.hpp"

namespace Pelmora_Zava::cli {
namespace {

/// The line, counted from 1, on which the row that `error` concerns begins. The header's own
/// faults name no line: the header row is the one --starting-row gives.
std::optional<std::int64_t> lineOfFailingRow(const RecordCSV::CSVReaderError& error, const TextDiagnosis& diagnosis) {
  const RecordCSV::CSVReader::Fault& fault = error.fault();
  if (!fault.rowStart || fault.reason == RecordCSV::CSVReader::Reason::duplicateHeaders) return std::nullopt;
  return diagnosis.dialect().lineOfRow(diagnosis.text(), *fault.rowStart);
}

}  // namespace

bool reportReaderFailure(std::ostream& out, const RecordCSV::CSVReaderError& error, DatasourceText& text,
                         const Options& options) {
  // Bytes read in the wrong width or byte order fail anywhere: no line or other cure holds then.
  if (const auto misread = misreadWideText(text)) {
    writeErrorTexts(out, error, std::nullopt);
    out << "pelmora-zava: " << *misread << '\n';
    return true;
  }
  if (reportBlankDatasource(out, error, text)) return false;
  std::optional<std::int64_t> line;
  std::optional<std::string> rowCure;
  HeaderReading header;
  std::optional<std::string> widthText;
  if (const TextDiagnosis* diagnosis = error.fault().concernsRow() ? text.diagnosis() : nullptr) {
    line = lineOfFailingRow(error, *diagnosis);
    rowCure = rowDelimiterCure(error, *diagnosis, text.names());
    // Line ends the row delimiter misreads make any other fault of the row a consequence, and
    // any other cure would be judged on the wrong rows.
    if (!rowCure) {
      header = headerReading(error, *diagnosis, text.names());
      if (line) widthText = widthCure(error, *diagnosis, *line);
    }
  }
  writeErrorTexts(out, error, line);
  if (rowCure) {
    out << "pelmora-zava: " << *rowCure << '\n';
  } else {
    if (header.text) out << "pelmora-zava: " << *header.text << '\n';
    if (widthText)
      out << "pelmora-zava: " << *widthText << '\n';
    else if (const auto cure = cureFor(error, options.datasource, line); cure && !header.replacesCure)
      out << "pelmora-zava: " << *cure << '\n';
  }
  if (text.bytes())
    if (const auto cure = encodingCure(error, *text.bytes(), decodingCure(error, text)))
      out << "pelmora-zava: " << *cure << '\n';
  return true;
}

}  // namespace Pelmora_Zava::cli
