#include "Pelmora_Zava/Filename.hpp"

#include <unicode/normalizer2.h>
#include <unicode/bytestream.h>


namespace Pelmora_Zava {
namespace {

bool isASCII(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

const icu::Normalizer2* nfc() {
  static const icu::Normalizer2* normalizer = [] {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* instance = icu::Normalizer2::getNFCInstance(status);
    return U_SUCCESS(status) ? instance : nullptr;
  }();
  return normalizer;
}

}  // namespace

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

Filename::Filename(std::string filename, bool isEditable, TokenContext context)
    : filename_(std::move(filename)), processedName_(filename_), isEditable_(isEditable), context_(std::move(context)) {}

const platform::UUID& Filename::id() const {
  if (!id_) id_ = std::make_unique<platform::UUID>();
  return *id_;
}

std::vector<std::string> Filename::allProcessedNames() const {
  std::vector<std::string> names = processedSubDirs_;
  names.push_back(processedName_);
  return names;
}

bool operator==(const Filename& a, const Filename& b) { return canonicallyEqual(a.processedName_, b.processedName_); }

bool operator<(const Filename& a, const Filename& b) {
  // UTF-8 byte order is scalar order; comparing canonical forms makes equivalent spellings equal.
  if (isASCII(a.filename_) && isASCII(b.filename_)) return a.filename_ < b.filename_;
  return canonicalText(a.filename_) < canonicalText(b.filename_);
}

}  // namespace Pelmora_Zava
