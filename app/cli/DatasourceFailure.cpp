#include "DatasourceFailure.hpp"

#include <cstdint>
#include <optional>

#include "Datasource.hpp"
#include "ErrorReport.hpp"
#include "Notices.hpp"
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
  if (const auto decoded = text.text()) line = lineOfFailingRow(error, *decoded);
  reportError(out, error, options.datasource, line);
  if (text.bytes())
    if (const auto cure = encodingCure(error, *text.bytes(), decodingCure(error, text)))
      out << "pelmora-zava: " << *cure << '\n';
  adviseHeaderRow(out, error, text);
  return true;
}

}  // namespace Pelmora_Zava::cli
