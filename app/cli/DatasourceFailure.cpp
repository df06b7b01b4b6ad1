#include "DatasourceFailure.hpp"

#include <cstdint>
#include <optional>
#include <string_view>

#include "Datasource.hpp"
#include "ErrorReport.hpp"
#include "Notices.hpp"
#include "RowDelimiterCure.hpp"
#include "RowLocation.hpp"

namespace Pelmora_Zava::cli {

bool reportReaderFailure(std::ostream& out, const RecordCSV::CSVReaderError& error, DatasourceText& text,
                         const Options& options) {
  if (reportBlankDatasource(out, error, text)) return false;
  std::optional<std::int64_t> line;
  std::optional<std::string_view> rowCure;
  if (const auto decoded = text.text()) {
    line = lineOfFailingRow(error, *decoded);
    rowCure = rowDelimiterCure(error, *decoded, text.configuration());
  }
  // Line ends the row delimiter misreads make any other fault of the row a consequence.
  if (rowCure) {
    writeErrorTexts(out, error, line);
    out << "pelmora-zava: " << *rowCure << '\n';
  } else {
    reportError(out, error, options.datasource, line);
  }
  if (text.bytes())
    if (const auto cure = encodingCure(error, *text.bytes())) out << "pelmora-zava: " << *cure << '\n';
  adviseHeaderRow(out, error, text);
  return true;
}

}  // namespace Pelmora_Zava::cli
