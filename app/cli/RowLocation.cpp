#include "RowLocation.hpp"

#include <algorithm>
#include <span>
#include <vector>

#include "RecordCSV/ByteOrderMark.hpp"
#include "RecordCSV/UTF8Source.hpp"
#include "platform/core/Unicode.hpp"

namespace Pelmora_Zava::cli {
namespace {

using RecordCSV::CSVReader;

struct Row {
  std::size_t start;  // in scalars
  bool emptyLine;     // one empty field, not quoted: the reader passes over it
};

struct SplitText {
  std::vector<Row> rows;  // every row the reader's row parser reads, up to the one it fails on
  std::optional<RowFault> fault;  // why the last row fails
};

/// The text cut into rows as the reader's row parser cuts it, up to the first row it fails on.
SplitText splitRows(std::u32string_view text, const CSVReader::Settings& settings) {
  const std::size_t end = text.size();
  const auto length = [&](std::size_t at, std::u32string_view delimiter) {
    return text.substr(at, delimiter.size()) == delimiter ? delimiter.size() : 0;
  };
  const auto fieldDelimiter = [&](std::size_t at) { return length(at, settings.delimiters.field); };
  const auto rowDelimiter = [&](std::size_t at) -> std::size_t {
    for (const std::u32string& member : settings.delimiters.row)  // shortest first, as the reader tries them
      if (const std::size_t matched = length(at, member)) return matched;
    return 0;
  };
  const auto isQualifier = [&](std::size_t at) { return settings.escapingScalar == text[at]; };
  const auto skipTrim = [&](std::size_t at) {
    while (settings.isTrimNeeded && at < end && settings.trimCharacters.contains(text[at])) ++at;
    return at;
  };

  SplitText split;
  std::size_t at = 0;
  for (;;) {
    Row row{at, false};
    bool firstField = true;
    bool rowEnded = false;
    while (!rowEnded) {
      at = skipTrim(at);
      if (at == end) {
        if (firstField) return split;  // the input ends at the start of a row
        break;
      }
      std::size_t matched = 0;
      if (isQualifier(at)) {
        for (++at;; ++at) {
          if (at == end) {
            split.rows.push_back(row);
            split.fault = RowFault::unclosedQualifier;
            return split;
          }
          if (!isQualifier(at)) continue;
          if (at + 1 < end && isQualifier(at + 1)) {
            ++at;  // a doubled qualifier stands for one
            continue;
          }
          break;
        }
        at = skipTrim(at + 1);
        if (at == end) break;
        if ((matched = fieldDelimiter(at))) {
          at += matched;
        } else if ((matched = rowDelimiter(at))) {
          at += matched;
          rowEnded = true;
        } else {
          split.rows.push_back(row);
          split.fault = RowFault::textAfterQualifiedField;
          return split;
        }
      } else if ((matched = fieldDelimiter(at))) {
        at += matched;
      } else if ((matched = rowDelimiter(at))) {
        at += matched;
        row.emptyLine = firstField;
        rowEnded = true;
      } else {
        for (++at;; ++at) {
          if (at == end) {
            rowEnded = true;
            break;
          }
          if (isQualifier(at)) {
            split.rows.push_back(row);
            split.fault = RowFault::strayQualifier;
            return split;
          }
          if ((matched = fieldDelimiter(at))) {
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
    split.rows.push_back(row);
  }
}

/// Line breaks as an editor counts them: LF, CR LF and a lone CR; a CR at the very end counts.
template <typename Char>
std::int64_t lineBreaks(std::basic_string_view<Char> text) {
  std::int64_t breaks = 0;
  for (std::size_t i = 0; i < text.size(); ++i)
    breaks += text[i] == Char('\n') || (text[i] == Char('\r') && (i + 1 == text.size() || text[i + 1] != Char('\n')));
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

std::optional<std::string> decodedText(const platform::Data& data, const CSVReader::Configuration& configuration) {
  const std::span<const std::uint8_t> bytes = data.span();
  std::string text;
  try {
    if (configuration.presample && configuration.encoding)
      return CSVReader::convertWhole(bytes, *configuration.encoding);
    const CSVReader::Inference inference = CSVReader::inferEncoding(
        bytes.first(std::min(bytes.size(), RecordCSV::ByteOrderMark::maximumLength)), configuration.encoding);
    const platform::TextEncoding encoding = CSVReader::resolveEncoding(configuration.encoding, inference.encoding);
    const std::span<const std::uint8_t> encoded = bytes.subspan(inference.markLength);
    using Kind = platform::TextEncoding::Kind;
    if (encoding.kind() == Kind::utf8 || encoding.kind() == Kind::ascii)
      return std::string(reinterpret_cast<const char*>(encoded.data()), encoded.size());
    const auto source = CSVReader::makeDecoder(RecordCSV::ByteSource::overBytes(encoded), encoding);
    for (std::size_t consumed = 0; source->advance(consumed); consumed = source->size())
      text.append(source->data(), source->size());
  } catch (const RecordCSV::CSVReaderError&) {
    // The reader's row errors come from text before any place it cannot decode.
    if (text.empty()) return std::nullopt;
  }
  return text;
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
  const std::u32string scalars = platform::toScalars(text);
  const SplitText split = splitRows(scalars, *settings);

  std::optional<std::size_t> start;
  if (*fault == RowFault::fieldCount) {
    // The reader counts a header as one row and passes over empty lines; its index for a row
    // of the wrong width is one more than the rows it counted before it.
    const bool hasHeader = configuration.headerStrategy.kind() != RecordCSV::Strategy::Header::Kind::none;
    std::int64_t dataRow = *error.userInfo().get<std::int64_t>("Row index") - (hasHeader ? 1 : 0);
    for (std::size_t i = rowsBeforeData(configuration.headerStrategy); i < split.rows.size() && !start; ++i)
      if (!split.rows[i].emptyLine && --dataRow == 0) start = split.rows[i].start;
  } else if (split.fault == fault) {
    start = split.rows.back().start;
  }
  if (!start) return std::nullopt;
  return 1 + lineBreaks(std::u32string_view(scalars).substr(0, *start));
}

std::optional<std::int64_t> lineOfFailingRow(const RecordCSV::CSVReaderError& error, const platform::Data& data,
                                             const CSVReader::Configuration& configuration) {
  if (!rowFault(error)) return std::nullopt;
  const std::optional<std::string> text = decodedText(data, configuration);
  return text ? lineOfFailingRow(error, *text, configuration) : std::nullopt;
}

}  // namespace Pelmora_Zava::cli
