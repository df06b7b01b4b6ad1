#include "Datasource.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <string_view>
#include <system_error>

#include "RecordCSV/ByteOrderMark.hpp"
#include "RecordCSV/CSVReader.hpp"
#include "RowLocation.hpp"
#include "platform/core/Unicode.hpp"
#include "platform/io/CheckedFile.hpp"
#include "platform/io/FileData.hpp"
#include "platform/io/FileType.hpp"
#include "platform/io/FileURL.hpp"

namespace Pelmora_Zava::cli {
namespace {

const std::string richText = "public.rtf";

std::string quoted(const std::string& text) { return "\u201C" + text + "\u201D"; }

/// The byte-order mark that `bytes` start with, as a reader given no encoding finds it.
RecordCSV::CSVReader::Inference markOf(const platform::Data& bytes) {
  const std::size_t length = std::min(bytes.size(), RecordCSV::ByteOrderMark::maximumLength);
  return RecordCSV::CSVReader::inferEncoding(bytes.span().first(length), std::nullopt);
}

/// All bytes of `descriptor`, which `file` names (none for standard input), within the bound.
std::shared_ptr<const platform::Data> readAll(int descriptor, const std::optional<std::filesystem::path>& file) {
  std::optional<platform::Data> bytes;
  try {
    bytes = platform::readToEnd(descriptor, datasourceBound);
  } catch (const std::system_error& error) {
    if (file) throw platform::unreadableFileError(*file, error.code().value());
    throw std::runtime_error("standard input could not be read: " + error.code().message());
  }
  if (!bytes)
    throw std::runtime_error(std::string(file ? "the datasource" : "standard input") + " holds more than " +
                             std::to_string(datasourceBound >> 30) +
                             " GiB, the most that is read; split it into smaller files");
  return std::make_shared<const platform::Data>(std::move(*bytes));
}

// A device is decided on before anything opens it: opening one can wait or act, and reading
// one may never end. The null device is the empty file that people pass for one.
platform::OpenDecision decideOnDatasource(const std::filesystem::path& file, const struct stat& status) {
  if (platform::isNullDevice(status)) return platform::OpenDecision::leaveClosed;
  if (S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode))
    throw std::runtime_error(quoted(file.string()) +
                             " is a device, not a file; name a datasource file, or - to read standard input");
  return platform::OpenDecision::open;
}

std::shared_ptr<const platform::Data> readFileOnce(const std::filesystem::path& file) {
  platform::CheckedFile opened;
  try {
    opened = platform::openCheckedForReading(
        file, [&](const struct stat& status) { return decideOnDatasource(file, status); });
  } catch (const std::system_error& error) {
    const int cause = error.code().value();
    const platform::Error unreadable = platform::unreadableFileError(file, cause);
    if (cause != ENOENT && cause != ENOTDIR) throw unreadable;
    // The error names the last component only; a path mistyped higher up needs the whole of it.
    throw std::runtime_error(unreadable.description() + "\npelmora-zava: no file is found at " +
                             quoted(file.string()) + ", the path as given");
  }
  if (!opened.descriptor) return std::make_shared<const platform::Data>();
  return readAll(opened.descriptor.get(), file);
}

// The reader's texts for bytes that are not in the encoding they are read in, and the
// encoding whose first wrong byte the command can point at.
struct EncodingFailure {
  std::string_view reason;
  std::optional<std::string_view> pointedEncoding;
};
constexpr std::array<EncodingFailure, 7> encodingFailures{{
    {"Some input bytes couldn't be decoded as UTF8 characters", "UTF-8"},
    {"The decoded byte is not an ASCII character.", "ASCII"},
    {"Some input bytes couldn't be decoded as multibyte UTF16", std::nullopt},
    {"Some input bytes couldn't be decoded as multibyte UTF32", std::nullopt},
    {"The last input UTF16 character is incomplete (only 1 byte was found when 2 were expected).", std::nullopt},
    {"The last input UTF32 character is incomplete (less than 4 bytes were found).", std::nullopt},
    {"The data blob didn't match the given string encoding.", std::nullopt},
}};

// ZIP (.xlsx, .ods) and OLE2 (.xls) files.
constexpr std::array<std::string_view, 2> spreadsheetSignatures{"PK\x03\x04",
                                                                 "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"};

bool isRichText(const Options& options) {
  if (options.readsStandardInput()) return options.typeIdentifier == richText;
  return platform::typeIdentifierForExtension(*options.datasource) == richText;
}

}  // namespace

Datasource readDatasource(const Options& options, const platform::TextEncoding* encoding) {
  Datasource datasource;
  if (!options.datasource) return datasource;
  datasource.bytes = options.readsStandardInput() ? readAll(STDIN_FILENO, std::nullopt)
                                                  : readFileOnce(std::filesystem::path(*options.datasource));
  // Rich text is reduced to plain text, whose bytes are UTF-8 and carry no mark.
  if (isRichText(options)) return datasource;
  const std::optional<platform::TextEncoding> mark = markOf(*datasource.bytes).encoding;
  if (!encoding) {
    datasource.markedEncoding = mark;
  } else if (mark && encoding->kind() == platform::TextEncoding::Kind::other) {
    // The reader converts such an encoding without looking for a mark, and would read it as
    // text; the conflict is the one the reader reports for the encodings it decodes itself.
    RecordCSV::CSVReader::resolveEncoding(*encoding, mark);
  }
  return datasource;
}

std::optional<std::string> encodingCure(const RecordCSV::CSVReaderError& error, const platform::Data& bytes) {
  const std::string reason = error.failureReason().value_or(std::string());
  const auto failure = std::find_if(encodingFailures.begin(), encodingFailures.end(),
                                    [&](const EncodingFailure& known) { return known.reason == reason; });
  if (failure == encodingFailures.end()) return std::nullopt;
  std::string_view text = bytes.view();
  for (const std::string_view signature : spreadsheetSignatures)
    if (text.starts_with(signature)) return "this looks like a spreadsheet file, not text: export it as CSV or TSV first";
  std::string cure = "give --encoding NAME (for example --encoding windows-1252)";
  if (!failure->pointedEncoding) return cure;
  text.remove_prefix(markOf(bytes).markLength);
  const std::size_t wrong =
      *failure->pointedEncoding == "ASCII"
          ? static_cast<std::size_t>(std::find_if(text.begin(), text.end(), [](char c) { return c & 0x80; }) -
                                     text.begin())
          : platform::wellFormedUTF8End(text, 0, text.size());
  if (wrong >= text.size()) return cure;
  char value[8];
  std::snprintf(value, sizeof value, "0x%02X", static_cast<unsigned>(static_cast<unsigned char>(text[wrong])));
  // The wrong byte is no line break, so the lines up to and with it end on its line.
  return "line " + std::to_string(lineCount(text.substr(0, wrong + 1))) + ", byte " + value + " is not " +
         std::string(*failure->pointedEncoding) + "; " + cure;
}

void importDatasource(AsyncImporter& importer, const Options& options, const Datasource& datasource) {
  if (!options.datasource) return;
  try {
    if (!options.readsStandardInput())
      importer.importFile(std::filesystem::path(*options.datasource), datasource.bytes);
    else if (options.typeIdentifier == richText)
      importer.importText(std::make_shared<const platform::Data>(
                              platform::Data::fromString(AsyncImporter::plainTextFromRTF(*datasource.bytes))),
                          options.typeIdentifier);
    else
      importer.importText(datasource.bytes, options.typeIdentifier);
  } catch (const RecordCSV::CSVReaderError&) {
    if (!options.hasImportOptions()) throw;
  }
}

}  // namespace Pelmora_Zava::cli
