#include "platform/core/Log.hpp"

#include <cstdio>
#include <memory>
#include <mutex>

namespace platform {
namespace {

std::mutex sinkMutex;

LogSink& currentSink() {
  static LogSink sink = [](std::string_view line) {
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fputc('\n', stderr);
  };
  return sink;
}

}  // namespace

void log(std::string_view line) {
  LogSink sink;
  {
    std::lock_guard lock(sinkMutex);
    sink = currentSink();
  }
  if (sink) sink(line);
}

LogSink setLogSink(LogSink sink) {
  std::lock_guard lock(sinkMutex);
  LogSink previous = std::move(currentSink());
  currentSink() = std::move(sink);
  return previous;
}

struct CapturedLog::State {
  mutable std::mutex mutex;
  std::vector<std::string> lines;
};

CapturedLog::CapturedLog() : state_(std::make_shared<State>()) {
  // The sink shares the state, so a line logged by another thread while this ends stays safe.
  std::shared_ptr<State> state = state_;
  previous_ = setLogSink([state](std::string_view line) {
    std::lock_guard lock(state->mutex);
    state->lines.emplace_back(line);
  });
}

CapturedLog::~CapturedLog() {
  setLogSink(std::move(previous_));
}

std::vector<std::string> CapturedLog::lines() const {
  std::lock_guard lock(state_->mutex);
  return state_->lines;
}

void CapturedLog::clear() {
  std::lock_guard lock(state_->mutex);
  state_->lines.clear();
}

}  // namespace platform
