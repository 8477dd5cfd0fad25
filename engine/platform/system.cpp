#include "engine/platform/system.h"

#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <thread>

namespace viz::platform {

int64_t AvailablePhysicalMemory() {
  FILE* meminfo = std::fopen("/proc/meminfo", "r");
  if (!meminfo) return 0;
  char line[256];
  int64_t kib = 0;
  while (std::fgets(line, sizeof line, meminfo)) {
    long long value = 0;
    if (std::sscanf(line, "MemAvailable: %lld kB", &value) == 1) {
      kib = value;
      break;
    }
  }
  std::fclose(meminfo);
  return kib * 1024;
}

void SleepMs(int milliseconds) {
  if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

int64_t MonotonicMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

DateTimeParts LocalNow() {
  auto now = std::chrono::system_clock::now();
  std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&seconds, &local);
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  DateTimeParts parts;
  parts.year = local.tm_year + 1900;
  parts.month = local.tm_mon + 1;
  parts.day = local.tm_mday;
  parts.hour = local.tm_hour;
  parts.minute = local.tm_min;
  parts.second = local.tm_sec;
  parts.millisecond = static_cast<int>(ms);
  return parts;
}

std::string ExecutablePath() {
  char buffer[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return {};
  return std::string(buffer, static_cast<size_t>(length));
}

}  // namespace viz::platform
