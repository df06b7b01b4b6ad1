#include "RowLocation.hpp"

#include <algorithm>
#include <span>
#include <utility>
#include <vector>

#include "RecordCSV/ByteOrderMark.hpp"
#include "RecordCSV/UTF8Source.hpp"
#include "platform/core/Unicode.hpp"

namespace Pelmora_Zava::cli {
namespace {

using RecordCSV::CSVReader;

struct Row {
  std::size_t start;  // in bytes
  bool emptyLine;     // one empty field, not quoted: the reader passes over it
};

struct Walk {
  std::optional<RowFault> fault;  // why the row at `faultyRowStart` fails, if one does
  std::size_t faultyRowStart = 0;
};

/// The scalar that `text` starts with and its length; an ill-formed byte reads as U+FFFD.
std::pair<char32_t, std::size_t> firstScalar(std::string_view text) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t length = platform::wellFormedUTF8Length(bytes, text.size());
  if (length == 0) return {U'\uFFFD', 1};
  if (length == 1) return {bytes[0], 1};
  char32_t scalar = bytes[0] & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) scalar = scalar << 6 | (bytes[i] & 0x3F);
  return {scalar, length};
}

/// Calls `visit` with each row of the text, cut as the reader's row parser cuts it, while it
/// returns true, and stops at the first row the parser fails on. Works on the UTF-8 bytes,
/// with the delimiters and the qualifier in UTF-8, so that a large text is not copied.
template <typename Visit>
Walk walkRows(std::string_view text, const CSVReader::Settings& settings, Visit&& visit) {
  const std::size_t end = text.size();
  const std::string field = platform::toUTF8(settings.delimiters.field);
  std::vector<std::string> rowDelimiters;  // shortest first, as the reader tries them
  for (const std::u32string& member : settings.delimiters.row) rowDelimiters.push_back(platform::toUTF8(member));
  std::string qualifier;
  if (settings.escapingScalar) platform::appendUTF8(qualifier, *settings.escapingScalar);

  const auto matchedAt = [&](std::size_t at, std::string_view delimiter) {
    return !delimiter.empty() && text.substr(at, delimiter.size()) == delimiter ? delimiter.size() : 0;
  };
  const auto rowDelimiter = [&](std::size_t at) -> std::size_t {
    for (const std::string& member : rowDelimiters)
      if (const std::size_t matched = matchedAt(at, member)) return matched;
    return 0;
  };
  const auto skipTrim = [&](std::size_t at) {
    while (settings.isTrimNeeded && at < end) {
      const auto [scalar, size] = firstScalar(text.substr(at));
      if (!settings.trimCharacters.contains(scalar)) break;
      at += size;
    }
    return at;
  };
  const auto next = [&](std::size_t at) { return at + firstScalar(text.substr(at)).second; };

  std::size_t at = 0;
  for (;;) {
    Row row{at, false};
    const auto fail = [&](RowFault fault) { return Walk{fault, row.start}; };
    bool firstField = true;
    bool rowEnded = false;
    while (!rowEnded) {
      at = skipTrim(at);
      if (at == end) {
        if (firstField) return {};  // the input ends at the start of a row
        break;
      }
      std::size_t matched = 0;
      if (matchedAt(at, qualifier)) {
        for (at += qualifier.size();; at = next(at)) {
          if (at == end) return fail(RowFault::unclosedQualifier);
          if (!matchedAt(at, qualifier)) continue;
          at += qualifier.size();
          if (!matchedAt(at, qualifier)) break;  // else a doubled qualifier, which stands for one
        }
        at = skipTrim(at);
        if (at == end) break;
        if ((matched = matchedAt(at, field))) {
          at += matched;
        } else if ((matched = rowDelimiter(at))) {
          at += matched;
          rowEnded = true;
        } else {
          return fail(RowFault::textAfterQualifiedField);
        }
      } else if ((matched = matchedAt(at, field))) {
        at += matched;
      } else if ((matched = rowDelimiter(at))) {
        at += matched;
        row.emptyLine = firstField;
        rowEnded = true;
      } else {
        for (at = next(at);; at = next(at)) {
          if (at == end) {
            rowEnded = true;
            break;
          }
          if (matchedAt(at, qualifier)) return fail(RowFault::strayQualifier);
          if ((matched = matchedAt(at, field))) {
            at += matched;
            break;
          }
          if ((matched = rowDelimiter(at))) {
            at += matched;
            rowEnded = true;
            break;
          }
        }
      }
      firstField = false;
    }
    if (!visit(row)) return {};
  }
}

/// Line breaks as an editor counts them: LF, CR LF and a lone CR; a CR at the very end counts.
std::int64_t lineBreaks(std::string_view text) {
  std::int64_t breaks = 0;
  for (std::size_t i = 0; i < text.size(); ++i)
    breaks += text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'));
  return breaks;
}

