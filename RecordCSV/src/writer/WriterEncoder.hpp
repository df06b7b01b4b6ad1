#pragma once
// Turns the writer's scalars into bytes of its text encoding, and hands bytes to
// the output stream in full.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "RecordCSV/CSVWriter.hpp"
#include "platform/io/OutputStream.hpp"
#include "platform/text/TextEncoding.hpp"
#include "writer/ByteBuffer.hpp"

struct UConverter;

namespace RecordCSV {

class CSVWriter::Encoder {
 public:
  enum class Kind { ascii, utf8, utf16BigEndian, utf16LittleEndian, utf32BigEndian, utf32LittleEndian, shiftJIS };

  /// The encoder's kind for an encoding, or nothing when the writer cannot write it.
  static std::optional<Kind> kindFor(const platform::TextEncoding& encoding);

  explicit Encoder(Kind kind);
  ~Encoder();
  Encoder(const Encoder&) = delete;
  Encoder& operator=(const Encoder&) = delete;

  Kind kind() const noexcept { return kind_; }

  /// Appends the bytes of `scalars` to `out` up to the first scalar that cannot be encoded;
  /// returns that scalar's position, or `count` when every one was encoded.
  std::size_t encode(const char32_t* scalars, std::size_t count, ByteBuffer& out);
  /// Writes well-formed UTF-8 text to `out` in UTF-16 or UTF-32 (the kinds whose `unitsPerByte`
  /// is not 0), which has room for `unitsPerByte` bytes per byte of it; returns the bytes written.
  std::size_t encodeWellFormedUTF8(const char* text, std::size_t size, std::uint8_t* out) const;
  /// The most bytes of UTF-16 or UTF-32 that one byte of UTF-8 becomes; 0 for the other kinds.
  std::size_t unitsPerByte() const noexcept;
  /// The error for a scalar this encoder cannot encode.
  CSVWriterError failure(char32_t scalar) const;
  /// The number of bytes of the encoded scalar that starts at `bytes`.
  std::size_t scalarLength(const std::uint8_t* bytes, std::size_t available) const;

 private:
  bool appendShiftJIS(char32_t scalar, ByteBuffer& out);

  Kind kind_;
  UConverter* converter_ = nullptr;  // Shift-JIS only
};

/// Writes every byte or throws. A write that takes nothing is forgiven once per encoded scalar
/// (`encoder` tells where scalars end; without one the bytes are a single unit); a second one
/// fails, as does a failing write. `written` counts the bytes taken, also when it throws.
void writeFully(platform::OutputStream& stream, const std::uint8_t* bytes, std::size_t count,
                const CSVWriter::Encoder* encoder, std::size_t& written);

}  // namespace RecordCSV
