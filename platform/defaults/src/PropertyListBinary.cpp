#include "platform/defaults/PropertyListBinary.hpp"

#include <plist/plist.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

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
      PropertyList::Array items;
      const std::uint32_t count = plist_array_get_size(node);
      items.reserve(count);
      for (std::uint32_t i = 0; i < count; ++i) {
        std::optional<PropertyList> item = fromNode(plist_array_get_item(node, i), depth + 1);
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

bool PropertyListBinary::isBinary(const Data& bytes) { return bytes.view().starts_with("bplist00"); }

std::optional<PropertyList> PropertyListBinary::read(const Data& bytes) {
  if (!isBinary(bytes) || bytes.size() > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
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
