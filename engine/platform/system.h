// Small services of the operating system: free memory, sleeping, the clock, the executable's path.
#pragma once

#include <cstdint>
#include <string>

namespace viz::platform {

//! Returns the free physical memory in bytes (MemAvailable of /proc/meminfo), or 0 when unknown.
int64_t AvailablePhysicalMemory();

//! Sleeps for `milliseconds`.
void SleepMs(int milliseconds);

//! Returns a monotonic clock in milliseconds.
int64_t MonotonicMs();

//! A local calendar date and time of day.
struct DateTimeParts {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};

//! Returns the current local date and time.
DateTimeParts LocalNow();

//! Returns the full path of the running executable.
std::string ExecutablePath();

}  // namespace viz::platform
