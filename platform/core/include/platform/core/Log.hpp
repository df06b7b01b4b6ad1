#pragma once
// Diagnostics: plain lines without levels, standard error by default. Tests
// install their own sink and assert the exact lines.

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

using LogSink = std::function<void(std::string_view line)>;

/// Writes one line to the current sink.
void log(std::string_view line);

/// Replaces the sink for the whole process; an empty sink discards lines. Returns the previous one.
LogSink setLogSink(LogSink sink);

/// Collects the lines logged while it lives, then puts the previous sink back.
class CapturedLog {
 public:
  CapturedLog();
  ~CapturedLog();
  CapturedLog(const CapturedLog&) = delete;
  CapturedLog& operator=(const CapturedLog&) = delete;

  /// The lines so far, in order.
  std::vector<std::string> lines() const;
  void clear();

 private:
  struct State;
  std::shared_ptr<State> state_;
  LogSink previous_;
};

}  // namespace platform
