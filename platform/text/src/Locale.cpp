#include "platform/text/Locale.hpp"

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <mutex>

namespace platform {
namespace {

std::string lowered(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return result;
}

struct Pinned {
  std::mutex mutex;
  std::optional<Locale> locale;
  std::atomic<std::uint64_t> generation{0};
};

Pinned& pinned() {
  static Pinned state;
  return state;
}

Locale environmentLocale() {
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value && *value) return Locale(value);
  }
  return Locale::root();
}

}  // namespace

Locale::Locale(std::string_view identifier) {
  identifier = identifier.substr(0, identifier.find_first_of(".@"));
  const std::string lower = lowered(identifier);
  if (lower != "c" && lower != "posix") identifier_ = std::string(identifier);
  language_ = lowered(identifier_.substr(0, identifier_.find_first_of("_-")));
}

const Locale& Locale::current() {
  // Each thread keeps a copy and refreshes it when the generation moves, so that the common
  // call takes no lock.
  thread_local std::optional<Locale> cached;
  thread_local std::uint64_t cachedGeneration = 0;
  Pinned& state = pinned();
  const std::uint64_t now = state.generation.load(std::memory_order_acquire);
  if (cached && cachedGeneration == now) return *cached;
  static const Locale fromEnvironment = environmentLocale();
  std::lock_guard lock(state.mutex);
  cached = state.locale ? *state.locale : fromEnvironment;
  cachedGeneration = state.generation.load(std::memory_order_relaxed);
  return *cached;
}

std::uint64_t Locale::generation() noexcept { return pinned().generation.load(std::memory_order_acquire); }

Locale::Pin::Pin(const Locale& locale) {
  Pinned& state = pinned();
  std::lock_guard lock(state.mutex);
  previous_ = state.locale;
  state.locale = locale;
  state.generation.fetch_add(1, std::memory_order_acq_rel);
}

Locale::Pin::~Pin() {
  Pinned& state = pinned();
  std::lock_guard lock(state.mutex);
  state.locale = previous_;
  state.generation.fetch_add(1, std::memory_order_acq_rel);
}

}  // namespace platform
