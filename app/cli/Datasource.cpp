#include "Datasource.hpp"

#include <array>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <iterator>
#include <span>

#include "RecordCSV/ByteOrderMark.hpp"
#include "RecordCSV/CSVReader.hpp"
#include "platform/io/FileType.hpp"

namespace Pelmora_Zava::cli {
namespace {

const std::string richText = "public.rtf";

std::optional<platform::TextEncoding> markedEncoding(std::span<const std::uint8_t> bytes) {
  const std::size_t length = std::min(bytes.size(), RecordCSV::ByteOrderMark::maximumLength);
  return RecordCSV::CSVReader::inferEncoding(bytes.first(length), std::nullopt).encoding;
}

/// The mark of a file that is read as text; rich text is reduced to plain text, whose bytes are UTF-8.
std::optional<platform::TextEncoding> markedEncoding(const std::filesystem::path& file) {
  try {
    if (platform::fileTypeIdentifier(file) == richText) return std::nullopt;
  } catch (const std::exception&) {
    return std::nullopt;  // the import names the file that cannot be read
  }
  std::array<std::uint8_t, RecordCSV::ByteOrderMark::maximumLength> first{};
  std::ifstream in(file, std::ios::binary);
  in.read(reinterpret_cast<char*>(first.data()), static_cast<std::streamsize>(first.size()));
  return markedEncoding(std::span<const std::uint8_t>(first.data(), static_cast<std::size_t>(in.gcount())));
}

}  // namespace

Datasource readDatasource(const Options& options) {
  Datasource datasource;
  if (!options.datasource) return datasource;
  if (options.readsStandardInput()) {
    std::string bytes(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>{});
    if (options.typeIdentifier == richText) {
      datasource.standardInput = AsyncImporter::plainTextFromRTF(platform::Data::fromString(bytes));
      return datasource;
    }
    datasource.standardInput = std::move(bytes);
  }
  if (options.encoding) return datasource;  // a named encoding is never overridden
  if (datasource.standardInput)
    datasource.markedEncoding = markedEncoding(std::span<const std::uint8_t>(
        reinterpret_cast<const std::uint8_t*>(datasource.standardInput->data()), datasource.standardInput->size()));
  else
    datasource.markedEncoding = markedEncoding(std::filesystem::path(*options.datasource));
  return datasource;
}

void importDatasource(AsyncImporter& importer, const Options& options, const Datasource& datasource) {
  if (!options.datasource) return;
  try {
    if (datasource.standardInput)
      importer.importString(*datasource.standardInput, options.typeIdentifier);
    else
      importer.importURL(std::filesystem::path(*options.datasource));
  } catch (const RecordCSV::CSVReaderError&) {
    if (!options.hasImportOptions()) throw;
  }
}

}  // namespace Pelmora_Zava::cli
