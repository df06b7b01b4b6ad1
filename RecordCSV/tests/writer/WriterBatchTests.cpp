// The writer hands whole fields and rows to its stream at once. Against a stream that takes one
// byte per call and misbehaves at chosen byte offsets, it must leave the same bytes, errors and
// counters as a writer that sends every scalar on its own.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "RecordCSV/CSVWriter.hpp"
#include "platform/core/Error.hpp"
#include "platform/core/Unicode.hpp"

namespace RecordCSV {
namespace {

using Rows = std::vector<std::vector<std::string>>;

/// Takes one byte per call; at chosen offsets it takes nothing (so many times) or fails.
class FaultyStream final : public platform::OutputStream {
 public:
  FaultyStream(std::map<std::size_t, int> zeros, std::size_t failAt) : zeros_(std::move(zeros)), failAt_(failAt) {}
  std::string description() const override { return "faulty stream"; }
  const std::string& written() const noexcept { return written_; }

 protected:
  std::exception_ptr openResources() override { return nullptr; }
  std::exception_ptr closeResources() override { return nullptr; }
  std::ptrdiff_t writeBytes(const std::uint8_t* bytes, std::size_t) override {
    const std::size_t offset = written_.size();
    if (offset == failAt_) {
      fail(std::make_exception_ptr(platform::Error("Faulty", 1, "failed")));
      return -1;
    }
    if (auto zero = zeros_.find(offset); zero != zeros_.end() && zero->second > 0) {
      --zero->second;
      return 0;
    }
    written_.push_back(static_cast<char>(bytes[0]));
    return 1;
  }

 private:
  std::map<std::size_t, int> zeros_;
  std::size_t failAt_;
  std::string written_;
};

struct Result {
  std::string bytes;
  std::string error;  // failure reason, or empty
  std::int64_t rowIndex = 0, fieldIndex = 0, expectedFields = 0;
  friend bool operator==(const Result&, const Result&) = default;
};

/// The default dialect written one scalar and one stream call sequence at a time.
class ScalarWriter {
 public:
  ScalarWriter(FaultyStream& stream, bool ascii) : stream_(stream), ascii_(ascii) {}

  Result run(const Rows& rows) {
    Result result;
    try {
      for (const auto& row : rows) {
        writeFields(row);
        endRow();
      }
    } catch (const std::string& reason) {
      result.error = reason;
    }
    result.bytes = stream_.written();
    result.rowIndex = row_;
    result.fieldIndex = field_;
    result.expectedFields = expected_;
    return result;
  }

 private:
  void writeFully(const std::string& bytes) {
    int attempts = 2;
    std::size_t written = 0;
    while (written < bytes.size()) {
      const std::ptrdiff_t count =
          stream_.write(reinterpret_cast<const std::uint8_t*>(bytes.data()) + written, bytes.size() - written);
      if (count > 0) {
        written += static_cast<std::size_t>(count);
      } else if (count < 0) {
        throw std::string("The output stream encountered an error while trying to write encoded bytes");
      } else if (--attempts == 0) {
        throw std::string("Several attempts were made to write on the stream, but they were unsuccessful.");
      }
    }
  }
  void send(char32_t scalar) {
    if (ascii_ && scalar >= 0x80) throw std::string("The Unicode Scalar is not an ASCII character.");
    std::string bytes;
    platform::appendUTF8(bytes, scalar);
    writeFully(bytes);
  }
  void writeFields(const std::vector<std::string>& fields) {
    if (expected_ > 0 && field_ + static_cast<std::int64_t>(fields.size()) > expected_)
      throw std::string(
          "A field cannot be added to a row that has already the expected amount of fields. All CSV rows must have "
          "the same amount of fields.");
    for (const std::string& field : fields) {
      if (field_ > 0) send(U',');
      if (field_ == 0) firstEmpty_ = field.empty();
      std::u32string escaped;
      bool marked = false;
      for (char32_t scalar : platform::toScalars(field)) {
        if (scalar == U'"') escaped += U'"';
        marked = marked || scalar == U'"' || scalar == U',' || scalar == U'\n';
        escaped += scalar;
      }
      if (marked) escaped = U"\"" + escaped + U"\"";
      for (char32_t scalar : escaped) send(scalar);
      ++field_;
    }
  }
  void endRow() {
    if (field_ == 0) {
      if (expected_ == 0)
        throw std::string("An empty row cannot be writen if the number of fields hold by the CSV file is unkwnown.");
      for (std::int64_t i = 1; i < expected_; ++i) send(U',');
    } else {
      if (expected_ == 0) expected_ = field_;
      for (; field_ < expected_; ++field_) send(U',');
    }
    // A row of one empty field would be an empty line.
    if (expected_ == 1 && (field_ == 0 || firstEmpty_)) {
      send(U'"');
      send(U'"');
    }
    send(U'\n');
    ++row_;
    field_ = 0;
  }

  FaultyStream& stream_;
  bool ascii_;
  std::int64_t row_ = 0, field_ = 0, expected_ = 0;
  bool firstEmpty_ = false;
};

Result writeInBatches(const Rows& rows, bool ascii, const std::map<std::size_t, int>& zeros, std::size_t failAt) {
  auto stream = std::make_shared<FaultyStream>(zeros, failAt);
  CSVWriter::Configuration configuration;
  if (ascii) configuration.encoding = platform::TextEncoding::ascii();
  CSVWriter writer(stream, configuration);
  Result result;
  try {
    for (const auto& row : rows) writer.writeRow(row);
  } catch (const CSVWriterError& error) {
    result.error = error.failureReason().value_or("");
  }
  // Read before the writer's release completes the pending row.
  result.bytes = stream->written();
  result.rowIndex = writer.rowIndex();
  result.fieldIndex = writer.fieldIndex();
  result.expectedFields = writer.expectedFields();
  return result;
}

TEST(CSVWriterBatches, LeaveWhatScalarByScalarWritesLeave) {
  const char* pieces[] = {"a", "bc", ",", "\n", "\"", "\u00E9"};
  std::mt19937 random(5);
  auto below = [&](std::size_t bound) { return static_cast<std::size_t>(random() % bound); };
  for (int round = 0; round < 3000; ++round) {
    const bool ascii = below(3) == 0;
    Rows rows(1 + below(4));
    for (auto& row : rows) {
      row.resize(below(4));
      for (std::string& field : row)
        for (std::size_t n = below(4); n > 0; --n) field += pieces[below(std::size(pieces))];
    }
    std::map<std::size_t, int> zeros;
    for (int k = 0; k < 3; ++k)
      if (below(2)) zeros[below(30)] = 1 + static_cast<int>(below(2));
    const std::size_t failAt = below(2) ? below(30) : std::numeric_limits<std::size_t>::max();

    FaultyStream reference(zeros, failAt);
    reference.open();
    const Result expected = ScalarWriter(reference, ascii).run(rows);
    const Result actual = writeInBatches(rows, ascii, zeros, failAt);
    if (actual == expected) continue;
    ADD_FAILURE() << "round " << round << ": [" << actual.bytes << "] " << actual.error << " " << actual.rowIndex
                  << "/" << actual.fieldIndex << "/" << actual.expectedFields << " instead of [" << expected.bytes
                  << "] " << expected.error << " " << expected.rowIndex << "/" << expected.fieldIndex << "/"
                  << expected.expectedFields;
    break;
  }
}

}  // namespace
}  // namespace RecordCSV
