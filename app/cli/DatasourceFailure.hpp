#pragma once
// What the command says when the reader fails on the datasource: the reader's own texts at the
// failing row's line, then the command's cures, the likeliest first, each one a line that
// starts with the command's name.

#include <ostream>

#include "CommandOptions.hpp"
#include "DatasourceText.hpp"
#include "RecordCSV/CSVReader.hpp"

namespace Pelmora_Zava::cli {

/// Reports `error`, which the reader threw on the datasource of `text`. Returns false when the
/// datasource holds only blank lines: that is said as no records, and is no failure.
bool reportReaderFailure(std::ostream& out, const RecordCSV::CSVReaderError& error, DatasourceText& text,
                         const Options& options);

}  // namespace Pelmora_Zava::cli
