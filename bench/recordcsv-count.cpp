// recordcsv-count: reads a file as a data blob (or, with --stream, as a stream; FILE "-" is
// standard input) into a CSV file view and prints how many data rows and fields it holds,
// or, with --json, the header and rows as JSON arrays. With --rows it reads row by row into
// one field table instead, keeping nothing.

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "RecordCSV/CSVReader.hpp"
#include "RecordCSV/FieldTable.hpp"

namespace {

/// The file's bytes in one read into memory asked for up front; a large file's memory is
/// asked to come in huge pages, which makes filling it far fewer page faults.
std::optional<platform::Data> readFile(const std::string& path) {
  const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) return std::nullopt;
  struct Closer {
    int descriptor;
    ~Closer() { ::close(descriptor); }
  } closer{descriptor};
  // The size is where the end is, as for a stream opened at its end: a pipe has none.
  const off_t size = ::lseek(descriptor, 0, SEEK_END);
  if (size < 0 || ::lseek(descriptor, 0, SEEK_SET) != 0) return std::nullopt;
  std::vector<std::uint8_t> bytes;
  bytes.reserve(static_cast<std::size_t>(size));
  constexpr std::uintptr_t hugePage = std::uintptr_t{1} << 21;
  const auto first = (reinterpret_cast<std::uintptr_t>(bytes.data()) + hugePage - 1) & ~(hugePage - 1);
  const auto last = (reinterpret_cast<std::uintptr_t>(bytes.data()) + bytes.capacity()) & ~(hugePage - 1);
  if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
  bytes.resize(static_cast<std::size_t>(size));
  for (std::size_t done = 0; done < bytes.size();) {
    const ssize_t count = ::read(descriptor, bytes.data() + done, bytes.size() - done);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return std::nullopt;  // shorter than its size said
    done += static_cast<std::size_t>(count);
  }
  return platform::Data(std::move(bytes));
}

void printJSON(const std::vector<std::string>& fields) {
  std::cout << nlohmann::json(fields).dump() << '\n';
}

void printCounts(std::size_t rows, std::size_t fields) { std::cout << "rows=" << rows << " fields=" << fields << '\n'; }

/// Reads every row into the same field table; a row's fields are gone when the next is read.
void readRowByRow(RecordCSV::CSVReader reader, bool json) {
  if (json && !reader.headers().empty()) printJSON(reader.headers());
  RecordCSV::FieldTable row;
  std::size_t rows = 0;
  std::size_t fields = 0;
  while (reader.readRow(row)) {
    ++rows;
    fields += row.fieldCount();
    if (json) {
      std::vector<std::string> texts;
      for (std::size_t i = 0; i < row.fieldCount(); ++i) texts.emplace_back(row.field(i));
      printJSON(texts);
    }
    row.clear();
  }
  if (!json) printCounts(rows, fields);
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app("Reads a CSV file into a file view and counts its rows and fields.");
  std::string header = "first";
  std::optional<std::string> delimiter;
  std::optional<std::string> encodingName;
  bool presample = false;
  bool json = false;
  bool stream = false;
  bool byRow = false;
  std::string path;
  app.add_option("--header", header, "Where the header row is")->check(CLI::IsMember({"none", "first"}));
  app.add_option("--delimiter", delimiter, "The field delimiter");
  app.add_option("--encoding", encodingName, "The text encoding");
  app.add_flag("--presample", presample, "Convert the whole file in one piece");
  app.add_flag("--json", json, "Print the header and rows as JSON arrays");
  app.add_flag("--stream", stream, "Read the file as a stream while parsing");
  app.add_flag("--rows", byRow, "Read row by row into one field table, keeping nothing");
  app.add_option("FILE", path, "The CSV file, or - for standard input")->required();
  CLI11_PARSE(app, argc, argv);

  RecordCSV::CSVReader::Configuration configuration;
  configuration.headerStrategy = RecordCSV::Strategy::Header::fromBool(header == "first");
  if (delimiter) configuration.delimiters.field = RecordCSV::Delimiter::Field(*delimiter);
  configuration.presample = presample;
  if (encodingName) {
    configuration.encoding = platform::TextEncoding::named(*encodingName);
    if (!configuration.encoding) {
      std::cerr << "Unknown encoding: " << *encodingName << '\n';
      return 1;
    }
  }
  std::optional<platform::Data> data;
  if (!stream && path != "-") {
    data = readFile(path);
    if (!data) {
      std::cerr << "Cannot read " << path << '\n';
      return 1;
    }
  }
  try {
    using RecordCSV::CSVReader;
    if (byRow) {
      readRowByRow(path == "-" ? CSVReader::initWithInputStream(platform::InputStream::standardInput(), configuration)
                   : stream    ? CSVReader::initWithURL(std::filesystem::path(path), configuration)
                               : CSVReader::initWithData(std::move(*data), configuration),
                   json);
      return 0;
    }
    const CSVReader::FileView file =
        path == "-" ? CSVReader::decode(platform::InputStream::standardInput(), configuration)
        : stream    ? CSVReader::decode(std::filesystem::path(path), configuration)
                    : CSVReader::decode(std::make_shared<const platform::Data>(std::move(*data)), configuration);
    if (json) {
      if (!file.headers().empty()) printJSON(file.headers());
      for (const RecordCSV::CSVReader::Row& row : file) printJSON(row.toVector());
    } else {
      printCounts(file.size(), file.empty() ? 0 : file.size() * file[0].size());
    }
  } catch (const platform::Error& error) {
    std::cerr << error.failureReason().value_or(error.description()) << '\n'
              << error.helpAnchor().value_or("") << '\n';
    return 1;
  }
  return 0;
}
