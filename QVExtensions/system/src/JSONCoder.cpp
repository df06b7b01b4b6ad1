// The library's own dump recurses once per level of nesting, which a deep document (a
// TreeItem chain codes two levels per node) overflows the stack with. This writes the same
// text from an explicit stack; scalars and keys are still printed by the library.

#include <vector>

#include "QVExtensions/FileCoding.hpp"

namespace QVExtensions {
namespace {

using Json = nlohmann::json;

class Writer {
 public:
  explicit Writer(int indent) : indent_(indent) {}

  std::string write(const Json& document) {
    value(document, 0);
    while (!open_.empty()) {
      Container& container = open_.back();
      const bool object = container.json->is_object();
      if (container.next == container.json->cend()) {
        if (indent_ >= 0) newLine(container.level);
        text_ += object ? '}' : ']';
        open_.pop_back();
        continue;
      }
      if (!container.first) text_ += ',';
      container.first = false;
      if (indent_ >= 0) newLine(container.level + 1);
      if (object) {
        text_ += Json(container.next.key()).dump();
        text_ += indent_ >= 0 ? ": " : ":";
      }
      const Json& member = *container.next;
      const std::size_t level = container.level + 1;
      ++container.next;
      value(member, level);  // may open a container, which moves `container`
    }
    return std::move(text_);
  }

 private:
  struct Container {
    const Json* json;
    Json::const_iterator next;
    std::size_t level;
    bool first = true;
  };

  void value(const Json& json, std::size_t level) {
    if (!json.is_structured()) {
      text_ += json.dump();
    } else if (json.empty()) {
      text_ += json.is_object() ? "{}" : "[]";
    } else {
      text_ += json.is_object() ? '{' : '[';
      open_.push_back({&json, json.cbegin(), level});
    }
  }

  void newLine(std::size_t level) {
    text_ += '\n';
    text_.append(static_cast<std::size_t>(indent_) * level, ' ');
  }

  int indent_;
  std::string text_;
  std::vector<Container> open_;
};

}  // namespace

platform::Data JSONCoder::write(const nlohmann::json& document) const {
  return platform::Data::fromString(Writer(indent).write(document));
}

}  // namespace QVExtensions
