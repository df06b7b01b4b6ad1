// The reader's inputs: text, data blobs, encoding inference and resolution, and the
// conversion of a whole blob in one piece.

#include <unicode/ucnv.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <stdexcept>

#include "RecordCSV/ByteOrderMark.hpp"
#include "platform/core/Unicode.hpp"
#include "reader/MemorySources.hpp"
#include "reader/Parser.hpp"
#include "reader/ReaderErrors.hpp"
#include "scan/Scan.hpp"

namespace RecordCSV {
namespace {

using Kind = platform::TextEncoding::Kind;

std::string wellFormed(std::string text) {
  if (scan::isWellFormedUTF8(text)) return text;
  return platform::toUTF8(platform::toScalars(text));
}

platform::TextEncoding encodingOf(Kind kind) {
  switch (kind) {
    case Kind::utf8: return platform::TextEncoding::utf8();
    case Kind::utf16BigEndian: return platform::TextEncoding::utf16BigEndian();
    case Kind::utf16LittleEndian: return platform::TextEncoding::utf16LittleEndian();
    case Kind::utf32BigEndian: return platform::TextEncoding::utf32BigEndian();
    case Kind::utf32LittleEndian: return platform::TextEncoding::utf32LittleEndian();
    default: break;
  }
  return platform::TextEncoding::utf8();  // the mark table names no other encoding
}

bool startsWith(std::span<const std::uint8_t> bytes, std::span<const std::uint8_t> prefix) {
  return bytes.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), bytes.begin());
}

/// The bytes as UTF-8, converted by an ICU converter that stops at the first bad sequence;
/// nothing when the bytes are not of that encoding, with `wrongByte` set where that sequence
/// begins. Converted in pieces, so any size is whole.
std::optional<std::string> toUTF8(std::span<const std::uint8_t> bytes, const std::string& converterName,
                                  std::optional<std::uint64_t>& wrongByte) {
  struct Converters {
    UConverter* source = nullptr;
    UConverter* target = nullptr;
    ~Converters() {
      if (source) ucnv_close(source);
      if (target) ucnv_close(target);
    }
  } converters;
  UErrorCode status = U_ZERO_ERROR;
  converters.source = ucnv_open(converterName.c_str(), &status);
  converters.target = ucnv_open("UTF-8", &status);
  ucnv_setToUCallBack(converters.source, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  if (U_FAILURE(status)) return std::nullopt;
  // No bytes are no text; an empty blob has no address to hand to the converter.
  if (bytes.empty()) return std::string();

  std::string text;
  text.reserve(bytes.size());
  const char* source = reinterpret_cast<const char*>(bytes.data());
  const char* const sourceLimit = source + bytes.size();
  UChar pivot[1024];
  UChar* pivotSource = pivot;
  UChar* pivotTarget = pivot;
  char buffer[1 << 16];
  bool reset = true;
  do {
    status = U_ZERO_ERROR;
    char* target = buffer;
    ucnv_convertEx(converters.target, converters.source, &target, buffer + sizeof buffer, &source, sourceLimit,
                   pivot, &pivotSource, &pivotTarget, pivot + std::size(pivot), reset, true, &status);
    reset = false;
    text.append(buffer, static_cast<std::size_t>(target - buffer));
  } while (status == U_BUFFER_OVERFLOW_ERROR);
  if (U_FAILURE(status)) {
    // The converter stops right after the bad sequence, and keeps its bytes.
    char invalid[32];
    std::int8_t length = sizeof invalid;
    UErrorCode ignored = U_ZERO_ERROR;
    ucnv_getInvalidChars(converters.source, invalid, &length, &ignored);
    const auto consumed = static_cast<std::uint64_t>(source - reinterpret_cast<const char*>(bytes.data()));
    if (U_SUCCESS(ignored) && static_cast<std::uint64_t>(length) <= consumed) wrongByte = consumed - length;
    return std::nullopt;
  }
  return text;
}

}  // namespace

CSVReader CSVReader::initWithString(std::string text, Configuration configuration) {
  auto owner = std::make_shared<const std::string>(wellFormed(std::move(text)));
  return CSVReader(std::move(configuration), UTF8Source::overText(*owner, owner));
}

CSVReader CSVReader::initWithString(std::string text, const Configure& configure) {
  return initWithString(std::move(text), configured(configure));
}

CSVReader CSVReader::initWithData(platform::Data data, Configuration configuration) {
  auto owner = std::make_shared<const platform::Data>(std::move(data));
  return overBytes(owner->span(), owner, std::move(configuration));
}

CSVReader CSVReader::initWithData(platform::Data data, const Configure& configure) {
  return initWithData(std::move(data), configured(configure));
}

CSVReader CSVReader::overBytes(std::span<const std::uint8_t> bytes, std::shared_ptr<const void> owner,
                               Configuration configuration) {
  std::unique_ptr<UTF8Source> source = sourceOverBytes(bytes, std::move(owner), configuration);
  return CSVReader(std::move(configuration), std::move(source));
}

std::unique_ptr<UTF8Source> CSVReader::sourceOverBytes(std::span<const std::uint8_t> bytes,
                                                       std::shared_ptr<const void> owner,
                                                       const Configuration& configuration) {
  if (configuration.presample && configuration.encoding) {
    auto text = std::make_shared<const std::string>(convertWhole(bytes, *configuration.encoding));
    return UTF8Source::overText(*text, text);
  }
  const Inference inference =
      inferEncoding(bytes.first(std::min(bytes.size(), ByteOrderMark::maximumLength)), configuration.encoding);
  const platform::TextEncoding encoding = resolveEncoding(configuration.encoding, inference.encoding);
  const std::span<const std::uint8_t> text = bytes.subspan(inference.markLength);
  if (encoding.kind() == Kind::utf8 || encoding.kind() == Kind::ascii)
    return makeCheckedBytesSource(text, std::move(owner), encoding.kind() == Kind::ascii, inference.markLength);
  return makeDecoder(ByteSource::overBytes(text, std::move(owner)), encoding, inference.markLength);
}

