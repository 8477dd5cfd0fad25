// Keeps the loop from nagging and from spinning when media files fail.
#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

#include "player/media_device.h"

namespace sonvale {

//! Remembers which files of one list have failed. Each file is reported to the user once for the
//! life of the process; when every file of the list has failed since the last success, the list is
//! put to rest for a pause before it is tried again, and that is reported once too.
class FailureTracker {
 public:
  //! What the caller should tell the user about a failure.
  struct Outcome {
    bool reportFile = false;       //!< first failure of this file
    bool reportAllFailed = false;  //!< every file has failed; said only the first time
  };

  FailureTracker(Clock& clock, int64_t pauseMs) : clock_(clock), pauseMs_(pauseMs) {}

  //! Records that `name`, one of `total` distinct files, failed.
  Outcome Fail(const std::string& name, size_t total);
  //! Records a success: the files that failed may be picked without a pause again.
  void Succeed() { failedSinceSuccess_.clear(); }
  //! Returns true while the list rests after every file failed; once the pause is over the failures
  //! are forgotten (not the reports) and this returns false.
  bool Resting();

 private:
  Clock& clock_;
  const int64_t pauseMs_;
  std::set<std::string> reported_;
  std::set<std::string> failedSinceSuccess_;
  bool allFailedReported_ = false;
  bool resting_ = false;
  int64_t restUntil_ = 0;
};

}  // namespace sonvale
