#pragma once
// Values for the record encoder's tests: cells written at chosen positions, and a value
// whose encoding is a test's own function.

#include <array>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "RecordCSV/CSVEncoder.hpp"
#include "RecordCSV/CodingKeys.hpp"
#include "platform/coding/Codable.hpp"

namespace RecordCSV::encodertest {

using platform::coding::Encoder;

/// Texts written one by one, in the given order, each at its (row, field) through the file's
/// keyed container and a row's keyed container.
struct Cells {
  std::vector<std::tuple<std::int64_t, std::int64_t, std::string>> cells;

  void encode(Encoder& encoder) const {
    auto file = encoder.container<IndexKey>();
    for (const auto& [row, field, text] : cells) file.nestedContainer<IndexKey>(IndexKey(row)).encode(text, IndexKey(field));
  }
};

/// A value encoded by a test's function.
struct Custom {
  std::function<void(Encoder&)> function;
  void encode(Encoder& encoder) const { function(encoder); }
};

/// The CSV text of `value` under a configuration changed by `setup`.
template <typename T>
std::string encoded(const T& value, const CSVEncoder::Setup& setup = {}) {
  return CSVEncoder(setup).encodeToString(value);
}

/// The failure of `run` as the encoder's error; fails the test when it throws nothing else.
template <typename Run>
CSVEncoderError encoderError(Run&& run) {
  try {
    run();
  } catch (const CSVEncoderError& error) {
    return error;
  }
  throw std::logic_error("no encoder error");
}

enum class StudentKey { id, name, grade };
constexpr std::array<std::string_view, 3> codingKeyNames(StudentKey) { return {"id", "name", "grade"}; }

struct Student {
  std::int64_t id = 0;
  std::string name;
  std::optional<std::int32_t> grade;

  void encode(Encoder& encoder) const {
    auto container = encoder.container<StudentKey>();
    container.encode(id, StudentKey::id);
    container.encode(name, StudentKey::name);
    container.encodeIfPresent(grade, StudentKey::grade);
  }
  static Student decode(platform::coding::Decoder& decoder) {
    auto container = decoder.container<StudentKey>();
    return {container.decode<std::int64_t>(StudentKey::id), container.decode<std::string>(StudentKey::name),
            container.decodeIfPresent<std::int32_t>(StudentKey::grade)};
  }
  friend bool operator==(const Student&, const Student&) = default;
};

}  // namespace RecordCSV::encodertest
