#include "Datasource.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <string_view>
#include <system_error>

#include "RecordCSV/ByteOrderMark.hpp"
#include "RecordCSV/CSVReader.hpp"
#include "CureTexts.hpp"
#include "TextLines.hpp"
#include "platform/core/Unicode.hpp"
#include "platform/io/CheckedFile.hpp"
#include "platform/io/FileData.hpp"
#include "platform/io/FileType.hpp"
#include "platform/io/FileURL.hpp"

namespace Pelmora_Zava::cli {
namespace {

const std::string richText = "public.rtf";

std::string quoted(const std::string& text) { return "\u201C" + text + "\u201D"; }

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
    throw platform::unreadableFileError(file, error.code().value());
  }
  if (!opened.descriptor) return std::make_shared<const platform::Data>();
  return readAll(opened.descriptor.get(), file);
}

/// The encoding whose first wrong byte the command points at, for the reader's decoding failures.
std::optional<std::string_view> pointedEncoding(RecordCSV::CSVReader::Reason reason) {
  using Reason = RecordCSV::CSVReader::Reason;
  if (reason == Reason::invalidUTF8) return "UTF-8";
  if (reason == Reason::notASCII) return "ASCII";
  return std::nullopt;
}

// ZIP (.xlsx, .ods) and OLE2 (.xls) files.
constexpr std::array<std::string_view, 2> spreadsheetSignatures{"PK\x03\x04",
                                                                 "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"};

bool isRichText(const Options& options) {
  if (options.readsStandardInput()) return options.typeIdentifier == richText;
  return platform::typeIdentifierForExtension(*options.datasource) == richText;
}

}  // namespace

RecordCSV::CSVReader::Inference byteOrderMarkOf(const platform::Data& bytes) {
  const std::size_t length = std::min(bytes.size(), RecordCSV::ByteOrderMark::maximumLength);
  return RecordCSV::CSVReader::inferEncoding(bytes.span().first(length), std::nullopt);
}

bool looksLikeSpreadsheet(std::string_view bytes) {
  return std::any_of(spreadsheetSignatures.begin(), spreadsheetSignatures.end(),
                     [&](std::string_view signature) { return bytes.starts_with(signature); });
}

Datasource readDatasource(const Options& options, const platform::TextEncoding* encoding) {
  Datasource datasource;
  if (!options.datasource) return datasource;
  datasource.bytes = options.readsStandardInput() ? readAll(STDIN_FILENO, std::nullopt)
                                                  : readFileOnce(std::filesystem::path(*options.datasource));
  // Rich text is reduced to plain text, whose bytes are UTF-8 and carry no mark.
  if (isRichText(options)) return datasource;
  const std::optional<platform::TextEncoding> mark = byteOrderMarkOf(*datasource.bytes).encoding;
  if (!encoding) {
    datasource.markedEncoding = mark;
  } else if (mark && encoding->kind() == platform::TextEncoding::Kind::other) {
    // The reader converts such an encoding without looking for a mark, and would read it as
    // text; the conflict is the one the reader reports for the encodings it decodes itself.
    RecordCSV::CSVReader::resolveEncoding(*encoding, mark);
  }
  return datasource;
}

std::optional<std::string> encodingCure(const RecordCSV::CSVReaderError& error, const platform::Data& bytes,
                                        const std::optional<std::string>& knownCure) {
  const RecordCSV::CSVReader::Fault& fault = error.fault();
  if (!fault.isDecoding()) return std::nullopt;
  const std::string_view text = bytes.view();
  if (looksLikeSpreadsheet(text)) return std::string(cures::spreadsheet);
  std::string cure = knownCure.value_or(std::string(cures::anotherEncoding));
  const std::optional<std::string_view> encoding = pointedEncoding(fault.reason);
  if (!encoding || !fault.wrongByte || *fault.wrongByte >= text.size()) return cure;
  const auto wrong = static_cast<std::size_t>(*fault.wrongByte);
  char value[8];
  std::snprintf(value, sizeof value, "0x%02X", static_cast<unsigned>(static_cast<unsigned char>(text[wrong])));
  // A mark before the text holds no line break, and the bytes before the wrong one are the text itself.
  return "line " + std::to_string(lineAt(text, wrong)) + ", byte " + value + " is not " + std::string(*encoding) +
         "; " + cure;
}

void importDatasource(AsyncImporter& importer, const Options& options, const Datasource& datasource) {
  if (!options.datasource) return;
  if (!options.readsStandardInput())
    importer.importFile(std::filesystem::path(*options.datasource), datasource.bytes);
  else if (options.typeIdentifier == richText)
    importer.importText(std::make_shared<const platform::Data>(
                            platform::Data::fromString(AsyncImporter::plainTextFromRTF(*datasource.bytes))),
                        options.typeIdentifier);
  else
    importer.importText(datasource.bytes, options.typeIdentifier);
}

}  // namespace Pelmora_Zava::cli
