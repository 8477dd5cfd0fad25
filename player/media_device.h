// The media device the playback loop drives, and the clock the loop and the device read.
// Both are interfaces so that tests can run the loop with a fake device and a fake clock.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace sonvale {

//! Raised when a media file cannot be opened or decoded; the text is meant for the user.
class MediaError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

//! A monotonic clock in milliseconds.
class Clock {
 public:
  virtual ~Clock() = default;
  //! Returns milliseconds since an arbitrary fixed point; never goes back.
  virtual int64_t NowMs() = 0;
};

//! The steady clock of the system.
class SystemClock : public Clock {
 public:
  int64_t NowMs() override;
};

//! One audio track at a time: open, ask for length and position, play, stop, close.
//! Length and position are in milliseconds.
class MediaDevice {
 public:
  virtual ~MediaDevice() = default;
  //! Opens `path`, closing any open track first; the position starts at 0 and the track is stopped.
  //! Throws MediaError with a readable text when the file cannot be opened or decoded.
  virtual void Open(const std::string& path) = 0;
  //! Returns the length of the open track; 0 when none is open.
  virtual int64_t Length() = 0;
  //! Returns the play position of the open track; 0 when none is open. Once the whole track has
  //! been played it returns the length. The loop calls this every tick, which also keeps the output fed.
  virtual int64_t Position() = 0;
  //! Starts or resumes playing from the current position and returns at once.
  virtual void Play() = 0;
  //! Stops playing; the position stays where it is.
  virtual void Stop() = 0;
  //! Moves the position (clamped to 0 .. length); playing goes on if it was playing.
  virtual void Seek(int64_t positionMs) = 0;
  //! Closes the track; does nothing when none is open.
  virtual void Close() = 0;
  //! Returns true when a track is open.
  virtual bool IsOpen() const = 0;
};

}  // namespace sonvale
