#include "player/event_trace.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace sonvale {

namespace {

int& TraceState() {
  static int state = [] {
    const char* value = std::getenv(kTraceVariable);
    return (value != nullptr && *value != '\0' && std::strcmp(value, "0") != 0) ? 1 : 0;
  }();
  return state;
}

}  // namespace

bool TraceEnabled() {
  return TraceState() != 0;
}

void SetTraceEnabled(bool enabled) {
  TraceState() = enabled ? 1 : 0;
}

void TraceEvent(const std::string& event) {
  if (!TraceEnabled()) return;
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &utc);
  std::fprintf(stderr, "sonvale: %s.%03dZ %s\n", stamp, static_cast<int>(millis), event.c_str());
  std::fflush(stderr);
}

}  // namespace sonvale
