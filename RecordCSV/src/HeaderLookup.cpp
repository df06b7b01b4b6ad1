// Header keys compare as canonically equivalent texts: their NFC forms.

#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

#include <algorithm>

#include "CanonicalText.hpp"
#include "RecordCSV/CSVReader.hpp"

namespace RecordCSV {

bool isASCII(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::string canonical(std::string_view text) {
  if (isASCII(text)) return std::string(text);
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
  if (U_FAILURE(status)) return std::string(text);
  const icu::UnicodeString source =
      icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
  if (nfc->isNormalized(source, status) && U_SUCCESS(status)) return std::string(text);
  status = U_ZERO_ERROR;
  const icu::UnicodeString normalized = nfc->normalize(source, status);
  if (U_FAILURE(status)) return std::string(text);
  std::string result;
  normalized.toUTF8String(result);
  return result;
}

std::optional<CSVReader::HeaderLookup> CSVReader::HeaderLookup::make(const std::vector<std::string>& headers) {
  HeaderLookup lookup;
  lookup.positions_.reserve(headers.size());
  for (std::size_t i = 0; i < headers.size(); ++i)
    if (!lookup.positions_.emplace(canonical(headers[i]), i).second) return std::nullopt;
  return lookup;
}

std::optional<std::size_t> CSVReader::HeaderLookup::find(std::string_view header) const {
  if (positions_.empty()) return std::nullopt;
  auto found = positions_.find(header);
  if (found == positions_.end() && !isASCII(header)) found = positions_.find(canonical(header));
  if (found == positions_.end()) return std::nullopt;
  return found->second;
}

}  // namespace RecordCSV
