#include "decoder/ShadowDecoder.hpp"

#include "RecordCSV/CodingKeys.hpp"

namespace RecordCSV {

using platform::coding::CodingKey;
using platform::coding::CodingPath;

CSVDecoderError invalidPathError(const char* reason, const char* help, const CodingPath& path, const CodingKey* key) {
  platform::UserInfo userInfo;
  userInfo.add("Coding path", path);
  if (key) userInfo.add("Key", *key);
  return CSVDecoderError(CSVDecoder::Error::invalidPath, reason, help, std::move(userInfo));
}

platform::coding::KeyedDecodingBox ShadowDecoder::makeKeyedContainer() {
  return platform::coding::KeyedDecodingBox::make<KeyedContainer>(*this);
}

platform::coding::UnkeyedDecodingBox ShadowDecoder::makeUnkeyedContainer() {
  return platform::coding::UnkeyedDecodingBox::make<UnkeyedContainer>(*this);
}

platform::coding::SingleValueDecodingBox ShadowDecoder::makeSingleValueContainer() {
  return platform::coding::SingleValueDecodingBox::make<SingleValueContainer>(*this);
}

platform::coding::CodingPath ValueSite::codingPath() const {
  CodingPath whole = path;
  if (key) whole.push_back(*key);
  for (int i = 0; i < indexCount; ++i) whole.push_back(CodingKey(IndexKey(indexes[static_cast<std::size_t>(i)])));
  return whole;
}

ShadowDecoder::SingleValueContainer::SingleValueContainer(const ShadowDecoder& decoder)
    : source_(&decoder.source()), path_(decoder) {
  switch (codingPath().size()) {
    case 0:
      focus_ = ValueFocus::file();
      return;
    case 1:
    case 2: {
      const std::optional<std::int64_t> row = codingPath()[0].intValue();
      if (!row)
        throw invalidPathError("The coding key identifying a CSV row couldn't be transformed into an integer value.",
                               "The provided coding key identifying a CSV row must implement `intValue`.", codingPath(),
                               &codingPath()[0]);
      focus_ = codingPath().size() == 1 ? ValueFocus::ofRow(*row)
                                        : ValueFocus::ofField(*row, source_->fieldIndex(codingPath()[1], codingPath()));
      return;
    }
    default:
      throw invalidPathError("A CSV doesn't support more than two nested decoding containers.",
                             "Don't ask for a single value encoding container on this coding path.", codingPath());
  }
}

}  // namespace RecordCSV
