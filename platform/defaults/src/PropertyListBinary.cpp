#include "platform/defaults/PropertyListBinary.hpp"

#include <plist/plist.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "BinaryPropertyListShape.hpp"
#include "PlistArrayItems.hpp"

namespace platform {
namespace {

struct PlistDeleter {
  void operator()(plist_t node) const { plist_free(node); }
};
using Plist = std::unique_ptr<void, PlistDeleter>;

// Nesting deeper than the XML reader accepts is refused here too.
constexpr int maximumDepth = 512;

// The date as the format holds it. libplist hands dates out only as 32-bit seconds and a
// fraction without its sign, which misreads dates before 2001 and beyond 68 years; the
// node's own binary form carries the double (0x33, then 8 bytes big-endian, at offset 8).
std::optional<double> exactDate(plist_t node) {
  char* bytes = nullptr;
  std::uint32_t length = 0;
  plist_to_bin(node, &bytes, &length);
  std::optional<double> seconds;
  if (bytes && length >= 17 && static_cast<unsigned char>(bytes[8]) == 0x33) {
    std::uint64_t bits = 0;
    for (int i = 9; i < 17; ++i) bits = bits << 8 | static_cast<unsigned char>(bytes[i]);
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    seconds = value;
  }
  plist_to_bin_free(bytes);
  return seconds;
}

std::optional<PropertyList> fromNode(plist_t node, int depth) {
  if (!node || depth > maximumDepth) return std::nullopt;
  switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
      std::uint8_t value = 0;
      plist_get_bool_val(node, &value);
      return PropertyList(value != 0);
    }
    case PLIST_UINT: {
      std::uint64_t value = 0;
      plist_get_uint_val(node, &value);
      if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
        return PropertyList(static_cast<std::int64_t>(value));  // the format's negative numbers
      return PropertyList(value);
    }
    case PLIST_REAL: {
      double value = 0;
      plist_get_real_val(node, &value);
      return PropertyList(value);
    }
    case PLIST_STRING: {
      char* text = nullptr;
      plist_get_string_val(node, &text);
      PropertyList value(std::string(text ? text : ""));
      std::free(text);
      return value;
    }
    case PLIST_DATA: {
      char* bytes = nullptr;
      std::uint64_t length = 0;
      plist_get_data_val(node, &bytes, &length);
      PropertyList value(Data(reinterpret_cast<const std::uint8_t*>(bytes), static_cast<std::size_t>(length)));
      std::free(bytes);
      return value;
    }
    case PLIST_DATE: {
      if (std::optional<double> seconds = exactDate(node)) return PropertyList(Date{*seconds});
      return std::nullopt;
    }
    case PLIST_ARRAY: {
      const std::vector<plist_t> elements = detail::plistArrayItems(node);
      PropertyList::Array items;
      items.reserve(elements.size());
      for (plist_t element : elements) {
        std::optional<PropertyList> item = fromNode(element, depth + 1);
        if (!item) return std::nullopt;
        items.push_back(std::move(*item));
      }
      return PropertyList(std::move(items));
    }
    case PLIST_DICT: {
      PropertyList::Dictionary entries;
      plist_dict_iter iterator = nullptr;
      plist_dict_new_iter(node, &iterator);
      for (;;) {
        char* key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(node, iterator, &key, &value);
        if (!value) {
          std::free(key);
          break;
        }
        std::optional<PropertyList> entry = fromNode(value, depth + 1);
        std::string name(key ? key : "");
        std::free(key);
        if (!entry) {
          std::free(iterator);
          return std::nullopt;
        }
        entries.emplace(std::move(name), std::move(*entry));
      }
      std::free(iterator);
      return PropertyList(std::move(entries));
    }
    default:
      return std::nullopt;  // keys and identifiers belong to archives, not to plain values
  }
}

