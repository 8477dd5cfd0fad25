#include "player/failure_tracker.h"

namespace sonvale {

FailureTracker::Outcome FailureTracker::Fail(const std::string& name, size_t total) {
  Outcome outcome;
  outcome.reportFile = reported_.insert(name).second;
  failedSinceSuccess_.insert(name);
  if (failedSinceSuccess_.size() >= total) {
    resting_ = true;
    restUntil_ = clock_.NowMs() + pauseMs_;
    outcome.reportAllFailed = !allFailedReported_;
    allFailedReported_ = true;
  }
  return outcome;
}

bool FailureTracker::Resting() {
  if (!resting_) return false;
  if (clock_.NowMs() < restUntil_) return true;
  resting_ = false;
  failedSinceSuccess_.clear();
  return false;
}

}  // namespace sonvale
