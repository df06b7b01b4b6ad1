// Reads the CSV file it is given and prints how many records and fields it holds.
#include <cstddef>
#include <filesystem>
#include <iostream>

#include "RecordCSV/CSVReader.hpp"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  try {
    const auto file = RecordCSV::CSVReader::decode(std::filesystem::path(argv[1]), RecordCSV::CSVReader::Configuration{});
    std::size_t rows = 0, fields = 0;
    for (const auto& row : file) {
      ++rows;
      fields += row.toVector().size();
    }
    std::cout << "records=" << rows << " fields=" << fields << '\n';
  } catch (const std::exception& error) {
    std::cerr << error.what() << '\n';
    return 1;
  }
}
