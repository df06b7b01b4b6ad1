#include "RecordCSV/CodingKeys.hpp"
#include "encoder/ShadowEncoder.hpp"

namespace RecordCSV {
namespace {

using platform::coding::CodingKey;
using platform::coding::CodingPath;

CSVEncoderError nestingError(const CodingPath& path) {
  return ShadowEncoderErrors::tooDeep(path, "Don't ask for a unkeyed encoding container on this coding path.");
}

/// Out of line, so that the path of every element stays small.
[[noreturn, gnu::cold, gnu::noinline]] void failPlainRow(const CodingPath& path) {
  throw ShadowEncoderErrors::nestedContainerRequired(path);
}

}  // namespace

ShadowEncoder::UnkeyedContainer::UnkeyedContainer(const ShadowEncoder& encoder)
    : sink_(&encoder.sink()), codingPath_(encoder.codingPath()) {
  if (codingPath_.size() > 1) throw nestingError(codingPath_);
  if (codingPath_.empty()) return;
  row_ = codingPath_[0].intValue();
  if (!row_) throw ShadowEncoderErrors::invalidRowKey(codingPath_, codingPath_[0]);
}

std::int64_t ShadowEncoder::UnkeyedContainer::count() const {
  const CSVWriter& writer = sink_->writer();
  if (!row_) return writer.rowIndex() + sink_->bufferedRowCount();
  if (*row_ < writer.rowIndex()) return writer.expectedFields();
  if (*row_ == writer.rowIndex()) return sink_->bufferedFieldCount(*row_) + writer.fieldIndex();
  return sink_->bufferedFieldCount(*row_);
}

EncodingSite ShadowEncoder::UnkeyedContainer::elementSite() const {
  const EncodingSite site{*sink_, EncodingFocus::ofField(row_.value_or(currentIndex_), row_ ? currentIndex_ : 0),
                          codingPath_};
  if (row_) return site.withIndex(currentIndex_);
  // At the file level an element is a row, which can stand for one value only when rows have one field.
  if (sink_->writer().expectedFields() != 1) failPlainRow(codingPath_);
  return site.withIndex(currentIndex_).withIndex(0);
}

void ShadowEncoder::UnkeyedContainer::withEncoder(
    platform::coding::FunctionRef<void(platform::coding::Encoder&)> encode) {
  ShadowEncoder encoder(*sink_, codingPath_.appending(IndexKey(currentIndex_)));
  encode(encoder);
  ++currentIndex_;
}

std::optional<platform::coding::CodingPath> ShadowEncoder::UnkeyedContainer::takeRowPath(std::int64_t& row) {
  if (row_) return std::nullopt;
  row = currentIndex_++;
  return codingPath_.appending(IndexKey(row));
}

template <typename Box, typename Container>
Box ShadowEncoder::UnkeyedContainer::nested() {
  std::int64_t row = 0;
  std::optional<CodingPath> path = takeRowPath(row);
  // A row holds no containers; the refusal surfaces at the first write.
  if (!path)
    return Box::template make<InvalidContainer>(std::make_exception_ptr(nestingError(codingPath_)),
                                                ShadowEncoder(*sink_, codingPath_));
  return Box::template make<Container>(*sink_, std::move(*path), row);
}

platform::coding::KeyedEncodingBox ShadowEncoder::UnkeyedContainer::nestedContainer() {
  return nested<platform::coding::KeyedEncodingBox, KeyedContainer>();
}

platform::coding::UnkeyedEncodingBox ShadowEncoder::UnkeyedContainer::nestedUnkeyedContainer() {
  return nested<platform::coding::UnkeyedEncodingBox, UnkeyedContainer>();
}

std::unique_ptr<platform::coding::Encoder> ShadowEncoder::UnkeyedContainer::superEncoder() {
  std::int64_t row = 0;
  std::optional<CodingPath> path = takeRowPath(row);
  // A row holds no rows: the super encoder of a row stands at a key that names no field.
  if (!path) return std::make_unique<ShadowEncoder>(*sink_, codingPath_.appending(InvalidKey{}));
  return std::make_unique<ShadowEncoder>(*sink_, std::move(*path));
}

}  // namespace RecordCSV
