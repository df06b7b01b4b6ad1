#pragma once
// The coding keys that the record decoder and encoder make themselves: a row or field by
// position (`IndexKey`), a position with a name (`NameKey`) and a key with neither a usable
// text nor an integer (`InvalidKey`). A caller can make an `IndexKey` from a text or an integer
// but never the other two, whose constructors from a text or an integer always refuse.

#include <array>
#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/coding/CodingKey.hpp"

namespace RecordCSV {

/// A row or a field by its position; its text is the position in decimal.
class IndexKey {
 public:
  explicit IndexKey(std::int64_t index) : index_(index) {
    length_ =
        static_cast<std::uint8_t>(std::to_chars(text_.data(), text_.data() + text_.size(), index).ptr - text_.data());
  }

  std::int64_t index() const noexcept { return index_; }
  std::string_view stringValue() const noexcept { return {text_.data(), length_}; }
  std::optional<std::int64_t> intValue() const noexcept { return index_; }

  /// A decimal integer with an optional sign, the whole text and within 64 bits; negative ones included.
  static std::optional<IndexKey> fromString(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
      text.remove_prefix(1);
      if (text.empty() || text.front() == '-') return std::nullopt;
    }
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return IndexKey(value);
  }
  /// Refuses a negative position.
  static std::optional<IndexKey> fromInt(std::int64_t value) {
    if (value < 0) return std::nullopt;
    return IndexKey(value);
  }

  std::string description() const { return platform::coding::CodingKey(*this).description(); }
  std::string debugDescription() const { return description(); }

  friend bool operator==(const IndexKey& left, const IndexKey& right) noexcept { return left.index_ == right.index_; }

 private:
  std::int64_t index_;
  // The text lives in the key, so that the view `stringValue()` gives stays valid with it.
  std::array<char, 20> text_{};
  std::uint8_t length_ = 0;
};

/// A position with a name; its text is the name.
struct NameKey {
  std::int64_t index = 0;
  std::string name;

  std::string_view stringValue() const noexcept { return name; }
  std::optional<std::int64_t> intValue() const noexcept { return index; }
  static std::optional<NameKey> fromString(std::string_view) { return std::nullopt; }
  static std::optional<NameKey> fromInt(std::int64_t) { return std::nullopt; }

  std::string description() const { return platform::coding::CodingKey(*this).description(); }
  std::string debugDescription() const { return description(); }

  friend bool operator==(const NameKey&, const NameKey&) = default;
};

/// A key that names nothing: empty text, no integer.
struct InvalidKey {
  std::string_view stringValue() const noexcept { return {}; }
  std::optional<std::int64_t> intValue() const noexcept { return std::nullopt; }
  static std::optional<InvalidKey> fromString(std::string_view) { return std::nullopt; }
  static std::optional<InvalidKey> fromInt(std::int64_t) { return std::nullopt; }

  std::string description() const { return platform::coding::CodingKey(*this).description(); }
  std::string debugDescription() const { return description(); }

  friend bool operator==(const InvalidKey&, const InvalidKey&) = default;
};

}  // namespace RecordCSV
