#pragma once
// Streams for tests: they move a few bytes at a time, fail on a chosen call,
// take nothing on chosen calls, and count how they were used.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <set>
#include <vector>

#include "platform/io/InputStream.hpp"
#include "platform/io/OutputStream.hpp"

namespace platform {

/// The error a scripted stream fails with: domain "StreamDouble", code 1.
std::exception_ptr scriptedStreamError();

/// How a scripted input stream misbehaves.
struct InputStreamScript {
  /// The most bytes one read hands out.
  std::size_t maxBytesPerRead = std::numeric_limits<std::size_t>::max();
  /// The read call (counting from 1) that fails; 0 for none.
  std::size_t failOnRead = 0;
  /// Whether a failing read leaves `scriptedStreamError()` behind, or no error at all.
  bool failureHasError = true;
  bool failToOpen = false;

  InputStreamScript& readingAtMost(std::size_t bytes) { maxBytesPerRead = bytes; return *this; }
  InputStreamScript& failingOnRead(std::size_t call, bool withError = true) {
    failOnRead = call;
    failureHasError = withError;
    return *this;
  }
  InputStreamScript& failingToOpen() { failToOpen = true; return *this; }
};

/// How a scripted output stream misbehaves.
struct OutputStreamScript {
  /// The most bytes one write takes.
  std::size_t maxBytesPerWrite = std::numeric_limits<std::size_t>::max();
  /// The write call (counting from 1) that fails; 0 for none.
  std::size_t failOnWrite = 0;
  /// The write calls (counting from 1) that take nothing.
  std::set<std::size_t> acceptNothingOnWrites;
  bool failToOpen = false;
  /// Whether closing fails, as a buffered file's last flush can.
  bool failOnClose = false;

  OutputStreamScript& takingAtMost(std::size_t bytes) { maxBytesPerWrite = bytes; return *this; }
  OutputStreamScript& failingOnWrite(std::size_t call) { failOnWrite = call; return *this; }
  OutputStreamScript& takingNothingOnWrites(std::set<std::size_t> calls) {
    acceptNothingOnWrites = std::move(calls);
    return *this;
  }
  OutputStreamScript& failingToOpen() { failToOpen = true; return *this; }
  OutputStreamScript& failingOnClose() { failOnClose = true; return *this; }
};

/// An input stream over fixed bytes that misbehaves as its script says.
class ScriptedInputStream final : public InputStream {
 public:
  using Script = InputStreamScript;

  explicit ScriptedInputStream(Data bytes, Script script = {}) : bytes_(std::move(bytes)), script_(script) {}
  static std::shared_ptr<ScriptedInputStream> make(Data bytes, Script script = {}) {
    return std::make_shared<ScriptedInputStream>(std::move(bytes), script);
  }

  void close() override;
  std::string description() const override { return "scripted input stream"; }

  std::size_t closeCalls() const noexcept { return closeCalls_; }
  /// The length asked for by every read call, in order.
  const std::vector<std::size_t>& requestedLengths() const noexcept { return requestedLengths_; }

 protected:
  std::exception_ptr openResources() override;
  std::exception_ptr closeResources() override { return nullptr; }
  std::ptrdiff_t readBytes(std::uint8_t* buffer, std::size_t maxLength) override;

 private:
  Data bytes_;
  Script script_;
  std::size_t position_ = 0;
  std::size_t closeCalls_ = 0;
  std::vector<std::size_t> requestedLengths_;
};

/// An output stream into memory that misbehaves as its script says.
class ScriptedOutputStream final : public OutputStream {
 public:
  using Script = OutputStreamScript;

  explicit ScriptedOutputStream(Script script = {}) : script_(std::move(script)) {}
  static std::shared_ptr<ScriptedOutputStream> make(Script script = {}) {
    return std::make_shared<ScriptedOutputStream>(std::move(script));
  }

  void close() override;
  std::string description() const override { return "scripted output stream"; }

  /// Every byte taken so far.
  const Data& written() const noexcept { return written_; }
  std::size_t writeCalls() const noexcept { return writeCalls_; }
  std::size_t closeCalls() const noexcept { return closeCalls_; }

 protected:
  std::exception_ptr openResources() override;
  std::exception_ptr closeResources() override;
  std::ptrdiff_t writeBytes(const std::uint8_t* bytes, std::size_t length) override;

 private:
  Script script_;
  Data written_;
  std::size_t writeCalls_ = 0;
  std::size_t closeCalls_ = 0;
};

}  // namespace platform
