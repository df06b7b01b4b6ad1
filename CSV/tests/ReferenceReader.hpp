#pragma once
// A literal reader for the CSV module's differential test and fuzz target: the chain of
// byte reader, code-unit iterator and scalar iterator taken one scalar at a time, and the
// row rules followed step by step. `readWithReference` and `readWithModule` record what
// each reader does with the same input: rows, errors, and the call after which an error shows.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "CSV/BinaryReader.hpp"
#include "CSV/CSVReader.hpp"
#include "CSV/UnicodeIterator.hpp"
#include "TestSupport.hpp"
#include "platform/core/Unicode.hpp"

namespace CSV::testing {

using Row = CSVReader::Row;

/// The header or the construction failure, then after each `next()` the row and the error case it showed.
struct Outcome {
  std::optional<CSVError::Kind> constructionFailure;
  std::optional<Row> header;
  std::vector<std::pair<std::optional<Row>, std::optional<CSVError::Kind>>> steps;
  friend bool operator==(const Outcome&, const Outcome&) = default;
};

/// How the bytes are handed over: as a stream in one of the codecs, or as a UTF-8 text.
/// `memory`: UTF-8 bytes handed over whole; the reference reads them as an unscripted stream.
enum class Form { utf8, utf16, utf32, text, memory };

struct Input {
  std::string bytes;
  Form form = Form::utf8;
  /// The byte order asked for with UTF-16 and UTF-32.
  Endian endian = Endian::unknown;
  platform::InputStreamScript script;
};

class ReferenceReader {
 public:
  using Next = std::function<std::optional<char32_t>()>;

  ReferenceReader(Next next, CSVReader::Configuration configuration)
      : next_(std::move(next)), configuration_(std::move(configuration)) {
    configuration_.whitespaces.remove(configuration_.delimiter);
  }
  std::optional<CSVError> error;

  std::optional<Row> readRow() {
    std::optional<char32_t> c = take();
    if (!c) return std::nullopt;
    Row row;
    for (;;) {
      if (configuration_.trimFields)
        while (c && isSpace(*c)) c = take();
      if (!c) {
        row.emplace_back();
        return row;
      }
      std::u32string field;
      bool rowEnded = false;
      if (*c == U'"') {
        for (;;) {
          const std::optional<char32_t> s = take();
          if (!s) {
            rowEnded = true;
            break;
          }
          if (*s != U'"') {
            field += *s;
            continue;
          }
          std::optional<char32_t> t = take();
          if (t && configuration_.trimFields)
            while (t && isSpace(*t)) t = take();
          if (!t || *t == U'\n') {
            rowEnded = true;
            break;
          }
          if (*t == U'\r') {
            giveBackUnlessLineFeed();
            rowEnded = true;
            break;
          }
          if (*t == configuration_.delimiter) break;
          field += U'"';
          if (*t != U'"') field += *t;
        }
      } else {
        for (;;) {
          if (*c == U'\n') {
            rowEnded = true;
            break;
          }
          if (*c == U'\r') {
            giveBackUnlessLineFeed();
            rowEnded = true;
            break;
          }
          if (*c == configuration_.delimiter) break;
          field += *c;
          c = take();
          if (!c) {
            rowEnded = true;
            break;
          }
        }
        if (configuration_.trimFields) {
          while (!field.empty() && isSpace(field.back())) field.pop_back();
          while (!field.empty() && isSpace(field.front())) field.erase(0, 1);
        }
      }
      row.push_back(platform::toUTF8(field));
      if (rowEnded) return row;
      c = take();
    }
  }

 private:
  bool isSpace(char32_t c) const { return configuration_.whitespaces.contains(c); }
  std::optional<char32_t> take() {
    if (back_) return std::exchange(back_, std::nullopt);
    return next_();
  }
  void giveBackUnlessLineFeed() {
    const std::optional<char32_t> u = take();
    if (u && *u != U'\n') back_ = u;
  }