// Nothing when the value holds a date the format cannot carry or nests too deep.
plist_t toNode(const PropertyList& value, int depth) {
  if (depth > maximumDepth) return nullptr;
  switch (value.kind()) {
    case PropertyList::Kind::boolean:
      return plist_new_bool(*value.boolean() ? 1 : 0);
    case PropertyList::Kind::integer:
      return plist_new_uint(static_cast<std::uint64_t>(*value.integer()));
    case PropertyList::Kind::unsignedInteger:
      return plist_new_uint(*value.unsignedInteger());
    case PropertyList::Kind::real:
      return plist_new_real(*value.real());
    case PropertyList::Kind::string:
      // libplist takes texts up to their first NUL: one holding a NUL would be cut short.
      if (value.string()->find('\0') != std::string::npos) return nullptr;
      return plist_new_string(value.string()->c_str());
    case PropertyList::Kind::data:
      return plist_new_data(reinterpret_cast<const char*>(value.data()->data()), value.data()->size());
    case PropertyList::Kind::date: {
      const double seconds = std::floor(value.date()->timeIntervalSinceReferenceDate);
      if (!(seconds >= std::numeric_limits<std::int32_t>::min() && seconds <= std::numeric_limits<std::int32_t>::max()))
        return nullptr;
      const double fraction = value.date()->timeIntervalSinceReferenceDate - seconds;
      return plist_new_date(static_cast<std::int32_t>(seconds),
                            static_cast<std::int32_t>(std::min(999999L, std::lround(fraction * 1e6))));
    }
    case PropertyList::Kind::array: {
      Plist array(plist_new_array());
      for (const PropertyList& item : *value.array()) {
        plist_t node = toNode(item, depth + 1);
        if (!node) return nullptr;
        plist_array_append_item(array.get(), node);
      }
      return array.release();
    }
    case PropertyList::Kind::dictionary: {
      Plist dictionary(plist_new_dict());
      for (const auto& [key, item] : *value.dictionary()) {
        if (key.find('\0') != std::string::npos) return nullptr;
        plist_t node = toNode(item, depth + 1);
        if (!node) return nullptr;
        plist_dict_set_item(dictionary.get(), key.c_str(), node);
      }
      return dictionary.release();
    }
  }
  return nullptr;
}

}  // namespace

