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
#include "RowLocation.hpp"
#include "UnmarkedEncoding.hpp"

namespace Pelmora_Zava::cli {

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
  std::optional<std::string_view> rowCure;
  std::optional<FilledRow> header;
  std::optional<std::string> widthText;
  if (const auto decoded = text.text()) {
    line = lineOfFailingRow(error, *decoded);
    rowCure = rowDelimiterCure(error, *decoded, text.configuration());
    // Line ends the row delimiter misreads make any other fault of the row a consequence, and
    // any other cure would be judged on the wrong rows.
    if (!rowCure) {
      header = headerBelow(error, *decoded, text.configuration());
      if (line) widthText = widthCure(error, *decoded, text.configuration(), *line);
    }
  }
  writeErrorTexts(out, error, line);
  if (rowCure) {
    out << "pelmora-zava: " << *rowCure << '\n';
  } else {
    if (header)
      out << "pelmora-zava: the header is on line " << header->line << "; try --starting-row " << header->row << '\n';
    // Rows above the header repeat only empty fields: --header none would make the real header a folder.
    const bool aboveHeader = header && error.fault().reason == RecordCSV::CSVReader::Reason::duplicateHeaders;
    if (widthText)
      out << "pelmora-zava: " << *widthText << '\n';
    else if (const auto cure = cureFor(error, options.datasource, line); cure && !aboveHeader)
      out << "pelmora-zava: " << *cure << '\n';
  }
  if (text.bytes())
    if (const auto cure = encodingCure(error, *text.bytes(), decodingCure(error, text)))
      out << "pelmora-zava: " << *cure << '\n';
  return true;
}

}  // namespace Pelmora_Zava::cli
