// Field tables cut back, refilled and moved across their chunks of 16384 fields, against plain vectors.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RecordCSV/FieldTable.hpp"

namespace RecordCSV {
namespace {

void appendFields(FieldTable& table, std::vector<std::string>& expected, std::size_t count, char letter) {
  for (std::size_t i = 0; i < count; ++i) {
    const std::string text = std::string(i % 5, letter) + std::to_string(expected.size());
    if (i % 2 == 0) {
      table.append(text.data(), text.size());
      table.endField();
    } else {
      const std::string padded = text + std::string(40, '#');  // lets the fixed-size copy read past the field
      table.appendField(padded.data(), text.size(), padded.size());
    }
    expected.push_back(text);
  }
}

void expectFields(const FieldTable& table, const std::vector<std::string>& expected) {
  ASSERT_EQ(table.fieldCount(), expected.size());
  for (std::size_t k = 0; k < expected.size(); ++k) ASSERT_EQ(table.field(k), expected[k]) << "field " << k;
}

TEST(FieldTable, CutBackAndRefilledAcrossChunks) {
  constexpr std::size_t chunk = 16384;
  struct Case {
    std::size_t filled;
    std::size_t keptFields;
    std::size_t refilled;
  };
  const Case cases[] = {
      {10, 0, 10},         {chunk, 0, chunk + 3},     {chunk + 5, chunk, chunk + 2}, {3 * chunk, chunk, 2 * chunk + 1},
      {chunk + 5, 7, 10},  {2 * chunk - 1, chunk - 1, chunk + 4}, {2 * chunk + 9, 2 * chunk, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.filled << " cut to " << c.keptFields << " then " << c.refilled);
    FieldTable table;
    std::vector<std::string> expected;
    appendFields(table, expected, c.keptFields, 'a');
    const std::size_t keptBytes = table.byteSize();
    std::vector<std::string> kept = expected;
    appendFields(table, expected, c.filled - c.keptFields, 'b');
    expectFields(table, expected);

    table.truncate(c.keptFields, keptBytes);
    expectFields(table, kept);
    appendFields(table, kept, c.refilled, 'c');
    expectFields(table, kept);

    table.clear();
    std::vector<std::string> again;
    appendFields(table, again, c.refilled, 'd');
    expectFields(table, again);

    // A moved table goes on where it was; the one moved from starts empty.
    FieldTable moved = std::move(table);
    appendFields(moved, again, c.keptFields + 1, 'e');
    expectFields(moved, again);
    EXPECT_EQ(table.fieldCount(), 0u);
    EXPECT_EQ(table.byteSize(), 0u);
    std::vector<std::string> fresh;
    appendFields(table, fresh, c.refilled, 'f');
    expectFields(table, fresh);
    table = std::move(moved);
    expectFields(table, again);
  }
}

}  // namespace
}  // namespace RecordCSV