bool detail::hasParsableBinaryShape(std::string_view bytes) {
  constexpr std::size_t headerSize = 8;
  constexpr std::size_t trailerSize = 32;
  if (bytes.size() < headerSize + trailerSize) return false;
  auto number = [&bytes](std::size_t at, std::size_t width) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
  };
  const std::size_t trailer = bytes.size() - trailerSize;
  const std::size_t offsetSize = static_cast<unsigned char>(bytes[trailer + 6]);
  const std::size_t referenceSize = static_cast<unsigned char>(bytes[trailer + 7]);
  const std::uint64_t objectCount = number(trailer + 8, 8);
  const std::uint64_t top = number(trailer + 16, 8);
  const std::uint64_t table = number(trailer + 24, 8);
  if (offsetSize < 1 || offsetSize > 8 || referenceSize < 1 || referenceSize > 8 || top >= objectCount ||
      table < headerSize || table > trailer || objectCount > (trailer - table) / offsetSize)
    return false;

  // What an object holds: where its references lie and how many, and the bytes of its text or data.
  struct Contents {
    std::size_t start = 0;
    std::uint64_t count = 0;
    std::uint64_t payload = 0;
  };
  auto contentsOf = [&](std::uint64_t object) -> std::optional<Contents> {
    const std::uint64_t offset = number(table + object * offsetSize, offsetSize);
    if (offset < headerSize || offset >= table) return std::nullopt;
    const auto marker = static_cast<unsigned char>(bytes[offset]);
    const unsigned kind = marker >> 4;
    const bool holdsReferences = kind == 0xA || kind == 0xB || kind == 0xC || kind == 0xD;
    const bool holdsBytes = kind == 0x4 || kind == 0x5 || kind == 0x6;
    if (!holdsReferences && !holdsBytes) return Contents{};
    std::size_t start = offset + 1;
    std::uint64_t length = marker & 0xFu;
    if (length == 0xF) {  // the length follows as an integer object
      if (start >= table) return std::nullopt;
      const auto lengthMarker = static_cast<unsigned char>(bytes[start]);
      const std::size_t width = std::size_t{1} << (lengthMarker & 0xF);
      if (lengthMarker >> 4 != 0x1 || width > 8 || start + 1 + width > table) return std::nullopt;
      length = number(start + 1, width);
      start += 1 + width;
    }
    if (holdsBytes) {
      // UTF-16 texts are held as UTF-8 once read: up to three bytes for each two here.
      const std::uint64_t stored = kind == 0x6 ? 2 : 1;
      if (length > (table - start) / stored) return std::nullopt;
      return Contents{start, 0, kind == 0x6 ? 3 * length : length};
    }
    if (kind == 0xD) {  // keys, then values
      if (length > std::numeric_limits<std::uint64_t>::max() / 2) return std::nullopt;
      length *= 2;
    }
    if (length > (table - start) / referenceSize) return std::nullopt;
    return Contents{start, length, 0};
  };

  // Depth first from the top object, without recursion: each object's height (levels below it)
  // and its weight once every reference is copied, as the parser copies them: a node's worth of
  // bytes for each value, plus its text or data.
  constexpr std::uint64_t nodeWeight = 64;
  const std::uint64_t weightLimit = binaryCopyLimit(bytes.size());
  enum : std::uint8_t { unseen, open, done };
  std::vector<std::uint8_t> state(objectCount, unseen);
  std::vector<std::uint32_t> height(objectCount, 0);
  std::vector<std::uint64_t> weight(objectCount, 0);
  struct Frame {
    std::uint64_t object;
    Contents contents;
    std::uint64_t next;
  };
  std::vector<Frame> stack;
  auto enter = [&](std::uint64_t object) {
    const std::optional<Contents> contents = contentsOf(object);
    if (!contents) return false;
    state[object] = open;
    stack.push_back({object, *contents, 0});
    return true;
  };
  if (!enter(top)) return false;
  while (!stack.empty()) {
    Frame& frame = stack.back();
    if (frame.next < frame.contents.count) {
      const std::uint64_t child = number(frame.contents.start + frame.next++ * referenceSize, referenceSize);
      if (child >= objectCount || state[child] == open) return false;
      if (state[child] == unseen && (stack.size() > static_cast<std::size_t>(maximumDepth) || !enter(child))) return false;
      continue;
    }
    std::uint32_t levels = 0;
    std::uint64_t expanded = nodeWeight + frame.contents.payload;
    for (std::uint64_t i = 0; i < frame.contents.count; ++i) {
      const std::uint64_t child = number(frame.contents.start + i * referenceSize, referenceSize);
      levels = std::max(levels, height[child] + 1);
      expanded += weight[child];
      if (levels > static_cast<std::uint32_t>(maximumDepth) || expanded > weightLimit) return false;
    }
    height[frame.object] = levels;
    weight[frame.object] = expanded;
    state[frame.object] = done;
    stack.pop_back();
  }
  return true;
}

bool PropertyListBinary::isBinary(const Data& bytes) { return bytes.view().starts_with("bplist00"); }

std::optional<PropertyList> PropertyListBinary::read(const Data& bytes) {
  if (!isBinary(bytes) || bytes.size() > std::numeric_limits<std::uint32_t>::max() ||
      !detail::hasParsableBinaryShape(bytes.view()))
    return std::nullopt;
  plist_t root = nullptr;
  plist_from_bin(reinterpret_cast<const char*>(bytes.data()), static_cast<std::uint32_t>(bytes.size()), &root);
  const Plist owner(root);
  return fromNode(root, 0);
}

std::optional<Data> PropertyListBinary::write(const PropertyList& root) {
  const Plist node(toNode(root, 0));
  if (!node) return std::nullopt;
  char* bytes = nullptr;
  std::uint32_t length = 0;
  plist_to_bin(node.get(), &bytes, &length);
  Data result(reinterpret_cast<const std::uint8_t*>(bytes), length);
  plist_to_bin_free(bytes);
  return result;
}

}  // namespace platform
