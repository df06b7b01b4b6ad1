#include "platform/text/CanonicalText.hpp"

#include <unicode/bytestream.h>
#include <unicode/normalizer2.h>

namespace platform {
namespace {

const icu::Normalizer2* nfc() {
  static const icu::Normalizer2* normalizer = [] {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* instance = icu::Normalizer2::getNFCInstance(status);
    return U_SUCCESS(status) ? instance : nullptr;
  }();
  return normalizer;
}

}  // namespace

bool isASCII(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

bool isCanonical(std::string_view text) {
  if (isASCII(text) || !nfc()) return true;
  UErrorCode status = U_ZERO_ERROR;
  const bool normalized = nfc()->isNormalizedUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())), status);
  return U_FAILURE(status) || normalized;
}

std::string canonicalText(std::string_view text) {
  if (isCanonical(text)) return std::string(text);
  std::string out;
  icu::StringByteSink<std::string> sink(&out);
  UErrorCode status = U_ZERO_ERROR;
  nfc()->normalizeUTF8(0, icu::StringPiece(text.data(), static_cast<int32_t>(text.size())), sink, nullptr, status);
  return U_SUCCESS(status) ? out : std::string(text);
}

std::size_t canonicalHash(std::string_view text) {
  if (isCanonical(text)) return std::hash<std::string_view>()(text);
  return std::hash<std::string>()(canonicalText(text));
}

bool canonicallyEqual(std::string_view a, std::string_view b) {
  if (a == b) return true;
  if (isASCII(a) && isASCII(b)) return false;
  return canonicalText(a) == canonicalText(b);
}

bool CanonicalLess::operator()(std::string_view a, std::string_view b) const {
  if (isASCII(a) && isASCII(b)) return a < b;
  return canonicalText(a) < canonicalText(b);
}

}  // namespace platform
