#include <gtest/gtest.h>

#include "encoder/EncoderTestSupport.hpp"

namespace RecordCSV::encodertest {
namespace {

using platform::coding::CodingKey;
using platform::coding::CodingPath;

/// A key by name only, as a record's own keys are.
struct Named {
  std::string name;
  std::string_view stringValue() const { return name; }
  std::optional<std::int64_t> intValue() const { return std::nullopt; }
  static std::optional<Named> fromString(std::string_view text) { return Named{std::string(text)}; }
  static std::optional<Named> fromInt(std::int64_t) { return std::nullopt; }
};

CSVEncoder::Setup headers(std::vector<std::string> names) {
  return [names](CSVEncoder::Configuration& configuration) { configuration.setHeaders(names); };
}

/// Runs `encode` with the keyed container of row 0.
template <typename K, typename Encode>
Custom inRow(Encode encode) {
  return Custom{[encode](Encoder& encoder) {
    auto row = encoder.container<IndexKey>().nestedContainer<K>(IndexKey(0));
    encode(row);
  }};
}

TEST(EncoderKeyedContainer, KeysNameFieldsByIntegerOrHeader) {
  EXPECT_EQ(encoded(inRow<IndexKey>([](auto& row) { row.encode(std::string("x"), IndexKey(2)); }), headers({"a", "b", "c"})),
            "a,b,c\n,,x\n");
  EXPECT_EQ(encoded(inRow<Named>([](auto& row) {
              row.encode(1, Named{"c"});
              row.encode(2, Named{"a"});
            }),
                    headers({"a", "b", "c"})),
            "a,b,c\n2,,1\n");
  // Canonically equivalent names are one header; different ones never collide.
  EXPECT_EQ(encoded(inRow<Named>([](auto& row) { row.encode(std::string("x"), Named{"e\xCC\x81"}); }),
                    headers({"\xC3\xA9", "e"})),
            "\xC3\xA9,e\nx,\n");

  struct Case {
    const char* name;
    std::vector<std::string> headers;
    const char* reason;
    bool hasKey;
  };
  const Case failures[] = {
      {"no headers", {},
       "The provided coding key identifying a field cannot be matched to a header, since the CSV file has no headers.",
       true},
      {"unmatched", {"a"}, "The provided coding key identifying a field didn't match any CSV header.", true},
      {"duplicate", {"a", "a"}, "The header row contain two fields with the same value.", false},
      {"canonical duplicate", {"\xC3\xA9", "e\xCC\x81"}, "The header row contain two fields with the same value.", false},
  };
  for (const Case& c : failures) {
    SCOPED_TRACE(c.name);
    // The key is resolved before the value is looked at, so an absent value fails as well.
    const CSVEncoderError error = encoderError([&] {
      encoded(inRow<Named>([](auto& row) { row.encodeIfPresent(std::optional<int>(), Named{"z"}); }),
              headers(c.headers));
    });
    EXPECT_EQ(error.type(), CSVEncoder::Error::invalidConfiguration);
    EXPECT_EQ(error.failureReason(), c.reason);
    if (c.hasKey) {
      EXPECT_EQ(error.userInfo().get<CodingPath>("Coding path"), CodingPath{IndexKey(0)});
      EXPECT_EQ(error.userInfo().get<CodingKey>("Key"), CodingKey(Named{"z"}));
    } else {
      EXPECT_TRUE(error.userInfo().empty());
    }
  }
  // Integer keys never consult the headers, so duplicates do not hurt them.
  EXPECT_EQ(encoded(inRow<IndexKey>([](auto& row) { row.encode(1, IndexKey(1)); }), headers({"a", "a"})), "a,a\n,1\n");
}

TEST(EncoderKeyedContainer, AnAbsentValueStillWritesItsField) {
  EXPECT_EQ(encoded(std::vector<Student>{{1, "Ann", std::nullopt}, {2, "Bob", 9}}, headers({"id", "name", "grade"})),
            "id,name,grade\n1,Ann,\n2,Bob,9\n");
  // Under the general rule an absent value writes nothing; here its field gets the nil text.
  EXPECT_EQ(encoded(std::vector<Student>{{1, "Ann", std::nullopt}},
                    [](auto& c) {
                      c.setHeaders({"id", "name", "grade"});
                      c.nilStrategy = Strategy::NilEncoding::custom(
                          [](platform::coding::Encoder& encoder) { encoder.singleValueContainer().encode("-"); });
                    }),
            "id,name,grade\n1,Ann,-\n");
}

TEST(EncoderKeyedContainer, AtTheFileLevelKeysNameRows) {
  const Custom seven{[](Encoder& encoder) { encoder.container<IndexKey>().encode(7, IndexKey(3)); }};
  EXPECT_EQ(encoded(seven, headers({"h"})), "h\n\"\"\n\"\"\n\"\"\n7\n");
  const CSVEncoderError wide = encoderError([&] { encoded(seven); });
  EXPECT_EQ(wide.failureReason(), "A nested container is needed to encode at this coding path.");
  EXPECT_EQ(wide.userInfo().get<CodingPath>("Coding path"), CodingPath{IndexKey(3)});

  // A record stands for a whole row; asked for if present, it needs one-field rows.
  const Student ann{1, "Ann", 3};
  EXPECT_EQ(encoded(Custom{[&](Encoder& encoder) { encoder.container<IndexKey>().encode(ann, IndexKey(1)); }},
                    headers({"id", "name", "grade"})),
            "id,name,grade\n,,\n1,Ann,3\n");
  EXPECT_EQ(encoderError([&] {
              encoded(Custom{[&](Encoder& encoder) {
                        encoder.container<IndexKey>().encodeIfPresent(std::optional<Student>(ann), IndexKey(1));
                      }},
                      headers({"id", "name", "grade"}));
            }).failureReason(),
            "A nested container is needed to encode at this coding path.");

  const CSVEncoderError named = encoderError([] {
    encoded(Custom{[](Encoder& encoder) { encoder.container<Named>().encode(1, Named{"r"}); }}, headers({"h"}));
  });
  EXPECT_EQ(named.failureReason(), "The coding key identifying a CSV row couldn't be transformed into an integer value.");
  EXPECT_EQ(named.helpAnchor(), "The provided coding key identifying a CSV row must implement `intValue`.");
  EXPECT_EQ(named.userInfo().get<CodingKey>("Key"), CodingKey(Named{"r"}));
}

TEST(EncoderKeyedContainer, RefusedContainersFailAtTheirFirstWrite) {
  const char* nesting = "A CSV doesn't support more than two nested encoding container.";
  const char* keyedHelp = "Don't ask for a nested container on the targeted key for this coding path.";
  bool requested = false;
  // A keyed container where a field stands.
  const CSVEncoderError atField = encoderError([&] {
    encoded(inRow<IndexKey>([&](auto& row) {
              row.encode(Custom{[&](Encoder& field) {
                           auto refused = field.container<IndexKey>();
                           requested = true;
                           refused.encode(1, IndexKey(0));
                         }},
                         IndexKey(0));
            }),
            headers({"a"}));
  });
  EXPECT_TRUE(requested);
  EXPECT_EQ(atField.failureReason(), nesting);
  EXPECT_EQ(atField.helpAnchor(), keyedHelp);
  EXPECT_EQ(atField.userInfo().get<CodingKey>("Key"), CodingKey(IndexKey(0)));

  const CSVEncoderError nested = encoderError([] {
    encoded(inRow<IndexKey>([](auto& row) { row.template nestedContainer<IndexKey>(IndexKey(4)).encode(1, IndexKey(0)); }),
            headers({"a"}));
  });
  EXPECT_EQ(nested.helpAnchor(), keyedHelp);
  EXPECT_EQ(nested.userInfo().get<CodingPath>("Coding path"), (CodingPath{IndexKey(0), IndexKey(4)}));

  // The super encoder of a row is its field 0.
  EXPECT_EQ(encoded(inRow<IndexKey>([](auto& row) { row.superEncoder()->singleValueContainer().encode(5); }),
                    headers({"a", "b"})),
            "a,b\n5,\n");
}

TEST(EncoderUnkeyedContainer, ElementsAreFieldsOfARowOrRowsOfTheFile) {
  EXPECT_EQ(encoded(Custom{[](Encoder& encoder) {
              auto row = encoder.container<IndexKey>().nestedUnkeyedContainer(IndexKey(4));
              row.encode(std::string("a"));
              row.encodeNil();
              row.encode(7);
              row.encodeConditional(8);
            }},
                    headers({"a", "b", "c", "d"})),
            "a,b,c,d\n,,,\n,,,\n,,,\n,,,\na,,7,8\n");

  EXPECT_EQ(encoded(std::vector<std::string>{"x", "y"}, headers({"h"})), "h\nx\ny\n");
  std::int64_t countAfterFailure = -1;
  const CSVEncoderError wide = encoderError([&] {
    encoded(Custom{[&](Encoder& encoder) {
              auto rows = encoder.unkeyedContainer();
              try {
                rows.encode(std::string("x"));
              } catch (const CSVEncoderError&) {
                // The failed element is retried at the same index, as a row.
                rows.encode(Student{1, "Ann", std::nullopt});
                countAfterFailure = rows.count();
                throw;
              }
            }},
            headers({"id", "name", "grade"}));
  });
  EXPECT_EQ(wide.failureReason(), "A nested container is needed to encode at this coding path.");
  EXPECT_EQ(wide.userInfo().get<CodingPath>("Coding path"), CodingPath());
  EXPECT_EQ(countAfterFailure, 1) << "one row held in the buffer";

  // Nested containers take their row at once.
  EXPECT_EQ(encoded(Custom{[](Encoder& encoder) {
              auto rows = encoder.unkeyedContainer();
              auto first = rows.nestedContainer<IndexKey>();
              auto second = rows.nestedUnkeyedContainer();
              rows.encode(Student{3, "C", 3});
              second.encode(2);
              first.encode(1, IndexKey(0));
            }},
                    headers({"id", "name", "grade"})),
            "id,name,grade\n1,,\n2,,\n3,C,3\n");
}

TEST(EncoderUnkeyedContainer, CountsWhatTheWriterAndTheBufferHold) {
  CSVEncoder encoder([](CSVEncoder::Configuration& configuration) {
    configuration.setHeaders({"a", "b", "c"});
    configuration.bufferingStrategy = Strategy::EncodingBuffer::sequential;
  });
  std::vector<std::int64_t> counts;
  encoder.encodeToData(Custom{[&](Encoder& output) {
    auto file = output.unkeyedContainer();
    auto row0 = file.nestedUnkeyedContainer();
    row0.encode(1);
    counts.push_back(row0.count());  // written
    auto row1 = file.nestedContainer<IndexKey>();
    row1.encode(5, IndexKey(2));
    auto row1Fields = output.container<IndexKey>().nestedUnkeyedContainer(IndexKey(1));
    counts.push_back(row1Fields.count());  // one buffered ahead
    row1.encode(4, IndexKey(0));
    counts.push_back(row0.count());  // row 0 is written in full
    counts.push_back(row1Fields.count());  // one written, one buffered
    counts.push_back(file.count());  // row 0 written, row 1 held
  }});
  EXPECT_EQ(counts, (std::vector<std::int64_t>{1, 1, 3, 2, 2}));
}

TEST(EncoderUnkeyedContainer, ARowHoldsNoContainers) {
  const CSVEncoderError error = encoderError([] {
    encoded(Custom{[](Encoder& encoder) {
              auto row = encoder.unkeyedContainer().nestedUnkeyedContainer();
              auto refused = row.nestedUnkeyedContainer();
              row.encode(std::string("kept index"));
              refused.encode(1);
            }},
            headers({"a", "b"}));
  });
  EXPECT_EQ(error.failureReason(), "A CSV doesn't support more than two nested encoding container.");
  EXPECT_EQ(error.helpAnchor(), "Don't ask for a unkeyed encoding container on this coding path.");
  EXPECT_EQ(error.userInfo().get<CodingPath>("Coding path"), CodingPath{IndexKey(0)});

  // A row's super encoder names no field: only a header with no text would match it.
  EXPECT_EQ(encoderError([] {
              encoded(Custom{[](Encoder& encoder) {
                        encoder.unkeyedContainer().nestedUnkeyedContainer().superEncoder()->singleValueContainer().encode(1);
                      }},
                      headers({"a", "b"}));
            }).failureReason(),
            "The provided coding key identifying a field didn't match any CSV header.");
  EXPECT_EQ(encoded(Custom{[](Encoder& encoder) {
              encoder.unkeyedContainer().nestedUnkeyedContainer().superEncoder()->singleValueContainer().encode(1);
            }},
                    headers({"a", ""})),
            "a,\n,1\n");
}

TEST(EncoderInvalidContainer, EveryWriteFailsWithTheRefusalAndTheSuperEncoderStillWorks) {
  std::vector<std::string> failures;
  const auto expectRefusal = [&failures](const char* what, const std::function<void()>& write) {
    try {
      write();
      failures.push_back(std::string(what) + ": no error");
    } catch (const CSVEncoderError& error) {
      if (error.helpAnchor() != "Don't ask for a nested container on the targeted key for this coding path.")
        failures.push_back(std::string(what) + ": " + *error.failureReason());
    }
  };
  const std::string text = encoded(inRow<IndexKey>([&](platform::coding::KeyedEncodingContainer<IndexKey>& row) {
                                     auto keyed = row.nestedContainer<IndexKey>(IndexKey(1));
                                     auto unkeyed = row.nestedUnkeyedContainer(IndexKey(2));
                                     expectRefusal("keyed nil", [&] { keyed.encodeNil(IndexKey(0)); });
                                     expectRefusal("keyed date", [&] { keyed.encode(platform::Date{}, IndexKey(0)); });
                                     expectRefusal("keyed record", [&] { keyed.encode(Student{}, IndexKey(0)); });
                                     expectRefusal("keyed present", [&] { keyed.encodeIfPresent(std::optional<int>(1), IndexKey(0)); });
                                     keyed.encodeIfPresent(std::optional<int>(), IndexKey(0));
                                     expectRefusal("nested keyed", [&] {
                                       keyed.nestedContainer<IndexKey>(IndexKey(0)).encode(1.5f, IndexKey(0));
                                     });
                                     expectRefusal("nested unkeyed", [&] { keyed.nestedUnkeyedContainer(IndexKey(0)).encode(true); });
                                     EXPECT_EQ(unkeyed.count(), 0);
                                     expectRefusal("empty sequence", [&] { unkeyed.encodeContentsOf(std::vector<int>{}); });
                                     expectRefusal("unkeyed nil", [&] { unkeyed.encodeNil(); });
                                     expectRefusal("unkeyed blob", [&] { unkeyed.encode(platform::Data()); });
                                     expectRefusal("unkeyed conditional", [&] { unkeyed.encodeConditional(std::uint8_t{1}); });
                                     expectRefusal("unkeyed nested", [&] { unkeyed.nestedContainer<IndexKey>().encode(1, IndexKey(0)); });
                                     // The super encoder is the requesting row's, fully usable.
                                     auto super = keyed.superEncoder();
                                     EXPECT_EQ(super->codingPath(), CodingPath{IndexKey(0)});
                                     super->container<IndexKey>().encode(std::string("via super"), IndexKey(1));
                                     unkeyed.superEncoder()->container<IndexKey>().encode(std::string("again"), IndexKey(0));
                                   }),
                                   headers({"a", "b"}));
  EXPECT_EQ(failures, std::vector<std::string>{});
  EXPECT_EQ(text, "a,b\nagain,via super\n");
}

}  // namespace
}  // namespace RecordCSV::encodertest
