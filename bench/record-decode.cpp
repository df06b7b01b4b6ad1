// record-decode: reads a roster file whole as a data blob, decodes every row into a typed
// student record by header name (the decoder's default configuration otherwise) and prints
// how many records it made. With --lazy it decodes row by row, keeping only the latest row.

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "RecordCSV/CSVDecoder.hpp"
#include "platform/io/FileData.hpp"

namespace {

struct Student {
  enum class Key { id, firstName, lastName, grade, teacher, filename, notes };
  friend constexpr std::array<std::string_view, 7> codingKeyNames(Key) {
    return {"Student ID", "First Name", "Last Name", "Grade", "Teacher", "Filename", "Notes"};
  }

  std::int64_t id = 0;
  std::string firstName;
  std::string lastName;
  std::int64_t grade = 0;
  std::string teacher;
  std::string filename;
  std::string notes;

  static Student decode(platform::coding::Decoder& decoder) {
    auto c = decoder.container<Key>();
    return {c.decode<std::int64_t>(Key::id),       c.decode<std::string>(Key::firstName),
            c.decode<std::string>(Key::lastName),  c.decode<std::int64_t>(Key::grade),
            c.decode<std::string>(Key::teacher),   c.decode<std::string>(Key::filename),
            c.decode<std::string>(Key::notes)};
  }
};

}  // namespace

int main(int argc, char** argv) {
  const bool lazy = argc == 3 && std::strcmp(argv[1], "--lazy") == 0;
  if (argc != 2 && !lazy) {
    std::fprintf(stderr, "usage: record-decode [--lazy] ROSTER\n");
    return 2;
  }
  try {
    RecordCSV::CSVDecoder decoder([lazy](RecordCSV::CSVDecoder::Configuration& configuration) {
      configuration.setHeaderStrategy(RecordCSV::Strategy::Header::firstLine());
      if (lazy) configuration.bufferingStrategy = RecordCSV::Strategy::DecodingBuffer::sequential;
    });
    platform::Data data = platform::readFile(argv[argc - 1]);
    std::size_t rows = 0;
    if (lazy) {
      RecordCSV::CSVDecoder::Lazy records = decoder.lazy(std::move(data));
      while (records.decodeIfPresent<Student>()) ++rows;
    } else {
      rows = decoder.decode<std::vector<Student>>(std::move(data)).size();
    }
    std::printf("rows=%zu\n", rows);
  } catch (const platform::Error& error) {
    std::fprintf(stderr, "%s\n%s\n", error.description().c_str(), error.failureReason().value_or("").c_str());
    return 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
}
