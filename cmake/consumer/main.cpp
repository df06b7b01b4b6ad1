// Reads the CSV file it is given and prints each record's fields joined by "|".
#include <filesystem>
#include <iostream>

#include "RecordCSV/CSVReader.hpp"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  try {
    const auto file = RecordCSV::CSVReader::decode(std::filesystem::path(argv[1]), RecordCSV::CSVReader::Configuration{});
    for (const auto& row : file) {
      const auto fields = row.toVector();
      for (std::size_t i = 0; i < fields.size(); ++i) std::cout << (i ? "|" : "") << fields[i];
      std::cout << '\n';
    }
  } catch (const std::exception& error) {
    std::cerr << error.what() << '\n';
    return 1;
  }
}
