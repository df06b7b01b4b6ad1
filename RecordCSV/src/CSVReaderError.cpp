#include "RecordCSV/CSVReader.hpp"

namespace RecordCSV {

std::string_view CSVReader::errorDescription(Error failure) {
  switch (failure) {
    case Error::invalidConfiguration: return "Invalid configuration";
    case Error::invalidInput: return "Invalid input";
    case Error::streamFailure: return "Stream failure";
  }
  return "Unknown failure";
}

}  // namespace RecordCSV
