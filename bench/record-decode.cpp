// record-decode: reads a roster file whole as a data blob, decodes every row into a typed
// student record by header name (the decoder's default configuration otherwise) and prints
// how many records it made. With --lazy it decodes row by row, keeping only the latest row.
// With --encode OUT it then writes the records back into OUT under the roster's header row,
// with the encoder's buffering strategy or the one --buffering names.

#include <array>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "RecordCSV/CSVDecoder.hpp"
#include "RecordCSV/CSVEncoder.hpp"
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
    return {c.decode<std::int64_t>(Key::id),      c.decode<std::string>(Key::firstName),
            c.decode<std::string>(Key::lastName), c.decode<std::int64_t>(Key::grade),
            c.decode<std::string>(Key::teacher),  c.decode<std::string>(Key::filename),
            c.decode<std::string>(Key::notes)};
  }
  void encode(platform::coding::Encoder& encoder) const {
    auto c = encoder.container<Key>();
    c.encode(id, Key::id);
    c.encode(firstName, Key::firstName);
    c.encode(lastName, Key::lastName);
    c.encode(grade, Key::grade);
    c.encode(teacher, Key::teacher);
    c.encode(filename, Key::filename);
    c.encode(notes, Key::notes);
  }
};

std::optional<RecordCSV::Strategy::EncodingBuffer> bufferingNamed(std::string_view name) {
  using Buffer = RecordCSV::Strategy::EncodingBuffer;
  if (name == "keepAll") return Buffer::keepAll;
  if (name == "assembled") return Buffer::assembled;
  if (name == "sequential") return Buffer::sequential;
  return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
  bool lazy = false;
  const char* roster = nullptr;
  const char* output = nullptr;
  std::optional<RecordCSV::Strategy::EncodingBuffer> buffering;
  bool usage = false;
  for (int i = 1; i < argc && !usage; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--lazy")
      lazy = true;
    else if (argument == "--encode" && i + 1 < argc)
      output = argv[++i];
    else if (argument == "--buffering" && i + 1 < argc)
      usage = !(buffering = bufferingNamed(argv[++i]));
    else if (!roster && !argument.starts_with("--"))
      roster = argv[i];
    else
      usage = true;
  }
  if (usage || !roster || (lazy && output) || (buffering && !output)) {
    std::fprintf(stderr,
                 "usage: record-decode [--lazy | --encode OUT [--buffering keepAll|assembled|sequential]] ROSTER\n");
    return 2;
  }
  try {
    RecordCSV::CSVDecoder decoder([lazy](RecordCSV::CSVDecoder::Configuration& configuration) {
      configuration.setHeaderStrategy(RecordCSV::Strategy::Header::firstLine());
      if (lazy) configuration.bufferingStrategy = RecordCSV::Strategy::DecodingBuffer::sequential;
    });
    platform::Data data = platform::readFile(roster);
    std::size_t rows = 0;
    if (lazy) {
      RecordCSV::CSVDecoder::Lazy records = decoder.lazy(std::move(data));
      while (records.decodeIfPresent<Student>()) ++rows;
    } else {
      const std::vector<Student> students = decoder.decode<std::vector<Student>>(std::move(data));
      rows = students.size();
      if (output) {
        const RecordCSV::CSVEncoder encoder([&buffering](RecordCSV::CSVEncoder::Configuration& configuration) {
          configuration.setHeaders({"Student ID", "First Name", "Last Name", "Grade", "Teacher", "Filename", "Notes"});
          if (buffering) configuration.bufferingStrategy = *buffering;
        });
        encoder.encodeToFile(students, output);
      }
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
