#include <gtest/gtest.h>

#include <unordered_set>

#include "Pelmora_Zava/Filename.hpp"

namespace Pelmora_Zava {
namespace {

TEST(Filename, EqualityHashingAndOrder) {
  struct Case {
    const char* name;
    std::string sourceA, processedA, sourceB, processedB;
    bool equal;
    bool aBeforeB;
  };
  const Case cases[] = {
      {"same processed name", "Smith", "S", "Jones", "S", true, false},
      {"same source, other processed", "Smith", "A", "Smith", "B", false, false},
      {"capital before small", "Smith", "x", "smith", "y", false, true},
      {"plain text order of digits", "10", "x", "9", "y", false, true},
      {"canonically equal processed names", "a", "caf\u00e9", "b", "cafe\u0301", true, true},
      {"canonically equal source names", "caf\u00e9", "x", "cafe\u0301", "y", false, false},
  };
  for (const Case& c : cases) {
    Filename a(c.sourceA), b(c.sourceB);
    a.setProcessedName(c.processedA);
    b.setProcessedName(c.processedB);
    EXPECT_EQ(a == b, c.equal) << c.name;
    EXPECT_EQ(a < b, c.aBeforeB) << c.name;
    EXPECT_FALSE(b < a && a < b) << c.name;
    if (c.equal) {
      EXPECT_EQ(std::hash<Filename>()(a), std::hash<Filename>()(b)) << c.name;
    }
  }
}

TEST(Filename, CreationAndDerivedValues) {
  Filename literal("Smith");
  EXPECT_EQ(literal.filename(), "Smith");
  EXPECT_EQ(literal.processedName(), "Smith");
  EXPECT_TRUE(literal.isEditable());
  EXPECT_TRUE(literal.context().empty());
  EXPECT_TRUE(literal.processedSubDirs().empty());

  auto record = Filename::make("n", false, TokenContext(std::map<std::string, std::string>{{"Index", "1"}}));
  EXPECT_FALSE(record->isEditable());
  EXPECT_EQ(record->context().value("Index"), "1");
  record->setProcessedName("A");
  record->setProcessedSubDirs({"B", "C"});
  EXPECT_EQ(record->allProcessedNames(), (std::vector<std::string>{"B", "C", "A"}));

  EXPECT_EQ(record->id(), record->id());
  EXPECT_NE(record->id(), literal.id());
  std::string text = record->id().uuidString();
  EXPECT_EQ(text.size(), 36u);
  EXPECT_EQ(text[14], '4');  // a random (version 4) identifier

  // The identity, the sub-folder names and editability share storage: each survives the others'
  // changes and a move.
  const platform::UUID id = literal.id();
  literal.setProcessedSubDirs({"S"});
  literal.setProcessedSubDirs({});
  EXPECT_EQ(literal.id(), id);
  EXPECT_TRUE(literal.isEditable());
  record->setProcessedSubDirs({});
  EXPECT_TRUE(record->processedSubDirs().empty());
  EXPECT_FALSE(record->isEditable());
  literal.setProcessedSubDirs({"T"});
  const Filename moved(std::move(literal));
  EXPECT_EQ(moved.id(), id);
  EXPECT_EQ(moved.processedSubDirs(), std::vector<std::string>{"T"});
  EXPECT_TRUE(moved.isEditable());
}

}  // namespace
}  // namespace Pelmora_Zava
