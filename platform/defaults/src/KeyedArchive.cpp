#include "platform/defaults/KeyedArchive.hpp"

#include <plist/plist.h>

#include <cstdlib>
#include <limits>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "BinaryPropertyListShape.hpp"
#include "PlistArrayItems.hpp"

namespace platform {
namespace {

struct PlistFree {
  void operator()(plist_t node) const { plist_free(node); }
};
using Plist = std::unique_ptr<void, PlistFree>;

struct CharFree {
  void operator()(void* memory) const { std::free(memory); }
};

Error corrupt() { return KeyedArchive::corruptArchive(); }

std::optional<std::string> stringValue(plist_t node) {
  if (!node || plist_get_node_type(node) != PLIST_STRING) return std::nullopt;
  const char* text = plist_get_string_ptr(node, nullptr);
  return text ? std::optional<std::string>(text) : std::nullopt;
}

std::optional<std::uint64_t> uidValue(plist_t node) {
  if (!node || plist_get_node_type(node) != PLIST_UID) return std::nullopt;
  std::uint64_t value = 0;
  plist_get_uid_val(node, &value);
  return value;
}

using Field = std::pair<std::unique_ptr<char, CharFree>, plist_t>;

/// The dictionary's keys and values, in its order.
std::vector<Field> dictionaryItems(plist_t dictionary) {
  std::vector<Field> items;
  plist_dict_iter iterator = nullptr;
  plist_dict_new_iter(dictionary, &iterator);
  std::unique_ptr<void, CharFree> iteratorOwner(iterator);  // the iterator is malloc'd
  while (true) {
    char* rawKey = nullptr;
    plist_t node = nullptr;
    plist_dict_next_item(dictionary, iterator, &rawKey, &node);
    std::unique_ptr<char, CharFree> key(rawKey);
    if (!node) return items;
    items.emplace_back(std::move(key), node);
  }
}

/// The bytes a copy of the text or data costs, nothing for other objects.
std::uint64_t copiedLength(plist_t object) {
  std::uint64_t length = 0;
  if (plist_get_node_type(object) == PLIST_STRING)
    plist_get_string_ptr(object, &length);
  else if (plist_get_node_type(object) == PLIST_DATA)
    plist_get_data_ptr(object, &length);
  return length;
}

}  // namespace

Error KeyedArchive::corruptArchive() {
  return Error(std::string(errorDomain), readCorruptError,
               "The data couldn’t be read because it isn’t in the correct format.");
}

Data KeyedArchive::archive(const Object& root) {
  plist_t objects = plist_new_array();
  plist_array_append_item(objects, plist_new_string("$null"));
  plist_t object = plist_new_dict();
  plist_array_append_item(objects, object);
  for (const auto& [key, value] : root.fields) {
    plist_t node = nullptr;
    if (const bool* boolean = std::get_if<bool>(&value)) {
      node = plist_new_bool(*boolean ? 1 : 0);
    } else if (const std::int64_t* integer = std::get_if<std::int64_t>(&value)) {
      node = plist_new_uint(static_cast<std::uint64_t>(*integer));
    } else if (const double* real = std::get_if<double>(&value)) {
      node = plist_new_real(*real);
    } else {
      // Texts and data are objects of their own, referenced by index.
      plist_t referenced = nullptr;
      if (const std::string* text = std::get_if<std::string>(&value))
        referenced = plist_new_string(text->c_str());
      else if (const Data* data = std::get_if<Data>(&value))
        referenced = plist_new_data(reinterpret_cast<const char*>(data->data()), data->size());
      node = plist_new_uid(plist_array_get_size(objects));
      plist_array_append_item(objects, referenced);
    }
    plist_dict_set_item(object, key.c_str(), node);
  }
  plist_t classDescription = plist_new_dict();
  plist_dict_set_item(classDescription, "$classname", plist_new_string(root.className.c_str()));
  plist_t classes = plist_new_array();
  plist_array_append_item(classes, plist_new_string(root.className.c_str()));
  plist_array_append_item(classes, plist_new_string("NSObject"));
  plist_dict_set_item(classDescription, "$classes", classes);
  plist_dict_set_item(object, "$class", plist_new_uid(plist_array_get_size(objects)));
  plist_array_append_item(objects, classDescription);

  Plist archive(plist_new_dict());
  plist_dict_set_item(archive.get(), "$archiver", plist_new_string("NSKeyedArchiver"));
  plist_dict_set_item(archive.get(), "$version", plist_new_uint(100000));
  plist_t top = plist_new_dict();
  plist_dict_set_item(top, "root", plist_new_uid(1));
  plist_dict_set_item(archive.get(), "$top", top);
  plist_dict_set_item(archive.get(), "$objects", objects);

  char* bytes = nullptr;
  std::uint32_t length = 0;
  plist_to_bin(archive.get(), &bytes, &length);
  Data data(reinterpret_cast<const std::uint8_t*>(bytes), length);
  plist_to_bin_free(bytes);
  return data;
}

std::optional<KeyedArchive::Object> KeyedArchive::unarchive(const Data& data, std::string_view className) {
  if (data.size() < 8 || data.size() > std::numeric_limits<std::uint32_t>::max() ||
      !data.view().starts_with("bplist00") || !detail::hasParsableBinaryShape(data.view()))
    throw corrupt();
  plist_t parsed = nullptr;
  plist_from_bin(reinterpret_cast<const char*>(data.data()), static_cast<std::uint32_t>(data.size()), &parsed);
  Plist archive(parsed);
  if (!archive || plist_get_node_type(archive.get()) != PLIST_DICT) throw corrupt();
  if (stringValue(plist_dict_get_item(archive.get(), "$archiver")) != "NSKeyedArchiver") throw corrupt();
  plist_t objects = plist_dict_get_item(archive.get(), "$objects");
  plist_t top = plist_dict_get_item(archive.get(), "$top");
  if (!objects || plist_get_node_type(objects) != PLIST_ARRAY || !top || plist_get_node_type(top) != PLIST_DICT)
    throw corrupt();
  const std::vector<plist_t> objectList = detail::plistArrayItems(objects);
  auto objectAt = [&](std::optional<std::uint64_t> index) -> plist_t {
    if (!index || *index >= objectList.size()) throw corrupt();
    return objectList[static_cast<std::size_t>(*index)];
  };

  plist_t root = objectAt(uidValue(plist_dict_get_item(top, "root")));
  if (plist_get_node_type(root) != PLIST_DICT) throw corrupt();
  plist_t classDescription = objectAt(uidValue(plist_dict_get_item(root, "$class")));
  if (plist_get_node_type(classDescription) != PLIST_DICT) throw corrupt();
  std::optional<std::string> rootClass = stringValue(plist_dict_get_item(classDescription, "$classname"));
  if (!rootClass) throw corrupt();

  // Every field that refers to a text or data gets a copy of its own, however many fields share one
  // object: the shape check weighs the document's own references and cannot see these.
  const std::vector<Field> fields = dictionaryItems(root);
  const std::uint64_t copyLimit = detail::binaryCopyLimit(data.size());
  std::uint64_t copied = 0;
  for (const auto& [key, node] : fields) {
    if (!key || key.get()[0] == '$' || plist_get_node_type(node) != PLIST_UID) continue;
    copied += copiedLength(objectAt(uidValue(node)));
    if (copied > copyLimit) throw corrupt();
  }

  Object result{*rootClass, {}};
  for (const auto& [key, node] : fields) {
    if (!key || key.get()[0] == '$') continue;
    switch (plist_get_node_type(node)) {
      case PLIST_BOOLEAN: {
        std::uint8_t value = 0;
        plist_get_bool_val(node, &value);
        result.fields.emplace(key.get(), value != 0);
        break;
      }
      case PLIST_UINT: {
        std::uint64_t value = 0;
        plist_get_uint_val(node, &value);
        result.fields.emplace(key.get(), static_cast<std::int64_t>(value));
        break;
      }
      case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        result.fields.emplace(key.get(), value);
        break;
      }
      case PLIST_UID: {
        plist_t referenced = objectAt(uidValue(node));
        if (auto text = stringValue(referenced)) {
          result.fields.emplace(key.get(), *text);
        } else if (plist_get_node_type(referenced) == PLIST_DATA) {
          std::uint64_t length = 0;
          const char* bytes = plist_get_data_ptr(referenced, &length);
          result.fields.emplace(key.get(), Data(reinterpret_cast<const std::uint8_t*>(bytes), length));
        } else {
          throw corrupt();
        }
        break;
      }
      default: throw corrupt();
    }
  }
  // A sound archive of another class is no error: it just holds no object of the class asked for.
  if (result.className != className) return std::nullopt;
  return result;
}

}  // namespace platform
