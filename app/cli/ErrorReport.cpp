#include "ErrorReport.hpp"

#include <filesystem>

#include "CureTexts.hpp"
#include "RecordCSV/CSVReader.hpp"
#include "platform/io/FileSystem.hpp"
#include "platform/text/TextEncoding.hpp"

namespace Pelmora_Zava::cli {
namespace {

using Kind = platform::TextEncoding::Kind;
using Reason = RecordCSV::CSVReader::Reason;

constexpr std::string_view markKey = "Data BOM encoding";
constexpr std::int64_t noSuchFileCode = 260;

std::optional<std::string> encodingFamily(const platform::TextEncoding& encoding) {
  switch (encoding.kind()) {
    case Kind::utf8: return "UTF-8";
    case Kind::utf16:
    case Kind::utf16BigEndian:
    case Kind::utf16LittleEndian: return "UTF-16";
    case Kind::utf32:
    case Kind::utf32BigEndian:
    case Kind::utf32LittleEndian: return "UTF-32";
    default: return std::nullopt;
  }
}

std::optional<std::string> readerCure(const RecordCSV::CSVReaderError& error, std::optional<std::int64_t> failingLine) {
  const platform::UserInfo& info = error.userInfo();
  if (const auto mark = info.get<platform::TextEncoding>(markKey))
    if (const auto family = encodingFamily(*mark)) return cures::leaveOutEncoding(*family);
  const Reason reason = error.fault().reason;
  if (reason == Reason::duplicateHeaders) return std::string(cures::differentHeaders);
  if (reason == Reason::strayQualifier || reason == Reason::unclosedQualifier ||
      reason == Reason::textAfterQualifiedField)
    return std::string(cures::noQuoting);
  if (reason != Reason::fieldCount) return std::nullopt;
  const auto parsed = info.get<std::int64_t>("Number of parsed fields").value_or(0);
  const auto expected = info.get<std::int64_t>("Number of expected fields").value_or(0);
  // The reader's own row index counts neither the lines above the header nor empty ones.
  const std::string row = failingLine ? "Line " + std::to_string(*failingLine) : std::string("A row");
  return cures::checkDelimiters(row, parsed, expected);
}

// What a person would call the thing in a folder's place; a link is named for where it leads.
const char* obstacleKind(std::filesystem::file_type type) {
  switch (type) {
    case std::filesystem::file_type::fifo: return "a FIFO";
    case std::filesystem::file_type::socket: return "a socket";
    case std::filesystem::file_type::character: return "a character device";
    case std::filesystem::file_type::block: return "a block device";
    default: return "a file";
  }
}

}  // namespace

std::optional<std::string> cureFor(const std::exception& error, const std::optional<std::string>& datasource,
                                   std::optional<std::int64_t> failingLine) {
  if (const auto* readerError = dynamic_cast<const RecordCSV::CSVReaderError*>(&error))
    return readerCure(*readerError, failingLine);
  if (const auto* folderError = dynamic_cast<const platform::FileSystemError*>(&error)) {
    // An export folder, not the datasource: the error names the folder, this line what is in its way.
    if (!folderError->obstacle()) return std::nullopt;
    return "\xE2\x80\x9C" + folderError->obstacle()->string() + "\xE2\x80\x9D is " +
           obstacleKind(folderError->obstacleType()) + ", not a folder";
  }
  // The file's error names its last component only; a path mistyped higher up needs the whole of it.
  if (const auto* platformError = dynamic_cast<const platform::Error*>(&error);
      platformError && datasource && platformError->domain() == "NSCocoaErrorDomain" &&
      platformError->code() == noSuchFileCode && platformError->userInfo().get<std::string>("NSFilePath") == *datasource)
    return "no file is found at \xE2\x80\x9C" + *datasource + "\xE2\x80\x9D, the path as given";
  std::error_code ignored;
  if (datasource && *datasource != "-" && std::filesystem::is_directory(*datasource, ignored))
    return "\xE2\x80\x9C" + *datasource + "\xE2\x80\x9D is a folder; name a datasource file";
  return std::nullopt;
}

void writeErrorTexts(std::ostream& out, const std::exception& error, std::optional<std::int64_t> failingLine) {
  out << "pelmora-zava: ";
  if (const auto* readerError = dynamic_cast<const RecordCSV::CSVReaderError*>(&error)) {
    if (failingLine) out << "Line " << *failingLine << ": ";
    out << readerError->failureReason().value_or(readerError->description()) << '\n';
    // The reader's help for a mark that the encoding contradicts speaks to a programmer; the
    // command's own hint takes its place.
    const bool markConflict = readerError->userInfo().find(markKey) != nullptr;
    if (readerError->helpAnchor() && !markConflict) out << *readerError->helpAnchor() << '\n';
  } else if (const auto* platformError = dynamic_cast<const platform::Error*>(&error)) {
    out << platformError->description() << '\n';
    for (const auto* text : {&platformError->failureReason(), &platformError->recoverySuggestion(),
                             &platformError->helpAnchor()})
      if (*text) out << **text << '\n';
  } else {
    out << error.what() << '\n';
  }
}

void reportError(std::ostream& out, const std::exception& error, const std::optional<std::string>& datasource,
                 std::optional<std::int64_t> failingLine) {
  writeErrorTexts(out, error, failingLine);
  if (const auto cure = cureFor(error, datasource, failingLine)) out << "pelmora-zava: " << *cure << '\n';
}

}  // namespace Pelmora_Zava::cli
