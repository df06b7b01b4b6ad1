#include <unicode/ucnv.h>

#include <algorithm>
#include <limits>

#include "RecordCSV/CSVWriter.hpp"
#include "writer/WriterEncoder.hpp"
#include "writer/WriterErrors.hpp"

namespace RecordCSV {
namespace {

const char* converterName(CSVWriter::Encoder::Kind kind, const platform::TextEncoding& encoding) {
  using Kind = CSVWriter::Encoder::Kind;
  switch (kind) {
    case Kind::ascii: return "US-ASCII";
    case Kind::utf8: return "UTF-8";
    case Kind::utf16BigEndian: return "UTF-16BE";
    case Kind::utf16LittleEndian: return "UTF-16LE";
    case Kind::utf32BigEndian: return "UTF-32BE";
    case Kind::utf32LittleEndian: return "UTF-32LE";
    case Kind::shiftJIS: break;
  }
  static thread_local std::string name;
  name = encoding.converterName();
  return name.c_str();
}

}  // namespace

std::string CSVWriter::text() const {
  const platform::Data bytes = data();
  // The mark is not text; every encoder writes the byte order its mark announces.
  const std::vector<std::uint8_t> mark = Strategy::bytes(configuration_.bomStrategy, settings_.encoding);
  std::size_t start = 0;
  if (!mark.empty() && bytes.size() >= mark.size() && std::equal(mark.begin(), mark.end(), bytes.begin()))
    start = mark.size();
  const char* source = reinterpret_cast<const char*>(bytes.data()) + start;
  const std::size_t size = bytes.size() - start;
  // The converter refuses an empty memory stream's null buffer instead of giving empty text.
  if (size == 0) return {};
  if (encoder_->kind() == Encoder::Kind::utf8) return std::string(source, size);
  // The converter counts in 32 bits: a longer output fails rather than coming back cut short.
  if (size > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
    throw WriterErrors::noMemoryData(*stream_);
  const auto length = static_cast<std::int32_t>(size);

  const char* from = converterName(encoder_->kind(), settings_.encoding);
  UErrorCode status = U_ZERO_ERROR;
  const std::int32_t needed = ucnv_convert("UTF-8", from, nullptr, 0, source, length, &status);
  if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) throw WriterErrors::noMemoryData(*stream_);
  std::string text(static_cast<std::size_t>(needed) + 1, '\0');
  status = U_ZERO_ERROR;
  const std::int32_t count =
      ucnv_convert("UTF-8", from, text.data(), static_cast<std::int32_t>(text.size()), source, length, &status);
  if (U_FAILURE(status)) throw WriterErrors::noMemoryData(*stream_);
  text.resize(static_cast<std::size_t>(count));
  return text;
}

}  // namespace RecordCSV
