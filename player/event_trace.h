// An optional trace of the player's events on standard error, for watching an unattended
// installation: switched on when the environment variable SONVALE_TRACE is set and not "0".
// (The player's other variable, SONVALE_SEED, fixes its random order: see startup_seed.h.)
#pragma once

#include <string>

namespace sonvale {

inline constexpr const char* kTraceVariable = "SONVALE_TRACE";

//! Writes one line "sonvale: <event>" with a UTC time stamp to standard error when tracing is on.
void TraceEvent(const std::string& event);

//! Returns whether tracing is on (read once from the environment).
bool TraceEnabled();

//! Switches tracing on or off for this process (tests).
void SetTraceEnabled(bool enabled);

}  // namespace sonvale
