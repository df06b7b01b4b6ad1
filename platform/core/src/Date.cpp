#include "platform/core/Date.hpp"

#include <chrono>

namespace platform {

Date Date::now() {
  using namespace std::chrono;
  double seconds = duration<double>(system_clock::now().time_since_epoch()).count();
  return fromTimeIntervalSince1970(seconds);
}

}  // namespace platform
