#include "encoder/ShadowEncoder.hpp"

#include "RecordCSV/CodingKeys.hpp"

namespace RecordCSV {
namespace {

using Failure = CSVEncoder::Error;
using platform::coding::CodingKey;
using platform::coding::CodingPath;

/// A container, or the invalid container that carries the error of making it.
template <typename Box, typename Container>
Box grant(const ShadowEncoder& encoder) {
  try {
    return Box::template make<Container>(encoder);
  } catch (...) {
    return Box::template make<ShadowEncoder::InvalidContainer>(std::current_exception(), encoder);
  }
}

}  // namespace

CSVEncoderError ShadowEncoderErrors::invalidRowKey(const CodingPath& path, const CodingKey& key) {
  return CSVEncoderError(Failure::invalidPath,
                         "The coding key identifying a CSV row couldn't be transformed into an integer value.",
                         "The provided coding key identifying a CSV row must implement `intValue`.",
                         platform::UserInfo().add("Coding path", path).add("Key", key));
}

CSVEncoderError ShadowEncoderErrors::tooDeep(const CodingPath& path, const char* recovery, const CodingKey* key) {
  platform::UserInfo info;
  info.add("Coding path", path);
  if (key) info.add("Key", *key);
  return CSVEncoderError(Failure::invalidPath, "A CSV doesn't support more than two nested encoding container.",
                         recovery, std::move(info));
}

CSVEncoderError ShadowEncoderErrors::nestedContainerRequired(const CodingPath& path) {
  return CSVEncoderError(Failure::invalidPath, "A nested container is needed to encode at this coding path.",
                         "Request a nested container instead of trying to encode a value directly.",
                         platform::UserInfo().add("Coding path", path));
}

platform::coding::KeyedEncodingBox ShadowEncoder::makeKeyedContainer() {
  return grant<platform::coding::KeyedEncodingBox, KeyedContainer>(*this);
}
platform::coding::UnkeyedEncodingBox ShadowEncoder::makeUnkeyedContainer() {
  return grant<platform::coding::UnkeyedEncodingBox, UnkeyedContainer>(*this);
}
platform::coding::SingleValueEncodingBox ShadowEncoder::makeSingleValueContainer() {
  return grant<platform::coding::SingleValueEncodingBox, SingleValueContainer>(*this);
}

ShadowEncoder::SingleValueContainer::SingleValueContainer(const ShadowEncoder& encoder)
    : sink_(&encoder.sink()), codingPath_(encoder.codingPath()) {
  const CodingPath& path = codingPath_;
  if (path.size() > 2)
    throw ShadowEncoderErrors::tooDeep(path, "Don't ask for a single value encoding container on this coding path.");
  if (path.empty()) return;
  const std::optional<std::int64_t> row = path[0].intValue();
  if (!row) throw ShadowEncoderErrors::invalidRowKey(path, path[0]);
  focus_ = path.size() == 1 ? EncodingFocus::ofRow(*row)
                            : EncodingFocus::ofField(*row, sink_->fieldIndex(path[1], path));
}

platform::coding::KeyedEncodingBox ShadowEncoder::InvalidContainer::keyedCopy() const {
  return platform::coding::KeyedEncodingBox::make<InvalidContainer>(error_, encoder_);
}
platform::coding::UnkeyedEncodingBox ShadowEncoder::InvalidContainer::unkeyedCopy() const {
  return platform::coding::UnkeyedEncodingBox::make<InvalidContainer>(error_, encoder_);
}

}  // namespace RecordCSV
