// The unkeyed container: the whole input as a sequence of rows, or one row as a sequence of fields.

#include "RecordCSV/CodingKeys.hpp"
#include "decoder/ShadowDecoder.hpp"

namespace RecordCSV {
namespace {

using platform::coding::CodingKey;
using platform::coding::CodingPath;

CSVDecoderError nestingTooDeep(const CodingPath& path) {
  return invalidPathError("A CSV doesn't support more than two nested decoding container.",
                          "Don't ask for a unkeyed decoding container on this coding path.", path);
}

}  // namespace

ShadowDecoder::UnkeyedContainer::UnkeyedContainer(const ShadowDecoder& decoder)
    : source_(&decoder.source()), path_(decoder) {
  if (codingPath().empty()) return;
  if (codingPath().size() > 1) throw nestingTooDeep(codingPath());
  row_ = codingPath()[0].intValue();
  if (!row_)
    throw invalidPathError("The coding key identifying a CSV row couldn't be transformed into an integer value.",
                           "The provided coding key identifying a CSV row must implement `intValue`.", codingPath(),
                           &codingPath()[0]);
}

std::optional<std::int64_t> ShadowDecoder::UnkeyedContainer::count() {
  if (row_) return source_->expectedFieldCount();
  // The number of rows is known only once the reader has met the end or failed.
  if (source_->reader().status().kind() == CSVReader::Status::Kind::active) return std::nullopt;
  return source_->rowsRead();
}

bool ShadowDecoder::UnkeyedContainer::isAtEnd() {
  if (row_) {
    const std::int64_t fields = source_->expectedFieldCount();
    // A reader that failed before any row fixed the width shows no end of the row: the next
    // decode reports the failure instead of an empty row passing for a decoded one.
    if (fields == 0 && source_->reader().status().kind() == CSVReader::Status::Kind::failed) return false;
    return fields <= currentIndex_;
  }
  try {
    return source_->isPastEnd(currentIndex_);
  } catch (...) {
    // The failure comes back at the next decode, which is at this index. Once an element was
    // handed out for it, the rows have ended: every later look-ahead fails the same way, and a
    // loop over elements that read no field would never end.
    if (failedAt_ && currentIndex_ > *failedAt_) return true;
    failedAt_ = currentIndex_;
    return false;
  }
}

ValueSite ShadowDecoder::UnkeyedContainer::elementSite() {
  const ValueSite element{*source_, ValueFocus::ofField(row_.value_or(currentIndex_), row_ ? currentIndex_ : 0),
                          codingPath()};
  if (row_) return element.withIndex(currentIndex_);
  // A row of the input is a plain value only when it has a single field.
  if (source_->expectedFieldCount() != 1)
    throw invalidPathError("A nested container is needed to decode at this coding path.",
                           "Request a nested container instead of trying to decode a value directly.", codingPath());
  return element.withIndex(currentIndex_).withIndex(0);
}

bool ShadowDecoder::UnkeyedContainer::decodeNil() {
  if (!ShadowValues::decodeNil(elementSite())) return false;
  ++currentIndex_;
  return true;
}

void ShadowDecoder::UnkeyedContainer::withDecoder(
    platform::coding::FunctionRef<void(platform::coding::Decoder&)> decode) {
  CodingKey element{IndexKey(currentIndex_)};
  if (elementDecoderInUse_) {
    ShadowDecoder decoder(*source_, codingPath(), std::move(element));
    decode(decoder);
  } else {
    if (elementDecoder_)
      elementDecoder_->replaceLastKey(std::move(element));
    else
      elementDecoder_ = std::make_unique<ShadowDecoder>(*source_, codingPath(), std::move(element));
    elementDecoderInUse_ = true;
    struct Release {
      bool& inUse;
      ~Release() { inUse = false; }
    } release{elementDecoderInUse_};
    decode(*elementDecoder_);
  }
  ++currentIndex_;
}

CodingPath ShadowDecoder::UnkeyedContainer::takeRowPath(std::int64_t& row) {
  if (row_) throw nestingTooDeep(codingPath());
  row = currentIndex_++;
  return codingPath().appending(CodingKey(IndexKey(row)));
}

platform::coding::KeyedDecodingBox ShadowDecoder::UnkeyedContainer::nestedContainer() {
  std::int64_t row = 0;
  CodingPath path = takeRowPath(row);
  return platform::coding::KeyedDecodingBox::make<KeyedContainer>(*source_, std::move(path), row);
}

platform::coding::UnkeyedDecodingBox ShadowDecoder::UnkeyedContainer::nestedUnkeyedContainer() {
  std::int64_t row = 0;
  CodingPath path = takeRowPath(row);
  return platform::coding::UnkeyedDecodingBox::make<UnkeyedContainer>(*source_, std::move(path), row);
}

std::unique_ptr<platform::coding::Decoder> ShadowDecoder::UnkeyedContainer::superDecoder() {
  std::int64_t row = 0;
  return std::make_unique<ShadowDecoder>(*source_, takeRowPath(row));
}

}  // namespace RecordCSV