std::optional<std::string_view> CSVReader::decodedText(const platform::Data& data, const Configuration& configuration,
                                                       std::string& storage) {
  storage.clear();
  std::unique_ptr<UTF8Source> source;
  try {
    source = sourceOverBytes(data.span(), nullptr, configuration);
  } catch (const CSVReaderError&) {
    return std::nullopt;
  }
  // UTF-8 and ASCII come in blocks of `data` that follow one another: those are viewed, not copied.
  const auto* const first = reinterpret_cast<const char*>(data.span().data());
  const auto inData = [&](const char* block, std::size_t length) {
    const std::less_equal<const char*> notAfter;
    return first != nullptr && notAfter(first, block) && notAfter(block + length, first + data.size());
  };
  const char* start = nullptr;
  std::size_t size = 0;
  try {
    for (std::size_t consumed = 0; source->advance(consumed); consumed = source->size()) {
      const char* block = source->data();
      if (storage.empty() && inData(block, source->size()) && (start == nullptr || block == start + size)) {
        if (start == nullptr) start = block;
        size += source->size();
        continue;
      }
      if (start != nullptr) storage.assign(start, size);
      start = nullptr;
      storage.append(block, source->size());  // before the next block may take its place
    }
  } catch (const CSVReaderError&) {
    // What comes before the first place that cannot be decoded is the text the reader parsed.
  }
  if (start != nullptr) return std::string_view(start, size);
  return std::string_view(storage);
}

CSVReader::FileView CSVReader::decode(std::string_view text, const Configuration& configuration) {
  if (!scan::isWellFormedUTF8(text)) return initWithString(std::string(text), configuration).readFileView();
  // The reader lives only inside this call, so it can read the caller's text in place.
  return CSVReader(configuration, UTF8Source::overText(text)).readFileView();
}

CSVReader::FileView CSVReader::decode(std::string_view text, const Configure& configure) {
  return decode(text, configured(configure));
}

CSVReader::FileView CSVReader::decode(const platform::Data& data, const Configuration& configuration) {
  return overBytes(data.span(), nullptr, configuration).readFileView();
}

CSVReader::FileView CSVReader::decode(const platform::Data& data, const Configure& configure) {
  return decode(data, configured(configure));
}

CSVReader::FileView CSVReader::decode(std::shared_ptr<const platform::Data> data, const Configuration& configuration) {
  if (!data) throw std::invalid_argument("a CSV reader needs a data blob");
  const std::span<const std::uint8_t> bytes = data->span();
  return overBytes(bytes, std::move(data), configuration).readFileView();
}

CSVReader::Inference CSVReader::inferEncoding(std::span<const std::uint8_t> firstBytes,
                                              const std::optional<platform::TextEncoding>& provided) {
  Inference result;
  for (const ByteOrderMark::Entry& entry : ByteOrderMark::table) {
    if (!startsWith(firstBytes, entry.mark())) continue;
    if (result.markLength == 2 && entry.encoding == Kind::utf32LittleEndian) {
      // FF FE 00 00 carries both little-endian marks; a configured UTF-16 decides for it.
      const bool wantsUTF16 =
          provided && (provided->kind() == Kind::utf16 || provided->kind() == Kind::utf16LittleEndian);
      if (wantsUTF16) continue;
    }
    result = {encodingOf(entry.encoding), entry.length};
  }
  return result;
}

platform::TextEncoding CSVReader::resolveEncoding(const std::optional<platform::TextEncoding>& provided,
                                                  const std::optional<platform::TextEncoding>& inferred) {
  if (!provided && !inferred) return platform::TextEncoding::utf8();
  if (!inferred) return *provided;
  if (!provided || *provided == *inferred) return *inferred;
  const Kind given = provided->kind();
  const Kind found = inferred->kind();
  if ((given == Kind::utf16 && (found == Kind::utf16LittleEndian || found == Kind::utf16BigEndian)) ||
      (given == Kind::utf32 && (found == Kind::utf32LittleEndian || found == Kind::utf32BigEndian)))
    return *inferred;
  throw ReaderErrors::markConflict(*provided, *inferred);
}

std::string CSVReader::convertWhole(std::span<const std::uint8_t> bytes, const platform::TextEncoding& encoding) {
  const std::size_t whole = bytes.size();
  // The converters of the byte-ordered Unicode encodings would keep a mark as text.
  if (const auto mark = ByteOrderMark::forEncoding(encoding.kind()); mark && startsWith(bytes, mark->mark()))
    bytes = bytes.subspan(mark->length);
  std::optional<std::uint64_t> wrongByte;
  std::optional<std::string> text = toUTF8(bytes, encoding.converterName(), wrongByte);
  if (wrongByte) *wrongByte += whole - bytes.size();  // the mark dropped
  if (!text) throw ReaderErrors::blobEncodingMismatch(encoding, wrongByte);
  return std::move(*text);
}

CSVReader::Configuration CSVReader::configured(const Configure& configure) {
  Configuration configuration;
  if (configure) configure(configuration);
  return configuration;
}

}  // namespace RecordCSV