/// How many rows the reader reads before its data rows: the skipped ones and the header.
std::size_t rowsBeforeData(const RecordCSV::Strategy::Header& header) {
  using Kind = RecordCSV::Strategy::Header::Kind;
  switch (header.kind()) {
    case Kind::none: return 0;
    case Kind::firstLine: return 1;
    case Kind::lineNumber: return static_cast<std::size_t>(header.line()) + 1;
  }
  return 0;
}

}  // namespace

std::optional<RowFault> rowFault(const RecordCSV::CSVReaderError& error) {
  const platform::UserInfo& info = error.userInfo();
  if (!info.get<std::int64_t>("Row index")) return std::nullopt;
  if (info.find("Number of parsed fields")) return RowFault::fieldCount;
  if (info.find("Field")) return RowFault::textAfterQualifiedField;
  const std::string reason = error.failureReason().value_or("");
  if (reason.starts_with("The escaping scalar")) return RowFault::strayQualifier;
  if (reason.starts_with("The last field is escaped")) return RowFault::unclosedQualifier;
  return std::nullopt;
}

std::optional<std::string_view> decodedText(const platform::Data& data,
                                            const CSVReader::Configuration& configuration, std::string& converted) {
  const std::span<const std::uint8_t> bytes = data.span();
  converted.clear();
  try {
    if (configuration.presample && configuration.encoding) {
      converted = CSVReader::convertWhole(bytes, *configuration.encoding);
      return converted;
    }
    const CSVReader::Inference inference = CSVReader::inferEncoding(
        bytes.first(std::min(bytes.size(), RecordCSV::ByteOrderMark::maximumLength)), configuration.encoding);
    const platform::TextEncoding encoding = CSVReader::resolveEncoding(configuration.encoding, inference.encoding);
    const std::span<const std::uint8_t> encoded = bytes.subspan(inference.markLength);
    using Kind = platform::TextEncoding::Kind;
    if (encoding.kind() == Kind::utf8 || encoding.kind() == Kind::ascii)
      return std::string_view(reinterpret_cast<const char*>(encoded.data()), encoded.size());
    const auto source = CSVReader::makeDecoder(RecordCSV::ByteSource::overBytes(encoded), encoding);
    for (std::size_t consumed = 0; source->advance(consumed); consumed = source->size())
      converted.append(source->data(), source->size());
  } catch (const RecordCSV::CSVReaderError&) {
    // The reader's row errors come from text before any place it cannot decode.
    if (converted.empty()) return std::nullopt;
  }
  return converted;
}

std::int64_t lineCount(std::string_view text) {
  const bool unendedLastLine = !text.empty() && text.back() != '\n' && text.back() != '\r';
  return lineBreaks(text) + unendedLastLine;
}

std::optional<std::int64_t> lineOfFailingRow(const RecordCSV::CSVReaderError& error, std::string_view text,
                                             const CSVReader::Configuration& configuration) {
  const std::optional<RowFault> fault = rowFault(error);
  if (!fault) return std::nullopt;
  std::optional<CSVReader::Settings> settings;
  try {
    settings.emplace(configuration);
  } catch (const RecordCSV::CSVReaderError&) {
    return std::nullopt;
  }

  std::optional<std::size_t> start;
  if (*fault == RowFault::fieldCount) {
    // The reader counts a header as one row and passes over empty lines; its index for a row
    // of the wrong width is one more than the rows it counted before it.
    const bool hasHeader = configuration.headerStrategy.kind() != RecordCSV::Strategy::Header::Kind::none;
    std::int64_t dataRow = *error.userInfo().get<std::int64_t>("Row index") - (hasHeader ? 1 : 0);
    std::size_t skipped = rowsBeforeData(configuration.headerStrategy);
    walkRows(text, *settings, [&](const Row& row) {
      if (skipped > 0) {
        --skipped;
      } else if (!row.emptyLine && --dataRow == 0) {
        start = row.start;
      }
      return !start;
    });
  } else if (const Walk walk = walkRows(text, *settings, [](const Row&) { return true; }); walk.fault == fault) {
    start = walk.faultyRowStart;
  }
  if (!start) return std::nullopt;
  return 1 + lineBreaks(text.substr(0, *start));
}

std::optional<std::int64_t> lineOfFailingRow(const RecordCSV::CSVReaderError& error, const platform::Data& data,
                                             const CSVReader::Configuration& configuration) {
  if (!rowFault(error)) return std::nullopt;
  std::string converted;
  const std::optional<std::string_view> text = decodedText(data, configuration, converted);
  return text ? lineOfFailingRow(error, *text, configuration) : std::nullopt;
}

}  // namespace Pelmora_Zava::cli
