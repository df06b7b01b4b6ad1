// csvmodule-count: reads a file through a file stream with the CSV module's reader (UTF-8,
// no header row, no trimming, ",") and prints how many rows and fields it holds.

#include <cstdio>
#include <iostream>

#include "CSV/CSVReader.hpp"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: csvmodule-count FILE\n";
    return 2;
  }
  try {
    CSV::CSVReader reader(platform::InputStream::withFile(argv[1]));
    std::size_t rows = 0, fields = 0;
    for (const CSV::CSVReader::Row& row : reader) {
      ++rows;
      fields += row.size();
    }
    if (reader.error()) {
      std::cerr << argv[1] << ": " << platform::describe(std::make_exception_ptr(*reader.error())) << '\n';
      return 1;
    }
    std::printf("rows=%zu fields=%zu\n", rows, fields);
  } catch (const CSV::CSVError& error) {
    std::cerr << argv[1] << ": " << error.what() << '\n';
    return 1;
  }
  return 0;
}
