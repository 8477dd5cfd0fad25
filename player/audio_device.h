// The real media device: libmpg123 decodes, SDL2 plays.
//
// Everything runs in the caller's thread: SDL's queue mode is fed a little ahead of the play
// position each time the position is asked for (the loop asks every 100 ms), so no callback of ours
// runs on SDL's audio thread. The output device is opened once with a fixed format; each track gets
// its own converter from its own sample rate and channel count, so a change of rate between tracks
// needs no reopening. When no audio device can be opened, output is silent and the position follows
// the clock, so the loop behaves the same with or without a sound card.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "player/media_device.h"

struct mpg123_handle_struct;
struct _SDL_AudioStream;

namespace sonvale {

class AudioMediaDevice : public MediaDevice {
 public:
  //! `clock` drives the position of silent output.
  explicit AudioMediaDevice(Clock& clock);
  ~AudioMediaDevice() override;
  AudioMediaDevice(const AudioMediaDevice&) = delete;
  AudioMediaDevice& operator=(const AudioMediaDevice&) = delete;

  void Open(const std::string& path) override;
  int64_t Length() override { return lengthMs_; }
  int64_t Position() override;
  void Play() override;
  void Stop() override;
  void Seek(int64_t positionMs) override;
  void Close() override;
  bool IsOpen() const override { return decoder_ != nullptr; }

  //! Returns true when sound goes to an audio device, false when output is silent.
  bool HasAudioOutput();
  //! Makes output silent from now on even when an audio device could be opened (tests).
  void ForceSilentOutput();

 private:
  void EnsureOutput();
  bool CreateConverter();
  void Feed();
  bool Drained();
  int64_t SilentPosition();
  void ResetOutputQueue();

  Clock& clock_;
  // The open track.
  mpg123_handle_struct* decoder_ = nullptr;
  long rate_ = 0;
  int channels_ = 0;
  int64_t lengthMs_ = 0;
  bool playing_ = false;
  bool decoderDone_ = false;
  int64_t baseMs_ = 0;  // position where output bytes began counting (open or seek)

  // Audio output (opened once).
  bool outputTried_ = false;
  bool silent_ = false;
  uint32_t device_ = 0;
  int outRate_ = 0;
  int outFrameBytes_ = 0;
  _SDL_AudioStream* converter_ = nullptr;
  int64_t outBytesQueued_ = 0;  // bytes given to the device since baseMs_
  std::vector<unsigned char> decodeBuffer_;
  std::vector<unsigned char> outBuffer_;

  // Silent output.
  int64_t silentPlayedMs_ = 0;   // position at the last start or stop
  int64_t silentStartedAt_ = 0;  // clock at the last start
};

}  // namespace sonvale
