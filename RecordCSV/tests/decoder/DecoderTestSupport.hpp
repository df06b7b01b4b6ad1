#pragma once
// Record types and failure summaries shared by the decoder's tests.

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "RecordCSV/CSVDecoder.hpp"
#include "RecordCSV/CodingKeys.hpp"
#include "platform/coding/Codable.hpp"

namespace RecordCSV::testing {

/// A record keyed by header name.
struct Pupil {
  enum class Key { id, name, grade, note };
  friend constexpr std::array<std::string_view, 4> codingKeyNames(Key) { return {"id", "name", "grade", "note"}; }

  std::int64_t id = 0;
  std::string name;
  std::int32_t grade = 0;
  std::optional<std::string> note;

  static Pupil decode(platform::coding::Decoder& decoder) {
    auto c = decoder.container<Key>();
    return {c.decode<std::int64_t>(Key::id), c.decode<std::string>(Key::name), c.decode<std::int32_t>(Key::grade),
            c.decodeIfPresent<std::string>(Key::note)};
  }
  friend bool operator==(const Pupil&, const Pupil&) = default;
  friend void PrintTo(const Pupil& p, std::ostream* out) {
    *out << "{" << p.id << ", " << p.name << ", " << p.grade << ", " << p.note.value_or("nil") << "}";
  }
};

/// The same record by column position.
struct PupilByPosition {
  enum class Key { id, name, grade, note };
  friend constexpr std::array<std::string_view, 4> codingKeyNames(Key) { return {"id", "name", "grade", "note"}; }
  friend constexpr bool codingKeyUsesIndex(Key) { return true; }

  Pupil pupil;

  static PupilByPosition decode(platform::coding::Decoder& decoder) {
    auto c = decoder.container<Key>();
    return {{c.decode<std::int64_t>(Key::id), c.decode<std::string>(Key::name), c.decode<std::int32_t>(Key::grade),
             c.decodeIfPresent<std::string>(Key::note)}};
  }
};

/// A decoder failure as a test compares it: code, reason, help and user information texts.
struct DecoderFailure {
  std::int64_t code = 0;
  std::string reason;
  std::string help;
  std::vector<std::pair<std::string, std::string>> userInfo;
  friend bool operator==(const DecoderFailure&, const DecoderFailure&) = default;
};

inline void PrintTo(const DecoderFailure& failure, std::ostream* out) {
  *out << "{" << failure.code << ", \"" << failure.reason << "\", \"" << failure.help << "\", {";
  for (const auto& [key, text] : failure.userInfo) *out << key << ": " << text << "; ";
  *out << "}}";
}

inline DecoderFailure summary(const CSVDecoderError& error) {
  DecoderFailure failure{
      error.code(), error.failureReason().value_or("<none>"), error.helpAnchor().value_or("<none>"), {}};
  for (const auto& entry : error.userInfo()) failure.userInfo.emplace_back(entry.key, entry.text);
  return failure;
}

/// The decoder error `body` throws; fails the test when it throws anything else or nothing.
inline std::optional<DecoderFailure> decoderFailure(const std::function<void()>& body) {
  try {
    body();
  } catch (const CSVDecoderError& error) {
    EXPECT_EQ(error.domain(), "RecordCSV.Decoder");
    EXPECT_FALSE(error.recoverySuggestion());
    EXPECT_FALSE(error.underlyingError());
    return summary(error);
  } catch (const std::exception& error) {
    ADD_FAILURE() << "unexpected error: " << error.what();
    return std::nullopt;
  }
  ADD_FAILURE() << "no error";
  return std::nullopt;
}

/// A coding error as a test compares it: kind, type, path and description.
struct CodingFailure {
  platform::coding::DecodingError::Kind kind{};
  std::string type;
  std::string path;
  std::string description;
  friend bool operator==(const CodingFailure&, const CodingFailure&) = default;
};

inline void PrintTo(const CodingFailure& failure, std::ostream* out) {
  *out << "{" << static_cast<int>(failure.kind) << ", " << failure.type << ", " << failure.path << ", \""
       << failure.description << "\"}";
}

inline std::optional<CodingFailure> codingFailure(const std::function<void()>& body) {
  try {
    body();
  } catch (const platform::coding::DecodingError& error) {
    return CodingFailure{error.kind(), error.type(), error.codingPath().description(),
                         error.context().debugDescription};
  } catch (const std::exception& error) {
    ADD_FAILURE() << "unexpected error: " << error.what();
    return std::nullopt;
  }
  ADD_FAILURE() << "no error";
  return std::nullopt;
}

/// "IndexKey(stringValue: "i", intValue: i)" as coding paths describe it.
inline std::string indexKey(std::int64_t i) { return IndexKey(i).description(); }

/// The description of a path of keys given by their descriptions.
inline std::string path(std::initializer_list<std::string> keys) {
  std::string text = "[";
  for (const std::string& key : keys) text += (text.size() > 1 ? ", " : "") + key;
  return text + "]";
}

}  // namespace RecordCSV::testing

namespace RecordCSV::testing {

/// Runs a test's body with the decoder of the whole input.
struct Probe {
  static inline std::function<void(platform::coding::Decoder&)> body;
  static Probe decode(platform::coding::Decoder& decoder) {
    body(decoder);
    return {};
  }
};

inline void withTopDecoder(const CSVDecoder& decoder, std::string text,
                           std::function<void(platform::coding::Decoder&)> body) {
  Probe::body = std::move(body);
  (void)decoder.decode<Probe>(std::move(text));
  Probe::body = nullptr;
}

/// A key of any text or integer.
struct AnyKey {
  std::string text;
  std::optional<std::int64_t> number;

  static AnyKey of(std::int64_t value) { return {std::to_string(value), value}; }
  static AnyKey of(std::string name) { return {std::move(name), std::nullopt}; }
  std::string_view stringValue() const { return text; }
  std::optional<std::int64_t> intValue() const { return number; }
  static std::optional<AnyKey> fromString(std::string_view value) { return AnyKey{std::string(value), std::nullopt}; }
  static std::optional<AnyKey> fromInt(std::int64_t value) { return of(value); }
  friend bool operator==(const AnyKey&, const AnyKey&) = default;
};

/// A key of names only; it accepts "a" and "c".
enum class NameOnlyKey { a, c };
constexpr std::array<std::string_view, 2> codingKeyNames(NameOnlyKey) { return {"a", "c"}; }

}  // namespace RecordCSV::testing
