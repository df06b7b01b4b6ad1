#pragma once
// Binary property lists written object by object, so that tests can share one object among any
// number of references, as a hostile writer would; the library's own writer never does.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/Data.hpp"

namespace platform {

/// One object of a binary property list: an unsigned integer, an ASCII text, data, an archive's
/// reference (uid), an array of references, or a dictionary whose references are its keys, then its values.
struct BinaryObject {
  enum class Kind : std::uint8_t { integer = 0x1, data = 0x4, ascii = 0x5, uid = 0x8, array = 0xA, dictionary = 0xD };
  Kind kind = Kind::integer;
  std::uint64_t integer = 0;
  std::string bytes;
  std::vector<std::uint32_t> references;

  static BinaryObject number(std::uint64_t value) { return {Kind::integer, value, {}, {}}; }
  static BinaryObject text(std::string value) { return {Kind::ascii, 0, std::move(value), {}}; }
  static BinaryObject blob(std::string value) { return {Kind::data, 0, std::move(value), {}}; }
  static BinaryObject uid(std::uint8_t value) { return {Kind::uid, value, {}, {}}; }
  static BinaryObject array(std::vector<std::uint32_t> items) { return {Kind::array, 0, {}, std::move(items)}; }
  static BinaryObject dictionary(std::vector<std::uint32_t> keys, const std::vector<std::uint32_t>& values) {
    keys.insert(keys.end(), values.begin(), values.end());
    return {Kind::dictionary, 0, {}, std::move(keys)};
  }
};

/// The document of `objects`, object 0 at the top, with references as narrow as the object count allows.
inline Data binaryDocument(const std::vector<BinaryObject>& objects) {
  std::string bytes = "bplist00";
  auto bigEndian = [&bytes](std::uint64_t value, std::size_t width) {
    for (std::size_t shift = 8 * width; shift > 0; shift -= 8) bytes += static_cast<char>(value >> (shift - 8));
  };
  auto integer = [&](std::uint64_t value) {
    std::uint8_t power = 0;
    while (power < 3 && value >> (8u << power) != 0) ++power;
    bytes += static_cast<char>(0x10 | power);
    bigEndian(value, std::size_t{1} << power);
  };
  auto marker = [&](BinaryObject::Kind kind, std::size_t count) {
    const auto high = static_cast<std::uint8_t>(static_cast<std::uint8_t>(kind) << 4);
    if (count < 0xF) {
      bytes += static_cast<char>(high | count);
    } else {
      bytes += static_cast<char>(high | 0xF);
      integer(count);
    }
  };
  const std::size_t referenceSize = objects.size() <= 0x100 ? 1 : objects.size() <= 0x10000 ? 2 : 4;
  std::vector<std::uint64_t> offsets;
  offsets.reserve(objects.size());
  for (const BinaryObject& object : objects) {
    offsets.push_back(bytes.size());
    switch (object.kind) {
      case BinaryObject::Kind::integer: integer(object.integer); break;
      case BinaryObject::Kind::uid:
        bytes += static_cast<char>(0x80);
        bigEndian(object.integer, 1);
        break;
      case BinaryObject::Kind::data:
      case BinaryObject::Kind::ascii:
        marker(object.kind, object.bytes.size());
        bytes += object.bytes;
        break;
      case BinaryObject::Kind::array:
      case BinaryObject::Kind::dictionary:
        marker(object.kind, object.kind == BinaryObject::Kind::array ? object.references.size()
                                                                      : object.references.size() / 2);
        for (std::uint32_t reference : object.references) bigEndian(reference, referenceSize);
        break;
    }
  }
  const std::uint64_t table = bytes.size();
  for (std::uint64_t offset : offsets) bigEndian(offset, 4);
  bytes += std::string(6, '\0');
  bytes += static_cast<char>(4);
  bytes += static_cast<char>(referenceSize);
  bigEndian(objects.size(), 8);
  bigEndian(0, 8);
  bigEndian(table, 8);
  return Data::fromString(bytes);
}

/// `shared` followed by the objects it refers to, whose references count from `shared`, moved to `base`.
inline std::vector<BinaryObject> placedAt(std::vector<BinaryObject> shared, std::uint32_t base) {
  for (BinaryObject& object : shared)
    for (std::uint32_t& reference : object.references) reference += base;
  return shared;
}

/// An array of `references` references to `shared.front()`.
inline Data binaryFanOut(std::uint32_t references, const std::vector<BinaryObject>& shared) {
  std::vector<BinaryObject> objects{BinaryObject::array(std::vector<std::uint32_t>(references, 1))};
  for (BinaryObject& object : placedAt(shared, 1)) objects.push_back(std::move(object));
  return binaryDocument(objects);
}

/// A keyed archive of one object of class "Thing" without fields, whose object list also holds
/// `references` references to `shared.front()`: sound, and as costly to parse as the fan-out.
inline Data binaryArchiveSharing(std::uint32_t references, const std::vector<BinaryObject>& shared) {
  // 0 the archive, 5 its $top, 6 its $objects: $null (9), the root (10), its class (11), then the
  // shared object (16) again and again.
  using O = BinaryObject;
  constexpr std::uint32_t sharedAt = 16;
  std::vector<std::uint32_t> list{9, 10, 11};
  list.insert(list.end(), references, sharedAt);
  std::vector<BinaryObject> objects{
      O::dictionary({1, 2, 3}, {4, 5, 6}), O::text("$archiver"), O::text("$top"), O::text("$objects"),
      O::text("NSKeyedArchiver"), O::dictionary({7}, {8}), O::array(std::move(list)), O::text("root"), O::uid(1),
      O::text("$null"), O::dictionary({12}, {13}), O::dictionary({14}, {15}), O::text("$class"), O::uid(2),
      O::text("$classname"), O::text("Thing")};
  for (BinaryObject& object : placedAt(shared, sharedAt)) objects.push_back(std::move(object));
  return binaryDocument(objects);
}

/// A keyed archive of one object of `className` whose `fields` fields all refer to `shared`, one
/// object of the archive's object list: sound, and costly only to a reader that copies it per field.
inline Data binaryArchiveOfFieldsSharing(const std::string& className, std::uint32_t fields, BinaryObject shared) {
  // 0 the archive, 5 its $top, 6 its $objects: $null (9), the root (10), its class (11) and the
  // shared object (12). The root's $class refers to 11, each field (18 on) to 12.
  using O = BinaryObject;
  constexpr std::uint32_t firstField = 18;
  std::vector<std::uint32_t> keys{13};
  std::vector<std::uint32_t> values{14};
  for (std::uint32_t i = 0; i < fields; ++i) {
    keys.push_back(firstField + i);
    values.push_back(17);
  }
  std::vector<BinaryObject> objects{
      O::dictionary({1, 2, 3}, {4, 5, 6}), O::text("$archiver"), O::text("$top"), O::text("$objects"),
      O::text("NSKeyedArchiver"), O::dictionary({7}, {8}), O::array({9, 10, 11, 12}), O::text("root"), O::uid(1),
      O::text("$null"), O::dictionary(std::move(keys), values), O::dictionary({15}, {16}), std::move(shared),
      O::text("$class"), O::uid(2), O::text("$classname"), O::text(className), O::uid(3)};
  for (std::uint32_t i = 0; i < fields; ++i) objects.push_back(O::text("field" + std::to_string(i)));
  return binaryDocument(objects);
}

/// The shared objects of the costly shapes: a 16 KB text, 64 KB of data, an array of 16 integers.
inline std::vector<BinaryObject> sharedText() { return {BinaryObject::text(std::string(16 * 1024, 'x'))}; }
inline std::vector<BinaryObject> sharedData() { return {BinaryObject::blob(std::string(64 * 1024, '\x7f'))}; }
inline std::vector<BinaryObject> sharedIntegers() {
  std::vector<BinaryObject> objects{BinaryObject::array({})};
  for (std::uint32_t i = 1; i <= 16; ++i) {
    objects.front().references.push_back(i);
    objects.push_back(BinaryObject::number(i));
  }
  return objects;
}

}  // namespace platform
