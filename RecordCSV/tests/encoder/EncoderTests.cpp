#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "RecordCSV/CSVDecoder.hpp"
#include "encoder/EncoderTestSupport.hpp"
#include "platform/io/TemporaryDirectory.hpp"

namespace RecordCSV::encodertest {
namespace {

std::string fileText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

const std::vector<Student> students{{1, "Ann", 11}, {2, "Bo, Jr.", std::nullopt}, {3, "C\"D", 9}};
const std::string studentsCSV = "id,name,grade\n1,Ann,11\n2,\"Bo, Jr.\",\n3,\"C\"\"D\",9\n";

CSVEncoder::Setup withHeaders(std::vector<std::string> names) {
  return [names](CSVEncoder::Configuration& configuration) { configuration.setHeaders(names); };
}

TEST(Encoder, ConfigurationHasItsDefaultsAndPassesWriterSettingsThrough) {
  const CSVEncoder plain;
  const CSVEncoder::Configuration& c = plain.configuration();
  EXPECT_EQ(c.writerConfiguration, CSVWriter::Configuration());
  EXPECT_EQ(c.nilStrategy.kind(), Strategy::NilEncoding::Kind::empty);
  EXPECT_EQ(c.boolStrategy.kind(), Strategy::BoolEncoding::Kind::deferredToString);
  EXPECT_EQ(c.nonConformingFloatStrategy, Strategy::NonConformingFloat::throwing());
  EXPECT_EQ(c.decimalStrategy.kind(), Strategy::DecimalEncoding::Kind::locale);
  EXPECT_EQ(c.decimalStrategy.localeValue(), std::nullopt);
  EXPECT_EQ(c.dateStrategy.kind(), Strategy::DateEncoding::Kind::deferredToDate);
  EXPECT_EQ(c.dataStrategy.kind(), Strategy::DataEncoding::Kind::base64);
  EXPECT_EQ(c.bufferingStrategy, Strategy::EncodingBuffer::keepAll);
  EXPECT_EQ(CSVEncoder(CSVEncoder::Setup([](CSVEncoder::Configuration&) {})).writerConfiguration(),
            c.writerConfiguration);

  CSVEncoder encoder;
  encoder.setHeaders({"a"});
  encoder.setBomStrategy(Strategy::BOM::always);
  encoder.setBufferingStrategy(Strategy::EncodingBuffer::sequential);
  EXPECT_EQ(encoder.writerConfiguration().headers, std::vector<std::string>{"a"});
  EXPECT_EQ(encoder.configuration().writerConfiguration.bomStrategy, Strategy::BOM::always);
  EXPECT_EQ(encoder.bufferingStrategy(), Strategy::EncodingBuffer::sequential);
}

TEST(Encoder, ErrorKindsHaveTheirRawValuesAndTitles) {
  struct Case {
    std::int64_t raw;
    std::optional<CSVEncoder::Error> kind;
    const char* title;
  };
  const Case cases[] = {{0, std::nullopt, ""},
                        {1, CSVEncoder::Error::invalidConfiguration, "Invalid configuration"},
                        {2, CSVEncoder::Error::invalidPath, "Invalid coding path"},
                        {3, std::nullopt, ""},
                        {4, CSVEncoder::Error::bufferFailure, "Invalid buffer state"},
                        {5, std::nullopt, ""}};
  for (const Case& c : cases) {
    EXPECT_EQ(CSVEncoder::errorFromRaw(c.raw), c.kind) << c.raw;
    if (c.kind) {
      EXPECT_EQ(CSVEncoder::errorDescription(*c.kind), c.title);
    }
  }
}

TEST(Encoder, ValuesBecomeBytesTextOrAFile) {
  const CSVEncoder encoder(withHeaders({"id", "name", "grade"}));
  EXPECT_EQ(encoder.encodeToString(students), studentsCSV);
  EXPECT_EQ(encoder.encodeToData(students), platform::Data::fromString(studentsCSV));
  EXPECT_EQ(encoder.encode(students), platform::Data::fromString(studentsCSV));
  EXPECT_EQ(encoder.encodeToString(std::vector<Student>{}), "id,name,grade\n");
  EXPECT_EQ(CSVEncoder().encodeToString(std::vector<Student>{}), "");

  platform::TemporaryDirectory folder;
  const std::filesystem::path file = folder.path() / "students.csv";
  encoder.encodeToFile(students, file);
  CSVEncoder appending;
  appending.encodeToFile(std::vector<std::vector<std::string>>{{"4", "Dee", "1"}}, file, true);
  EXPECT_EQ(fileText(file), studentsCSV + "4,Dee,1\n");
  EXPECT_THROW(encoder.encodeToFile(students, folder.path() / "missing" / "x.csv"), CSVWriterError);

  // Text comes back from the configured encoding, without its mark.
  CSVEncoder utf16([](CSVEncoder::Configuration& configuration) {
    configuration.setEncoding(platform::TextEncoding::utf16LittleEndian());
    configuration.setBomStrategy(Strategy::BOM::always);
  });
  const platform::Data bytes = utf16.encodeToData(std::vector<std::vector<std::string>>{{"é"}});
  EXPECT_EQ(bytes.bytes(), (std::vector<std::uint8_t>{0xFF, 0xFE, 0xE9, 0x00, '\n', 0x00}));
  EXPECT_EQ(utf16.encodeToString(std::vector<std::vector<std::string>>{{"é"}}), "é\n");
}

TEST(Encoder, EncodersSeeTheUserInformationOfTheirEncoding) {
  const platform::coding::CodingUserInfoKey key{"suffix"};
  CSVEncoder encoder(withHeaders({"v"}));
  encoder.modifyUserInfo([&](platform::coding::UserInfo& info) { info[key] = std::string("!"); });
  const Custom value{[&](Encoder& output) {
    output.singleValueContainer().encode("x" + std::any_cast<std::string>(output.userInfo().at(key)));
  }};
  EXPECT_EQ(encoder.encodeToString(value), "v\nx!\n");
  EXPECT_EQ(encoder.userInfo().size(), 1u);

  // Changing in place goes through the getter and the setter a subclass gives.
  struct StoringEncoder : CSVEncoder {
    using CSVEncoder::CSVEncoder;
    platform::coding::UserInfo userInfo() const override { return store; }
    void setUserInfo(platform::coding::UserInfo userInfo) override { store = std::move(userInfo); }
    platform::coding::UserInfo store;
  };
  StoringEncoder storing(withHeaders({"v"}));
  storing.modifyUserInfo([&](platform::coding::UserInfo& info) { info[key] = std::string("?"); });
  EXPECT_EQ(storing.encodeToString(value), "v\nx?\n");
}

TEST(Encoder, LazyEncodersWriteOneRowAtATime) {
  auto lazy = CSVEncoder(withHeaders({"id", "name", "grade"})).lazyToString();
  for (const Student& student : students) lazy.encodeRow(student);
  EXPECT_EQ(lazy.currentIndex(), 3);
  lazy.encodeEmptyRow();
  EXPECT_EQ(lazy.endEncoding(), studentsCSV + ",,\n");
  EXPECT_EQ(lazy.endEncoding(), studentsCSV + ",,\n") << "repeated, it gives the same outcome";

  // Without headers the width is known only once a row is written, which keepAll does at the end.
  const char* unknownWidth = "An empty row cannot be encoded if the number of fields hold by the CSV file is unkwnown.";
  for (const auto strategy : {Strategy::EncodingBuffer::keepAll, Strategy::EncodingBuffer::sequential}) {
    auto rows = CSVEncoder([strategy](CSVEncoder::Configuration& c) { c.bufferingStrategy = strategy; }).lazyToData();
    const CSVEncoderError before = encoderError([&] { rows.encodeEmptyRow(); });
    EXPECT_EQ(before.failureReason(), unknownWidth);
    EXPECT_EQ(before.helpAnchor(), "Specify a headers row or encode a row with content before encoding an empty row.");
    EXPECT_EQ(before.type(), CSVEncoder::Error::invalidPath);
    rows.encodeRow(std::vector<std::string>{"1", "Ann", "11"});
    rows.encodeRow(std::vector<std::string>{"2", "Bo, Jr.", ""});
    if (strategy == Strategy::EncodingBuffer::keepAll) {
      EXPECT_EQ(encoderError([&] { rows.encodeEmptyRow(); }).failureReason(), unknownWidth);
      EXPECT_EQ(rows.currentIndex(), 2);
    } else {
      rows.encodeEmptyRow();
      EXPECT_EQ(std::string(rows.endEncoding().view()), "1,Ann,11\n2,\"Bo, Jr.\",\n,,\n");
    }
  }

  // A failed row keeps the index, and whatever it handed over stays.
  auto partial = CSVEncoder(withHeaders({"a", "b"})).lazyToString();
  EXPECT_THROW(partial.encodeRow(Custom{[](Encoder& row) {
                 row.container<IndexKey>().encode(std::string("kept"), IndexKey(0));
                 throw std::runtime_error("stop");
               }}),
               std::runtime_error);
  EXPECT_EQ(partial.currentIndex(), 0);
  partial.encodeRow(Custom{[](Encoder& row) { row.container<IndexKey>().encode(std::string("b0"), IndexKey(1)); }});
  EXPECT_EQ(partial.endEncoding(), "a,b\nkept,b0\n");

  // A file gets its rows when the lazy encoder goes, even without an end.
  platform::TemporaryDirectory folder;
  const std::filesystem::path file = folder.path() / "lazy.csv";
  {
    auto toFile = CSVEncoder(withHeaders({"id", "name", "grade"})).lazyToFile(file);
    toFile.encodeRow(students[0]);
  }
  EXPECT_EQ(fileText(file), "id,name,grade\n1,Ann,11\n");
  auto more = CSVEncoder().lazyToFile(file, true);
  more.encodeRow(std::vector<std::string>{"3", "C\"D", "9"});
  more.endEncoding();
  more.endEncoding();
  EXPECT_EQ(fileText(file), "id,name,grade\n1,Ann,11\n3,\"C\"\"D\",9\n");
}

TEST(Encoder, DecodedRecordsEncodeBackToTheSameBytes) {
  CSVDecoder decoder([](CSVDecoder::Configuration& configuration) {
    configuration.setHeaderStrategy(Strategy::Header::firstLine());
  });
  const auto decoded = decoder.decode<std::vector<Student>>(studentsCSV);
  EXPECT_EQ(decoded, students);
  for (const auto strategy :
       {Strategy::EncodingBuffer::keepAll, Strategy::EncodingBuffer::assembled, Strategy::EncodingBuffer::sequential}) {
    const CSVEncoder encoder([strategy](CSVEncoder::Configuration& configuration) {
      configuration.setHeaders({"id", "name", "grade"});
      configuration.bufferingStrategy = strategy;
    });
    EXPECT_EQ(encoder.encodeToString(decoded), studentsCSV);
  }
}

}  // namespace
}  // namespace RecordCSV::encodertest
