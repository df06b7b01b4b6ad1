#pragma once
// The decoder of one CSVRowDecoder call over the reader's current row, and its two
// containers: keyed (fields by header name or position) and single-value (the field
// under the last key of the coding path, read through the decoder itself).

#include <string>
#include <string_view>

#include "CSV/CSVRowDecoder.hpp"

namespace CSV {

using platform::coding::CodingKey;
using platform::coding::CodingPath;
using platform::coding::Decoder;
using platform::coding::FunctionRef;

class RowDecoder final : public Decoder {
 public:
  RowDecoder(CSVReader& reader, const CSVRowDecoder::Options& options) : reader_(reader), options_(options) {}

  const CodingPath& codingPath() const override { return codingPath_; }
  const platform::coding::UserInfo& userInfo() const override { return options_.userInfo; }
  platform::coding::KeyedDecodingBox makeKeyedContainer() override;
  platform::coding::UnkeyedDecodingBox makeUnkeyedContainer() override;
  platform::coding::SingleValueDecodingBox makeSingleValueContainer() override;

  // The keyed container's work.
  bool contains(const CodingKey& key) const;
  bool decodeNil(const CodingKey& key) const { return isNil(field(key)); }
  /// The field under `key`, converted to T with the key on the coding path.
  template <typename T>
  T decode(const CodingKey& key);
  /// Runs a type's own decoding with the key on the coding path.
  void withDecoder(const CodingKey& key, std::string_view type, FunctionRef<void(Decoder&)> decode);
  [[noreturn]] void refuseNesting(std::string_view text) const;

  // The single-value container's work, on the field of the last key.
  bool decodeNil() const { return isNil(currentField()); }
  template <typename T>
  T decode();
  void withDecoder(std::string_view type, FunctionRef<void(Decoder&)> decode);

 private:
  class KeyedContainer;
  class SingleValueContainer;

  std::string field(const CodingKey& key) const;
  std::string currentField() const;
  bool isNil(const std::string& text) const;
  /// The value of a field text; nothing for the empty text.
  template <typename T>
  std::optional<T> converted(const std::string& text);
  template <typename T>
  T convertedOrThrow(const std::string& text);
  void enter(const CodingKey& key);

  CSVReader& reader_;
  const CSVRowDecoder::Options& options_;
  CodingPath codingPath_;
};

}  // namespace CSV
