#pragma once
// How the command hands its datasource to the importer: a file by its location, standard
// input by its text (rich text reduced to plain text first), and, unless --encoding names
// one, in the encoding that the byte-order mark names.

#include <optional>
#include <string>

#include "CommandOptions.hpp"
#include "Pelmora_Zava/AsyncImporter.hpp"
#include "platform/text/TextEncoding.hpp"

namespace Pelmora_Zava::cli {

struct Datasource {
  /// The bytes of standard input, when the datasource is -; plain text when --type says rich text.
  std::optional<std::string> standardInput;
  /// The encoding of the byte-order mark that the datasource starts with.
  std::optional<platform::TextEncoding> markedEncoding;
};

/// Reads standard input or the first bytes of the file. Throws the error of rich text that
/// cannot be converted; a file that cannot be read is left to the import to report.
Datasource readDatasource(const Options& options);

/// Imports the datasource, if there is one. A reader error waits when import options follow,
/// which may decode it.
void importDatasource(AsyncImporter& importer, const Options& options, const Datasource& datasource);

}  // namespace Pelmora_Zava::cli
