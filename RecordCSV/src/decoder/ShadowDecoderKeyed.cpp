// The keyed container: the whole input keyed by row, or one row keyed by column.

#include "RecordCSV/CodingKeys.hpp"
#include "decoder/ShadowDecoder.hpp"

namespace RecordCSV {
namespace {

using platform::coding::CodingKey;
using platform::coding::CodingPath;

CSVDecoderError rowKeyWithoutInteger(const CodingPath& path, const CodingKey& key) {
  return invalidPathError("The coding key identifying a CSV row couldn't be transformed into an integer value.",
                          "The provided coding key identifying a CSV row must implement `intValue`.", path, &key);
}

CSVDecoderError tooDeep(const CodingPath& path, const CodingKey& key) {
  return invalidPathError("A CSV doesn't support more than two nested decoding container.",
                          "Don't ask for a nested container on the targeted key for this coding path.", path, &key);
}

}  // namespace

ShadowDecoder::KeyedContainer::KeyedContainer(const ShadowDecoder& decoder)
    : source_(&decoder.source()), path_(decoder) {
  if (codingPath().empty()) return;
  if (codingPath().size() > 1) throw tooDeep(codingPath(), codingPath().back());
  row_ = codingPath()[0].intValue();
  if (!row_) throw rowKeyWithoutInteger(codingPath(), codingPath()[0]);
}

void ShadowDecoder::KeyedContainer::allKeys(platform::coding::KeyCollector& collector) {
  if (row_) {
    const std::int64_t fields = source_->expectedFieldCount();
    bool accepted = false;
    for (std::int64_t i = 0; i < fields; ++i) accepted = collector.offer(i) || accepted;
    if (accepted || fields <= 0) return;
    for (const std::string& header : source_->headers()) collector.offer(std::string_view(header));
    return;
  }
  if (source_->reader().status().kind() == CSVReader::Status::Kind::active) return;
  const std::int64_t rows = source_->rowsRead();
  for (std::int64_t i = 0; i < rows; ++i) collector.offer(i);
}

bool ShadowDecoder::KeyedContainer::contains(const CodingKey& key) {
  const std::optional<std::int64_t> index = key.intValue();
  if (!row_) return index && source_->containsRow(*index);
  if (index) return *index >= 0 && *index < source_->expectedFieldCount();
  return source_->hasHeader(key.stringValue());
}

bool ShadowDecoder::KeyedContainer::decodeNil(const CodingKey& key) { return ShadowValues::decodeNil(fieldSite(key)); }

ValueSite ShadowDecoder::KeyedContainer::fieldSite(const CodingKey& key) {
  if (row_)
    return ValueSite{*source_, ValueFocus::ofField(*row_, source_->fieldIndex(key, codingPath())), codingPath(), &key};
  const std::optional<std::int64_t> row = key.intValue();
  if (!row) throw rowKeyWithoutInteger(codingPath().appending(key), key);
  // A row of the input is a plain value only when it has a single field.
  if (source_->expectedFieldCount() != 1)
    throw invalidPathError("A nested container is needed to decode CSV row values",
                           "Request a nested container instead of trying to decode a value directly.", codingPath());
  return ValueSite{*source_, ValueFocus::ofField(*row, 0), codingPath(), &key}.withIndex(0);
}

void ShadowDecoder::KeyedContainer::withDecoder(
    const CodingKey& key, platform::coding::FunctionRef<void(platform::coding::Decoder&)> decode) {
  ShadowDecoder decoder(*source_, codingPath(), key);
  decode(decoder);
}

CodingPath ShadowDecoder::KeyedContainer::rowPath(const CodingKey& key, std::int64_t& row) const {
  if (row_) throw tooDeep(codingPath(), key);
  const std::optional<std::int64_t> index = key.intValue();
  if (!index) throw rowKeyWithoutInteger(codingPath().appending(key), key);
  row = *index;
  // The row is named by its position, whatever key the caller used.
  return codingPath().appending(CodingKey(IndexKey(row)));
}

platform::coding::KeyedDecodingBox ShadowDecoder::KeyedContainer::nestedContainer(const CodingKey& key) {
  std::int64_t row = 0;
  CodingPath path = rowPath(key, row);
  return platform::coding::KeyedDecodingBox::make<KeyedContainer>(*source_, std::move(path), row);
}

platform::coding::UnkeyedDecodingBox ShadowDecoder::KeyedContainer::nestedUnkeyedContainer(const CodingKey& key) {
  std::int64_t row = 0;
  CodingPath path = rowPath(key, row);
  return platform::coding::UnkeyedDecodingBox::make<UnkeyedContainer>(*source_, std::move(path), row);
}

std::unique_ptr<platform::coding::Decoder> ShadowDecoder::KeyedContainer::superDecoder() {
  if (row_) throw tooDeep(codingPath(), CodingKey(NameKey{0, "super"}));
  return std::make_unique<ShadowDecoder>(*source_, codingPath().appending(CodingKey(IndexKey(0))));
}

std::unique_ptr<platform::coding::Decoder> ShadowDecoder::KeyedContainer::superDecoder(const CodingKey& key) {
  std::int64_t row = 0;
  return std::make_unique<ShadowDecoder>(*source_, rowPath(key, row));
}

}  // namespace RecordCSV
