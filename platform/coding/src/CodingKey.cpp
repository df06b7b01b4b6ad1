#include "platform/coding/CodingKey.hpp"

namespace platform::coding {

std::string CodingKey::description() const {
  std::string text(typeName_);
  text.append("(stringValue: \"").append(stringValue()).append("\", intValue: ");
  text.append(intValue_ ? std::to_string(*intValue_) : std::string("nil"));
  return text + ")";
}

std::string CodingPath::description() const {
  std::string text = "[";
  for (std::size_t i = 0; i < size_; ++i) {
    if (i) text += ", ";
    text += (*this)[i].description();
  }
  return text + "]";
}

bool operator==(const CodingPath& left, const CodingPath& right) noexcept {
  if (left.size_ != right.size_) return false;
  for (std::size_t i = 0; i < left.size_; ++i)
    if (!(left[i] == right[i])) return false;
  return true;
}

}  // namespace platform::coding