  Next next_;
  CSVReader::Configuration configuration_;
  std::optional<char32_t> back_;
};

namespace reference_detail {

// The chain of a stream form, with both failure hooks reporting to `report`.
template <typename Units, typename Codec>
ReferenceReader::Next chain(const Input& input, std::function<void(const CSVError&)> report) {
  auto binary = std::make_shared<BinaryReader>(streamOf(input.bytes, input.form == Form::memory ? platform::InputStreamScript{} : input.script),
                                               input.form == Form::utf8 || input.form == Form::memory ? Endian::unknown : input.endian, true,
                                               CSVReader::bufferSize, sizeof(typename Units::CodeUnit));
  Units units(std::move(binary));
  units.setErrorHandler(report);
  auto scalars = std::make_shared<UnicodeIterator<Units, Codec>>(std::move(units));
  scalars->setErrorHandler(std::move(report));
  return [scalars] { return scalars->next(); };
}

}  // namespace reference_detail

inline Outcome readWithReference(const Input& input, const CSVReader::Configuration& configuration) {
  Outcome outcome;
  std::shared_ptr<ReferenceReader> reader;
  // The hooks refer to the reader only; it holds the chain to the end.
  auto hook = [&reader](const CSVError& failure) { reader->error = failure; };
  try {
    ReferenceReader::Next next;
    if (input.form == Form::text) {
      auto scalars = std::make_shared<std::u32string>(platform::toScalars(input.bytes));
      next = [scalars, i = std::size_t{0}]() mutable -> std::optional<char32_t> {
        if (i == scalars->size()) return std::nullopt;
        return (*scalars)[i++];
      };
    } else if (input.form == Form::utf8 || input.form == Form::memory) {
      next = reference_detail::chain<BinaryReader::UInt8Iterator, UTF8>(input, hook);
    } else if (input.form == Form::utf16) {
      next = reference_detail::chain<BinaryReader::UInt16Iterator, UTF16>(input, hook);
    } else {
      next = reference_detail::chain<BinaryReader::UInt32Iterator, UTF32>(input, hook);
    }
    reader = std::make_shared<ReferenceReader>(std::move(next), configuration);
    if (configuration.hasHeaderRow) {
      std::optional<Row> header = reader->readRow();
      if (reader->error) throw *reader->error;
      if (!header) throw CSVError::cannotReadHeaderRow();
      outcome.header = std::move(header);
    }
  } catch (const CSVError& failure) {
    outcome.constructionFailure = failure.kind();
    return outcome;
  }
  for (;;) {
    std::optional<Row> row = reader->error ? std::nullopt : reader->readRow();
    outcome.steps.emplace_back(row, kindOf(reader->error));
    if (!row) break;
  }
  return outcome;
}

/// With `intoFields`, the rows are read into one `CSVReader::Fields`.
inline Outcome readWithModule(const Input& input, const CSVReader::Configuration& c, bool intoFields = false) {
  Outcome outcome;
  std::optional<CSVReader> reader;
  try {
    auto stream = streamOf(input.bytes, input.script);
    switch (input.form) {
      case Form::text:
        reader.emplace(input.bytes, c.hasHeaderRow, c.trimFields, c.delimiter, c.whitespaces);
        break;
      case Form::utf8:
        reader.emplace(stream, c.hasHeaderRow, c.trimFields, c.delimiter, c.whitespaces);
        break;
      case Form::utf16:
        reader.emplace(stream, UTF16{}, input.endian, c.hasHeaderRow, c.trimFields, c.delimiter, c.whitespaces);
        break;
      case Form::utf32:
        reader.emplace(stream, UTF32{}, input.endian, c.hasHeaderRow, c.trimFields, c.delimiter, c.whitespaces);
        break;
      case Form::memory:
        reader.emplace(platform::Data::fromString(input.bytes), UTF8{}, c.hasHeaderRow, c.trimFields, c.delimiter,
                       c.whitespaces);
        break;
    }
  } catch (const CSVError& failure) {
    outcome.constructionFailure = failure.kind();
    return outcome;
  }
  outcome.header = reader->headerRow();
  CSVReader::Fields fields;
  for (;;) {
    std::optional<Row> row;
    if (!intoFields) {
      row = reader->next();
    } else if (reader->next(fields)) {
      row.emplace();
      for (std::size_t k = 0; k < fields.size(); ++k) row->emplace_back(fields[k]);
    }
    outcome.steps.emplace_back(row, kindOf(reader->error()));
    if (!row) break;
  }
  return outcome;
}

}  // namespace CSV::testing
