#include "RecordCSV/CodingKeys.hpp"
#include "encoder/ShadowEncoder.hpp"

namespace RecordCSV {
namespace {

using platform::coding::CodingKey;
using platform::coding::CodingPath;

CSVEncoderError nestingError(const CodingPath& path, const CodingKey& key) {
  return ShadowEncoderErrors::tooDeep(path, "Don't ask for a nested container on the targeted key for this coding path.",
                                      &key);
}

/// Why a key of the file container cannot name a plain value: it names no row, or rows have
/// other than one field. Out of line, so that the path of every field stays small.
[[noreturn, gnu::cold, gnu::noinline]] void failFieldOfFile(const CodingPath& path, const CodingKey& key,
                                                             bool namesRow) {
  const CodingPath keyPath = path.appending(key);
  if (!namesRow) throw ShadowEncoderErrors::invalidRowKey(keyPath, key);
  throw ShadowEncoderErrors::nestedContainerRequired(keyPath);
}

}  // namespace

ShadowEncoder::KeyedContainer::KeyedContainer(const ShadowEncoder& encoder)
    : sink_(&encoder.sink()), codingPath_(encoder.codingPath()) {
  if (codingPath_.size() > 1) throw nestingError(codingPath_, codingPath_.back());
  if (codingPath_.empty()) return;
  row_ = codingPath_[0].intValue();
  if (!row_) throw ShadowEncoderErrors::invalidRowKey(codingPath_, codingPath_[0]);
}

EncodingSite ShadowEncoder::KeyedContainer::fieldSite(const CodingKey& key) {
  if (row_) return EncodingSite{*sink_, EncodingFocus::ofField(*row_, sink_->fieldIndex(key, codingPath_)), codingPath_, &key};
  // At the file level a key names a row, which can stand for one value only when rows have one field.
  const std::optional<std::int64_t> row = key.intValue();
  if (!row || sink_->writer().expectedFields() != 1) failFieldOfFile(codingPath_, key, row.has_value());
  return EncodingSite{*sink_, EncodingFocus::ofField(*row, 0), codingPath_, &key}.withIndex(0);
}

void ShadowEncoder::KeyedContainer::withEncoder(const CodingKey& key,
                                                platform::coding::FunctionRef<void(platform::coding::Encoder&)> encode) {
  ShadowEncoder encoder(*sink_, codingPath_.appending(key));
  encode(encoder);
}

void ShadowEncoder::KeyedContainer::encodeIfPresent(const CodingKey& key, const platform::coding::PresentValue* value) {
  const EncodingSite site = fieldSite(key);
  if (!value) return ShadowEncoderValues::encodeNil(site);
  FieldContainer field(site);
  value->encode(field);
}

template <typename Box, typename Container>
Box ShadowEncoder::KeyedContainer::nested(const CodingKey& key) {
  // A row holds no containers, and a file's rows are named by integers; a refusal surfaces at
  // the first write.
  const std::optional<std::int64_t> row = row_ ? std::nullopt : key.intValue();
  if (!row) {
    const CodingPath path = codingPath_.appending(key);
    const std::exception_ptr error = row_ ? std::make_exception_ptr(nestingError(path, key))
                                          : std::make_exception_ptr(ShadowEncoderErrors::invalidRowKey(path, key));
    return Box::template make<InvalidContainer>(error, ShadowEncoder(*sink_, codingPath_));
  }
  return Box::template make<Container>(*sink_, codingPath_.appending(key), *row);
}

platform::coding::KeyedEncodingBox ShadowEncoder::KeyedContainer::nestedContainer(const CodingKey& key) {
  return nested<platform::coding::KeyedEncodingBox, KeyedContainer>(key);
}

platform::coding::UnkeyedEncodingBox ShadowEncoder::KeyedContainer::nestedUnkeyedContainer(const CodingKey& key) {
  return nested<platform::coding::UnkeyedEncodingBox, UnkeyedContainer>(key);
}

std::unique_ptr<platform::coding::Encoder> ShadowEncoder::KeyedContainer::superEncoder() {
  return std::make_unique<ShadowEncoder>(*sink_, codingPath_.appending(NameKey{0, "super"}));
}

std::unique_ptr<platform::coding::Encoder> ShadowEncoder::KeyedContainer::superEncoder(const CodingKey& key) {
  return std::make_unique<ShadowEncoder>(*sink_, codingPath_.appending(key));
}

}  // namespace RecordCSV
