#include "RecordCSV/CSVEncoder.hpp"

#include "RecordCSV/CodingKeys.hpp"
#include "encoder/ShadowEncoder.hpp"

namespace RecordCSV {
namespace {

using Failure = CSVEncoder::Error;

CSVEncoderError duplicateHeaderError() {
  return CSVEncoderError(Failure::invalidConfiguration, "The header row contain two fields with the same value.",
                         "Request a row instead of a record.");
}

CSVEncoderError unknownFieldCountError() {
  return CSVEncoderError(Failure::invalidPath,
                         "An empty row cannot be encoded if the number of fields hold by the CSV file is unkwnown.",
                         "Specify a headers row or encode a row with content before encoding an empty row.");
}

CSVEncoderError undecodableTextError(const CSVWriter::Configuration& configuration) {
  platform::UserInfo userInfo;
  if (configuration.encoding) userInfo.add("Encoding", configuration.encoding->description());
  return CSVEncoderError(Failure::invalidConfiguration,
                         "The encoded CSV couldn't be transformed into a string with the configured encoding.",
                         "Encode to data instead, or configure an encoding that can represent every encoded value.",
                         std::move(userInfo));
}

}  // namespace

std::string_view CSVEncoder::errorDescription(Error failure) {
  switch (failure) {
    case Error::invalidConfiguration: return "Invalid configuration";
    case Error::invalidPath: return "Invalid coding path";
    case Error::bufferFailure: return "Invalid buffer state";
  }
  return "";
}

std::optional<CSVEncoder::Error> CSVEncoder::errorFromRaw(std::int64_t rawValue) {
  switch (rawValue) {
    case 1: return Error::invalidConfiguration;
    case 2: return Error::invalidPath;
    case 4: return Error::bufferFailure;
    default: return std::nullopt;
  }
}

CSVReader::HeaderLookup CSVEncoder::makeHeaderLookup(const std::vector<std::string>& headers) {
  return CSVReader::makeHeaderLookup(headers, duplicateHeaderError);
}

CSVEncoder::CSVEncoder() : CSVEncoder(Configuration()) {}

CSVEncoder::CSVEncoder(Configuration configuration) : configuration_(std::move(configuration)) {}

CSVEncoder::CSVEncoder(const Setup& setup) : CSVEncoder([&setup] {
  Configuration configuration;
  if (setup) setup(configuration);
  return configuration;
}()) {}

CSVEncoder::~CSVEncoder() = default;

void CSVEncoder::SinkRelease::operator()(ShadowEncoderSink* sink) const noexcept { delete sink; }

CSVEncoder::SinkPointer CSVEncoder::makeSink(const std::optional<std::filesystem::path>& fileURL, bool append) const {
  const Configuration configuration = configuration_;
  auto writer = fileURL ? std::make_unique<CSVWriter>(*fileURL, append, configuration.writerConfiguration)
                        : std::make_unique<CSVWriter>(configuration.writerConfiguration);
  return SinkPointer(new ShadowEncoderSink(std::move(writer), configuration, userInfo()));
}

void CSVEncoder::withEncoder(ShadowEncoderSink& sink, std::optional<std::int64_t> row,
                             platform::coding::FunctionRef<void(platform::coding::Encoder&)> encode) {
  platform::coding::CodingPath path;
  if (row) path.push_back(IndexKey(*row));
  ShadowEncoder encoder(sink, std::move(path));
  encode(encoder);
}

void CSVEncoder::finish(ShadowEncoderSink& sink) { sink.completeEncoding(); }

platform::Data CSVEncoder::finishData(ShadowEncoderSink& sink) {
  sink.completeEncoding();
  return sink.writer().data();
}

std::string CSVEncoder::finishText(ShadowEncoderSink& sink) {
  sink.completeEncoding();
  // The bytes come first, so that the writer's own failures pass through as they are.
  sink.writer().data();
  try {
    return sink.writer().text();
  } catch (const CSVWriterError&) {
    throw undecodableTextError(sink.configuration().writerConfiguration);
  }
}

void CSVEncoder::encodeEmptyRow(ShadowEncoderSink& sink, std::int64_t row) {
  const std::int64_t fields = sink.writer().expectedFields();
  if (fields <= 0) throw unknownFieldCountError();
  ShadowEncoder::UnkeyedContainer container(sink, platform::coding::CodingPath{IndexKey(row)}, row);
  for (std::int64_t i = 0; i < fields; ++i) container.encodeNil();
}

CSVEncoder::Lazy<platform::Data> CSVEncoder::lazyToData() const {
  return Lazy<platform::Data>(makeSink(std::nullopt, false));
}
CSVEncoder::Lazy<std::string> CSVEncoder::lazyToString() const {
  return Lazy<std::string>(makeSink(std::nullopt, false));
}
CSVEncoder::Lazy<std::filesystem::path> CSVEncoder::lazyToFile(const std::filesystem::path& fileURL,
                                                               bool append) const {
  return Lazy<std::filesystem::path>(makeSink(fileURL, append));
}

}  // namespace RecordCSV
