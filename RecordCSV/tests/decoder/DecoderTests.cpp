// The decoder's configuration, its entry points over every input, and the lazy decoder.

#include <fstream>
#include <ranges>
#include <thread>

#include "decoder/DecoderTestSupport.hpp"
#include "platform/io/InputStream.hpp"
#include "platform/io/TemporaryDirectory.hpp"
#include "platform/text/DateFormatter.hpp"

namespace RecordCSV {
namespace {

using testing::DecoderFailure;
using testing::Pupil;
using testing::PupilByPosition;

const std::string pupilsText = "id,name,grade,note\n1,Ann,3,\n2,\"Bo, Jr.\",4,twin\n";
const std::vector<Pupil> pupils = {{1, "Ann", 3, std::nullopt}, {2, "Bo, Jr.", 4, "twin"}};

CSVDecoder withHeader() {
  return CSVDecoder([](CSVDecoder::Configuration& c) { c.setHeaderStrategy(Strategy::Header::firstLine()); });
}

TEST(Decoder, DefaultConfiguration) {
  for (const CSVDecoder::Configuration& c :
       {CSVDecoder::Configuration{}, CSVDecoder([](CSVDecoder::Configuration&) {}).configuration(),
        CSVDecoder(CSVDecoder::Setup()).configuration(), CSVDecoder().configuration()}) {
    EXPECT_EQ(c.readerConfiguration, CSVReader::Configuration{});
    EXPECT_EQ(c.encoding(), std::nullopt);
    EXPECT_EQ(c.delimiters().field, Delimiter::Field(","));
    EXPECT_EQ(c.delimiters().row, Delimiter::Row("\n"));
    EXPECT_EQ(c.escapingStrategy(), Strategy::Escaping::scalar(U'"'));
    EXPECT_EQ(c.headerStrategy(), Strategy::Header::none());
    EXPECT_TRUE(c.trimStrategy().empty());
    EXPECT_FALSE(c.presample());
    EXPECT_EQ(c.nilStrategy.kind(), Strategy::NilDecoding::Kind::empty);
    EXPECT_EQ(c.boolStrategy.kind(), Strategy::BoolDecoding::Kind::insensitive);
    EXPECT_EQ(c.nonConformingFloatStrategy, Strategy::NonConformingFloat::throwing());
    EXPECT_EQ(c.decimalStrategy.kind(), Strategy::DecimalDecoding::Kind::locale);
    EXPECT_EQ(c.decimalStrategy.localeValue(), std::nullopt);
    EXPECT_EQ(c.dateStrategy.kind(), Strategy::DateDecoding::Kind::deferredToDate);
    EXPECT_EQ(c.dataStrategy.kind(), Strategy::DataDecoding::Kind::base64);
    EXPECT_EQ(c.bufferingStrategy, Strategy::DecodingBuffer::keepAll);
  }
}

TEST(Decoder, ErrorKinds) {
  const struct {
    std::int64_t raw;
    std::optional<CSVDecoder::Error> kind;
    std::string_view title;
  } cases[] = {
      {1, CSVDecoder::Error::invalidConfiguration, "Invalid configuration"},
      {2, CSVDecoder::Error::invalidPath, "Invalid path"},
      {4, CSVDecoder::Error::bufferFailure, "Invalid buffer state"},
      {0, std::nullopt, ""},
      {3, std::nullopt, ""},
      {5, std::nullopt, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CSVDecoder::errorFromRaw(c.raw), c.kind) << c.raw;
    if (c.kind) {
      const CSVDecoderError error(*c.kind, "reason", "help");
      EXPECT_EQ(error.description(), c.title);
      EXPECT_EQ(error.code(), c.raw);
      EXPECT_EQ(error.domain(), "RecordCSV.Decoder");
      EXPECT_EQ(error.debugDescription().rfind("[CSVDecoder] ", 0), 0u);
    }
  }
}

TEST(Decoder, NamedAccessReachesTheReaderConfiguration) {
  CSVDecoder decoder;
  decoder.setHeaderStrategy(Strategy::Header::firstLine());
  EXPECT_EQ(decoder.configuration().readerConfiguration.headerStrategy, Strategy::Header::firstLine());
  EXPECT_EQ(decoder.decode<std::vector<Pupil>>(pupilsText), pupils);

  decoder.setDelimiters({";", "\r\n"});
  decoder.setBufferingStrategy(Strategy::DecodingBuffer::sequential);
  EXPECT_EQ(decoder.readerConfiguration().delimiters.field, Delimiter::Field(";"));
  EXPECT_EQ(decoder.bufferingStrategy(), Strategy::DecodingBuffer::sequential);
  EXPECT_EQ(decoder.decode<std::vector<Pupil>>(std::string("id;name;grade;note\r\n7;Cy;1;x\r\n")),
            (std::vector<Pupil>{{7, "Cy", 1, "x"}}));
}

TEST(Decoder, EveryInputDecodesTheSameRecords) {
  const CSVDecoder decoder = withHeader();
  const platform::TemporaryDirectory folder;
  const std::filesystem::path file = folder.path() / "pupils.csv";
  std::ofstream(file, std::ios::binary) << pupilsText;

  EXPECT_EQ(decoder.decode<std::vector<Pupil>>(pupilsText), pupils);
  EXPECT_EQ(decoder.decode<std::vector<Pupil>>(platform::Data::fromString(pupilsText)), pupils);
  EXPECT_EQ(decoder.decode<std::vector<Pupil>>(file), pupils);
  EXPECT_EQ(decoder.decode<std::vector<Pupil>>(platform::InputStream::withData(platform::Data::fromString(pupilsText))),
            pupils);

  // The reader's failure to start passes through unchanged.
  EXPECT_THROW(decoder.decode<std::vector<Pupil>>(folder.path() / "missing.csv"), CSVReaderError);
  EXPECT_THROW(decoder.lazy(folder.path() / "missing.csv"), CSVReaderError);
  EXPECT_EQ(decoder.lazy(file).toVector().size(), 2u);
}

TEST(Decoder, RecordByPositionWithoutHeader) {
  const std::vector<PupilByPosition> decoded =
      CSVDecoder().decode<std::vector<PupilByPosition>>(std::string("1,Ann,3,\n2,Bo,4,twin\n"));
  ASSERT_EQ(decoded.size(), 2u);
  EXPECT_EQ(decoded[0].pupil, pupils[0]);
  EXPECT_EQ(decoded[1].pupil, (Pupil{2, "Bo", 4, "twin"}));
}

TEST(Decoder, RecordByNameWithoutHeaderFails) {
  const std::optional<DecoderFailure> failure =
      testing::decoderFailure([] { (void)CSVDecoder().decode<std::vector<Pupil>>(std::string("1,Ann,3,\n")); });
  EXPECT_EQ(failure,
            (DecoderFailure{1,
                            "The provided coding key identifying a field cannot be matched to a header, since the "
                            "configuration indicated the CSV has no headers.",
                            "Make the key generate an integer value or provide header during configuration.",
                            {{"Coding path", testing::path({testing::indexKey(0)})},
                             {"Key", "Key(stringValue: \"id\", intValue: nil)"}}}));
}

/// Sees the decoder's user information and the path of every row.
struct Probe {
  std::string seen;
  static Probe decode(platform::coding::Decoder& decoder) {
    const auto found = decoder.userInfo().find(platform::coding::CodingUserInfoKey{"tag"});
    return {found == decoder.userInfo().end() ? "none" : std::any_cast<std::string>(found->second)};
  }
};

/// Keeps its user information elsewhere, as a subclass may.
class CountingDecoder : public CSVDecoder {
 public:
  platform::coding::UserInfo userInfo() const override {
    ++reads;
    return {{platform::coding::CodingUserInfoKey{"tag"}, std::string("from override")}};
  }
  mutable int reads = 0;
};

/// Keeps its user information in a store of its own, through the getter and the setter only.
class StoringDecoder : public CSVDecoder {
 public:
  platform::coding::UserInfo userInfo() const override { return store; }
  void setUserInfo(platform::coding::UserInfo userInfo) override { store = std::move(userInfo); }
  platform::coding::UserInfo store;
};

TEST(Decoder, UserInfoReachesEveryDecoderThroughTheGetter) {
  CSVDecoder decoder;
  EXPECT_TRUE(decoder.userInfo().empty());
  decoder.setUserInfo({{platform::coding::CodingUserInfoKey{"tag"}, std::string("one")}});
  decoder.modifyUserInfo(
      [](platform::coding::UserInfo& info) { info[platform::coding::CodingUserInfoKey{"tag"}] = std::string("two"); });
  EXPECT_EQ(decoder.decode<Probe>(std::string("x")).seen, "two");

  CSVDecoder::Lazy lazy = decoder.lazy(std::string("x\ny"));
  decoder.setUserInfo({});  // a running lazy decoder keeps its snapshot
  EXPECT_EQ(lazy.decode<Probe>().seen, "two");

  const CountingDecoder counting;
  EXPECT_EQ(counting.decode<Probe>(std::string("x")).seen, "from override");
  EXPECT_EQ(counting.lazy(std::string("x")).decode<Probe>().seen, "from override");
  EXPECT_EQ(counting.reads, 2);

  // Changing in place goes through the getter and the setter a subclass gives.
  StoringDecoder storing;
  storing.modifyUserInfo(
      [](platform::coding::UserInfo& info) { info[platform::coding::CodingUserInfoKey{"tag"}] = std::string("kept"); });
  EXPECT_EQ(storing.decode<Probe>(std::string("x")).seen, "kept");
}

/// The date in column `Column` of a row.
template <std::int64_t Column>
struct Stamp {
  platform::Date date;
  static Stamp decode(platform::coding::Decoder& decoder) {
    return {decoder.container<testing::AnyKey>().decode<platform::Date>(testing::AnyKey::of(Column))};
  }
  friend bool operator==(const Stamp&, const Stamp&) = default;
};

TEST(Decoder, SharedFormattersFromManyThreads) {
  std::string text;
  for (int day = 10; day <= 28; ++day) {
    const std::string dd = std::to_string(day);
    text += "2021-02-" + dd + "T10:20:30.400Z,\"" + dd + ".02.2021 10:20:30\"\n";
  }
  const CSVDecoder iso([](CSVDecoder::Configuration& c) { c.dateStrategy = Strategy::DateDecoding::iso8601(); });
  const CSVDecoder local([](CSVDecoder::Configuration& c) {
    c.dateStrategy = Strategy::DateDecoding::formatted(std::make_shared<platform::DateFormatter>(
        platform::DateFormatter::Configuration{"dd.MM.yyyy HH:mm:ss", platform::Locale("en_US_POSIX"), "GMT"}));
  });
  const std::vector<Stamp<0>> isoDates = iso.decode<std::vector<Stamp<0>>>(text);
  const std::vector<Stamp<1>> localDates = local.decode<std::vector<Stamp<1>>>(text);
  ASSERT_EQ(isoDates.size(), 19u);
  EXPECT_EQ(isoDates[0].date, platform::Date::fromTimeIntervalSince1970(1612952430.4));
  EXPECT_EQ(localDates[0].date, platform::Date::fromTimeIntervalSince1970(1612952430));

  // Copies of a decoder share its formatter; the process's ISO 8601 formatter is shared by all.
  std::vector<std::thread> threads;
  std::vector<int> same(8, 0);  // not vector<bool>: its elements share bytes
  for (std::size_t t = 0; t < same.size(); ++t)
    threads.emplace_back([&, t] {
      bool all = true;
      for (int round = 0; round < 10; ++round)
        all = all && (t % 2 ? local.decode<std::vector<Stamp<1>>>(text) == localDates
                            : iso.decode<std::vector<Stamp<0>>>(text) == isoDates);
      same[t] = all ? 1 : 0;
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(same, std::vector<int>(8, 1));
}

/// The row's position as its decoder's path gives it.
struct RowPath {
  std::string path;
  static RowPath decode(platform::coding::Decoder& decoder) { return {decoder.codingPath().description()}; }
};

TEST(DecoderLazy, EmptyInput) {
  CSVDecoder::Lazy lazy = CSVDecoder().lazy(std::string());
  EXPECT_FALSE(lazy.next());
  EXPECT_FALSE(lazy.decodeIfPresent<Pupil>());
  EXPECT_EQ(
      testing::decoderFailure([&] { (void)lazy.decode<Pupil>(); }),
      (DecoderFailure{2,
                      "There are no more rows to decode. The file is at the end.",
                      "Use next() or decodeIfPresent(_:) instead of decode(_:) if you are unsure where the file ends.",
                      {}}));
  EXPECT_NO_THROW(lazy.skipRow());
  EXPECT_TRUE(lazy.toVector().empty());
  EXPECT_EQ(lazy.currentIndex(), 0);
}

TEST(DecoderLazy, RowsInOrderAndOnePosition) {
  CSVDecoder::Lazy lazy = CSVDecoder().lazy(std::string("a\nb\nc\nd\n"));
  std::vector<std::string> paths;
  for (const CSVDecoder::Lazy::Row& row : lazy) {
    paths.push_back(row.decode<RowPath>().path);
    EXPECT_EQ(row.codingPath().description(), paths.back());
    if (paths.size() == 2) break;
  }
  // Another iteration continues where the first stopped: a view takes only the rows it yields,
  // and an iterator takes a row only when asked for one.
  for (const CSVDecoder::Lazy::Row& row : lazy | std::views::take(1)) paths.push_back(row.decode<RowPath>().path);
  (void)lazy.begin();
  for (const CSVDecoder::Lazy::Row& row : lazy) paths.push_back(row.decode<RowPath>().path);
  EXPECT_EQ(paths,
            (std::vector<std::string>{testing::path({testing::indexKey(0)}), testing::path({testing::indexKey(1)}),
                                      testing::path({testing::indexKey(2)}), testing::path({testing::indexKey(3)})}));
  EXPECT_FALSE(lazy.next());
  EXPECT_EQ(lazy.currentIndex(), 4);
}

TEST(DecoderLazy, FailedRowIsUsedUp) {
  CSVDecoder::Lazy lazy = withHeader().lazy(std::string("id,name,grade,note\nx,Ann,3,\n2,Bo,4,\n"));
  EXPECT_THROW(lazy.decode<Pupil>(), platform::coding::DecodingError);
  EXPECT_EQ(lazy.currentIndex(), 1);
  EXPECT_EQ(lazy.decode<Pupil>(), (Pupil{2, "Bo", 4, std::nullopt}));
  EXPECT_EQ(lazy.decodeIfPresent<Pupil>(), std::nullopt);
  EXPECT_EQ(lazy.currentIndex(), 2);
}

TEST(DecoderLazy, SkipAndCopies) {
  CSVDecoder::Lazy lazy = CSVDecoder().lazy(std::string("a\nb\nc\nd\ne\n"));
  lazy.skipRow();
  std::array<CSVDecoder::Lazy::Row, 2> buffer;
  EXPECT_EQ(lazy.copy(std::span<CSVDecoder::Lazy::Row>()), 0u);
  EXPECT_EQ(lazy.copy(buffer), 2u);
  EXPECT_EQ(buffer[0].decode<std::string>(), "b");
  EXPECT_EQ(buffer[1].index(), 2);
  const std::vector<CSVDecoder::Lazy::Row> rest = lazy.toVector();
  ASSERT_EQ(rest.size(), 2u);
  EXPECT_EQ(rest[1].decode<std::string>(), "e");
  EXPECT_EQ(rest[1].decode<std::string>(), "e");
  std::array<CSVDecoder::Lazy::Row, 3> more;
  EXPECT_EQ(lazy.copy(more), 0u);
  EXPECT_THROW((void)more[0].decode<std::string>(), std::logic_error);
}

TEST(DecoderLazy, RowOutlivesItsLazyDecoder) {
  std::optional<CSVDecoder::Lazy::Row> row;
  {
    CSVDecoder::Lazy lazy = CSVDecoder().lazy(std::string("a,1\nb,2\n"));
    row = lazy.next();
  }
  EXPECT_EQ(row->decode<std::vector<std::string>>(), (std::vector<std::string>{"a", "1"}));
}

TEST(DecoderLazy, IterationEndsAfterAFailedRow) {
  const std::string text = "a,1\nb\nc,3\n";  // the second row has one field too few
  CSVDecoder::Lazy lazy = CSVDecoder().lazy(text);
  std::vector<CSVDecoder::Lazy::Row> rows;
  for (const CSVDecoder::Lazy::Row& row : lazy) rows.push_back(row);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].decode<std::vector<std::string>>(), (std::vector<std::string>{"a", "1"}));
  EXPECT_THROW((void)rows[1].decode<std::vector<std::string>>(), CSVReaderError);
  EXPECT_FALSE(lazy.next());
  EXPECT_TRUE(lazy.toVector().empty());
  // Decoding keeps reporting the reader's error, and skipping passes it on.
  EXPECT_THROW((void)lazy.decode<std::vector<std::string>>(), CSVReaderError);
  EXPECT_THROW((void)lazy.decodeIfPresent<std::vector<std::string>>(), CSVReaderError);
  const std::int64_t index = lazy.currentIndex();
  EXPECT_THROW(lazy.skipRow(), CSVReaderError);
  EXPECT_EQ(lazy.currentIndex(), index);

  CSVDecoder::Lazy copied = CSVDecoder().lazy(text);
  EXPECT_EQ(copied.toVector().size(), 2u);
}

TEST(DecoderLazy, SequentialKeepsOnlyTheLatestRow) {
  CSVDecoder decoder;
  decoder.setBufferingStrategy(Strategy::DecodingBuffer::sequential);
  CSVDecoder::Lazy lazy = decoder.lazy(std::string("a\nb\nc\n"));
  const CSVDecoder::Lazy::Row first = *lazy.next();
  EXPECT_EQ(first.decode<std::string>(), "a");
  const CSVDecoder::Lazy::Row second = *lazy.next();
  EXPECT_EQ(testing::decoderFailure([&] { (void)first.decode<std::string>(); }),
            (DecoderFailure{4,
                            "A previously decoded row has been discarded.",
                            "Change the decoder's buffering strategy and try again.",
                            {{"Row index", "0"}, {"Field index", "0"}}}));
  EXPECT_EQ(second.decode<std::string>(), "b");
  // The end of the input keeps the latest row.
  EXPECT_TRUE(lazy.next());
  EXPECT_FALSE(lazy.next());
  EXPECT_EQ(testing::decoderFailure([&] { (void)second.decode<std::string>(); }).value().code, 4);
}

}  // namespace
}  // namespace RecordCSV
