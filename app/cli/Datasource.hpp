#pragma once
// How the command reads its datasource and hands it to the importer. The datasource is
// opened and read once, whatever it is (a pipe or a FIFO cannot be read twice), within a
// bound; a file then goes to the importer as a file import of those bytes, standard input
// as text (rich text reduced to plain text first), and, unless --encoding names one, in the
// encoding that the byte-order mark names.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "CommandOptions.hpp"
#include "Pelmora_Zava/AsyncImporter.hpp"
#include "RecordCSV/CSVReader.hpp"
#include "platform/core/Data.hpp"
#include "platform/text/TextEncoding.hpp"

namespace Pelmora_Zava::cli {

/// The most bytes a datasource may hold: 1 GiB, many times the largest class roster, and
/// small enough that reading it leaves memory to name its records.
constexpr std::size_t datasourceBound = std::size_t{1} << 30;

struct Datasource {
  /// The datasource's bytes as they were read: the importer's `data()` itself, unless rich
  /// text is reduced to its plain text there.
  std::shared_ptr<const platform::Data> bytes;
  /// The encoding of the byte-order mark that the datasource starts with.
  std::optional<platform::TextEncoding> markedEncoding;
};

/// Reads the datasource named by the options, if there is one: standard input whatever it is,
/// or the file, which must not be a device (the null device reads as empty); what is read is
/// the file that was looked at. Throws the file's error when it cannot be opened or read (for
/// a missing file with the path as given), an error naming the bound when there are more than `datasourceBound` bytes, and
/// the reader's mark conflict when `encoding` (from --encoding) is one the reader converts
/// without looking for a mark, such as windows-1252, and the bytes start with a mark.
Datasource readDatasource(const Options& options, const platform::TextEncoding* encoding);

/// The command's own line after a reader error that the datasource's `bytes` (as the reader
/// was given them) are not in the encoding they were read in: that they look like a
/// spreadsheet's, or which option to try (`knownCure` when the bytes tell, else another
/// encoding), after the line and value of the first byte that is not UTF-8 (or ASCII) when
/// that was the encoding. Nothing for any other error.
std::optional<std::string> encodingCure(const RecordCSV::CSVReaderError& error, const platform::Data& bytes,
                                        const std::optional<std::string>& knownCure = std::nullopt);

/// The byte-order mark that `bytes` start with, as a reader given no encoding finds it.
RecordCSV::CSVReader::Inference byteOrderMarkOf(const platform::Data& bytes);

/// Whether `bytes` start as a spreadsheet file does (ZIP or OLE2), which is no text at all.
bool looksLikeSpreadsheet(std::string_view bytes);

/// Imports the datasource, if there is one; inside `AsyncImporter::batch`, the decode waits
/// for the settings that follow.
void importDatasource(AsyncImporter& importer, const Options& options, const Datasource& datasource);

}  // namespace Pelmora_Zava::cli
