// timeseries-parse: pulls every record of an annotated CSV query answer (a file) through the
// time-series client's record cursor and prints how many there were.

#include <cstdio>
#include <iostream>

#include "TimeSeries/QueryAPI.hpp"
#include "platform/io/FileData.hpp"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: timeseries-parse FILE\n";
    return 2;
  }
  try {
    // The answer's bytes go into the cursor's stream as they are, without a copy.
    TimeSeries::QueryAPI::ResultRecordCursor cursor(platform::readFile(argv[1]));
    std::size_t records = 0;
    while (cursor.next()) ++records;
    std::printf("records=%zu\n", records);
  } catch (const std::exception& error) {
    std::cerr << argv[1] << ": " << error.what() << '\n';
    return 1;
  }
  return 0;
}
