#pragma once
// Rows of text fields written to an output stream as delimited text in UTF-8,
// UTF-16 or UTF-32 (no byte-order mark), quoting the fields that need it. Nothing
// is buffered: every code unit goes to the stream with its own write, and a write
// that takes less than it was offered fails with `cannotWriteStream`, leaving the
// output cut there. Destroying the writer closes the stream when it is open.

#include <concepts>
#include <cstddef>
#include <functional>
#include <iterator>
#include <memory>
#include <ranges>
#include <string>
#include <string_view>

#include "CSV/CSVError.hpp"
#include "CSV/Endian.hpp"
#include "CSV/UnicodeCodec.hpp"
#include "platform/io/OutputStream.hpp"

namespace CSV {

class CSVWriter {
 public:
  enum class Newline { lf, crlf };

  struct Configuration {
    /// Written between fields; any length.
    std::string delimiter;
    /// Written between rows, never after the last.
    std::string newline;

    Configuration(std::string delimiterText, Newline kind)
        : delimiter(std::move(delimiterText)), newline(kind == Newline::lf ? "\n" : "\r\n") {}
  };

  static constexpr std::string_view defaultDelimiter = ",";
  /// Writes the code units of one scalar; throws `cannotWriteStream` once all were tried.
  using ScalarWriter = std::function<void(char32_t)>;
  using QuotedAtIndex = std::function<bool(std::size_t)>;

  /// Each constructor opens the stream when it was never opened, and throws
  /// `cannotOpenFile` when it is not open then. Ill-formed UTF-8 in any text is written as U+FFFD.
  explicit CSVWriter(std::shared_ptr<platform::OutputStream> stream, std::string delimiter = std::string(defaultDelimiter),
                     Newline newline = Newline::lf);
  CSVWriter(std::shared_ptr<platform::OutputStream> stream, UTF8 codec, std::string delimiter = std::string(defaultDelimiter),
            Newline newline = Newline::lf);
  /// Units most significant byte first for `big`, least significant first otherwise.
  CSVWriter(std::shared_ptr<platform::OutputStream> stream, UTF16 codec, Endian endian,
            std::string delimiter = std::string(defaultDelimiter), Newline newline = Newline::lf);
  CSVWriter(std::shared_ptr<platform::OutputStream> stream, UTF32 codec, Endian endian,
            std::string delimiter = std::string(defaultDelimiter), Newline newline = Newline::lf);
  CSVWriter(CSVWriter&&) noexcept = default;
  CSVWriter& operator=(CSVWriter&&) = delete;
  ~CSVWriter();

  const std::shared_ptr<platform::OutputStream>& stream() const noexcept { return stream_; }
  const Configuration& configuration() const noexcept { return configuration_; }
  const ScalarWriter& writeScalar() const noexcept { return writeScalar_; }
  bool isFirstRow() const noexcept { return isFirstRow_; }
  bool isFirstField() const noexcept { return isFirstField_; }

  void beginRow() noexcept { isFirstField_ = true; }
  /// Appends a field to the current row, in quotes when `quoted` or when it holds a
  /// quote, the delimiter, CR or LF.
  void writeField(std::string_view value, bool quoted = false);
  /// A new row of these fields; a row whose only field is empty is written as "",
  /// so that it reads back as a row. Stops at the first failure and throws it.
  template <std::ranges::forward_range Fields>
    requires std::convertible_to<std::ranges::range_reference_t<const Fields&>, std::string_view>
  void writeRow(const Fields& fields, const QuotedAtIndex& quotedAtIndex = {}) {
    beginRow();
    const auto first = std::ranges::begin(fields);
    const bool onlyEmpty = first != std::ranges::end(fields) && std::string_view(*first).empty() &&
                           std::next(first) == std::ranges::end(fields);
    std::size_t index = 0;
    for (auto it = first; it != std::ranges::end(fields); ++it, ++index)
      writeField(*it, onlyEmpty || (quotedAtIndex && quotedAtIndex(index)));
  }
  void writeRow(std::initializer_list<std::string_view> fields, const QuotedAtIndex& quotedAtIndex = {}) {
    writeRow<std::initializer_list<std::string_view>>(fields, quotedAtIndex);
  }

 private:
  CSVWriter(std::shared_ptr<platform::OutputStream> stream, ScalarWriter writeScalar, std::string delimiter,
            Newline newline);
  void writeText(std::u32string_view scalars);

  std::shared_ptr<platform::OutputStream> stream_;
  Configuration configuration_;
  ScalarWriter writeScalar_;
  bool isFirstRow_ = true;
  bool isFirstField_ = true;
};

}  // namespace CSV
