#include "platform/text/TextEncoding.hpp"

#include <unicode/ucnv.h>

#include <algorithm>
#include <array>
#include <cctype>

namespace platform {
namespace {

struct KnownEncoding {
  TextEncoding::Kind kind;
  std::string_view name;
  std::string_view description;
  std::string_view converter;
};

constexpr std::array<KnownEncoding, 8> knownEncodings{{
    {TextEncoding::Kind::ascii, "ascii", "Western (ASCII)", "US-ASCII"},
    {TextEncoding::Kind::utf8, "utf-8", "Unicode (UTF-8)", "UTF-8"},
    {TextEncoding::Kind::utf16, "utf-16", "Unicode (UTF-16)", "UTF-16"},
    {TextEncoding::Kind::utf16BigEndian, "utf-16be", "Unicode (UTF-16BE)", "UTF-16BE"},
    {TextEncoding::Kind::utf16LittleEndian, "utf-16le", "Unicode (UTF-16LE)", "UTF-16LE"},
    {TextEncoding::Kind::utf32, "utf-32", "Unicode (UTF-32)", "UTF-32"},
    {TextEncoding::Kind::utf32BigEndian, "utf-32be", "Unicode (UTF-32BE)", "UTF-32BE"},
    {TextEncoding::Kind::utf32LittleEndian, "utf-32le", "Unicode (UTF-32LE)", "UTF-32LE"},
}};

const KnownEncoding* find(TextEncoding::Kind kind) {
  for (const KnownEncoding& known : knownEncodings)
    if (known.kind == kind) return &known;
  return nullptr;
}

std::string lowered(std::string_view text) {
  std::string result(text);
  std::transform(result.begin(), result.end(), result.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return result;
}

}  // namespace

std::optional<TextEncoding> TextEncoding::named(std::string_view name) {
  const std::string wanted = lowered(name);
  for (const KnownEncoding& known : knownEncodings)
    if (wanted == known.name) return TextEncoding(known.kind);
  if (wanted == "us-ascii") return ascii();
  if (wanted == "utf8") return utf8();
  if (wanted == "unicode") return utf16();

  // Anything else is whatever ICU resolves the name to.
  UErrorCode status = U_ZERO_ERROR;
  const std::string nameText(name);
  UConverter* converter = ucnv_open(nameText.c_str(), &status);
  if (U_FAILURE(status) || converter == nullptr) return std::nullopt;
  std::string canonical = ucnv_getName(converter, &status);
  ucnv_close(converter);
  if (U_FAILURE(status)) return std::nullopt;
  for (const KnownEncoding& known : knownEncodings)
    if (canonical == known.converter) return TextEncoding(known.kind);
  return TextEncoding(Kind::other, canonical);
}

std::string TextEncoding::name() const {
  if (const KnownEncoding* known = find(kind_)) return std::string(known->name);
  return lowered(converter_);
}

std::string TextEncoding::description() const {
  if (const KnownEncoding* known = find(kind_)) return std::string(known->description);
  return converter_;
}

std::string TextEncoding::converterName() const {
  if (const KnownEncoding* known = find(kind_)) return std::string(known->converter);
  return converter_;
}

}  // namespace platform
