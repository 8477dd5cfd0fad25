#include "player/audio_device.h"

#include <SDL.h>
#include <mpg123.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "player/event_trace.h"

namespace sonvale {

namespace {

// How much sound is queued ahead of the play position: enough to ride over a slow tick.
constexpr int64_t kLeadMs = 1000;
constexpr int kOutputRate = 44100;
constexpr int kOutputChannels = 2;
constexpr size_t kDecodeChunk = 16384;

void InitDecoderLibrary() {
  static const int result = mpg123_init();
  (void)result;
}

std::string Quoted(const std::string& path) {
  return "\"" + path + "\"";
}

}  // namespace

int64_t SystemClock::NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

AudioMediaDevice::AudioMediaDevice(Clock& clock) : clock_(clock) {}

AudioMediaDevice::~AudioMediaDevice() {
  Close();
  if (device_ != 0) {
    SDL_CloseAudioDevice(device_);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }
}

void AudioMediaDevice::EnsureOutput() {
  if (outputTried_) return;
  outputTried_ = true;
  // SDL would otherwise take over SIGINT and SIGTERM and turn them into events nobody reads, and
  // the player could no longer be stopped by a signal.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    TraceEvent(std::string("no audio output, playing silently: ") + SDL_GetError());
    silent_ = true;
    return;
  }
  SDL_AudioSpec want{};
  want.freq = kOutputRate;
  want.format = AUDIO_S16SYS;
  want.channels = kOutputChannels;
  want.samples = 2048;
  want.callback = nullptr;  // queue mode: fed from this thread
  SDL_AudioSpec have{};
  device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (device_ == 0) {
    TraceEvent(std::string("no audio output, playing silently: ") + SDL_GetError());
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    silent_ = true;
    return;
  }
  outRate_ = have.freq;
  outFrameBytes_ = have.channels * static_cast<int>(SDL_AUDIO_BITSIZE(have.format) / 8);
  TraceEvent(std::string("audio output: ") + SDL_GetCurrentAudioDriver());
}

bool AudioMediaDevice::HasAudioOutput() {
  EnsureOutput();
  return !silent_;
}

void AudioMediaDevice::ForceSilentOutput() {
  Close();
  if (device_ != 0) {
    SDL_CloseAudioDevice(device_);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    device_ = 0;
  }
  outputTried_ = true;
  silent_ = true;
}

void AudioMediaDevice::Open(const std::string& path) {
  Close();
  InitDecoderLibrary();
  // A readable reason for the common case of a missing or unreadable file.
  if (std::FILE* probe = std::fopen(path.c_str(), "rb")) {
    std::fclose(probe);
  } else {
    throw MediaError("Cannot open " + Quoted(path) + ": " + std::strerror(errno));
  }

  int error = MPG123_OK;
  mpg123_handle* decoder = mpg123_new(nullptr, &error);
  if (decoder == nullptr)
    throw MediaError(std::string("Cannot start the MP3 decoder: ") + mpg123_plain_strerror(error));
  auto fail = [&](const std::string& what) {
    const std::string reason = mpg123_strerror(decoder);
    mpg123_close(decoder);
    mpg123_delete(decoder);
    throw MediaError("Cannot play " + Quoted(path) + ": " + what +
                     (reason.empty() ? "" : " (" + reason + ")"));
  };
  mpg123_param(decoder, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
  // 16-bit output at the file's own rate; the output converter does the rest.
  mpg123_format_none(decoder);
  const long* rates = nullptr;
  size_t rateCount = 0;
  mpg123_rates(&rates, &rateCount);
  for (size_t i = 0; i < rateCount; ++i)
    mpg123_format(decoder, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);

  if (mpg123_open(decoder, path.c_str()) != MPG123_OK) fail("the file cannot be opened");
  // The length comes from a scan of every frame: the size-based estimate is wrong for VBR files
  // without a Xing header and for files with large ID3v2 tags.
  if (mpg123_scan(decoder) != MPG123_OK) fail("the file cannot be decoded");
  long rate = 0;
  int channels = 0;
  int encoding = 0;
  if (mpg123_getformat(decoder, &rate, &channels, &encoding) != MPG123_OK || rate <= 0) {
    fail("no MPEG audio found");
  }
  const off_t samples = mpg123_length(decoder);
  if (samples <= 0) fail("no MPEG audio found");

  decoder_ = decoder;
  rate_ = rate;
  channels_ = channels;
  lengthMs_ = static_cast<int64_t>(samples) * 1000 / rate;
  decoderDone_ = false;
  playing_ = false;
  baseMs_ = 0;
  silentPlayedMs_ = 0;
  EnsureOutput();
  if (!silent_ && !CreateConverter()) {
    Close();
    throw MediaError("Cannot play " + Quoted(path) + ": " + SDL_GetError());
  }
  ResetOutputQueue();
}

bool AudioMediaDevice::CreateConverter() {
  if (converter_ != nullptr) SDL_FreeAudioStream(converter_);
  converter_ = SDL_NewAudioStream(AUDIO_S16SYS, static_cast<Uint8>(channels_), static_cast<int>(rate_),
                                  AUDIO_S16SYS, kOutputChannels, outRate_);
  return converter_ != nullptr;
}

void AudioMediaDevice::ResetOutputQueue() {
  if (device_ != 0) {
    SDL_PauseAudioDevice(device_, 1);
    SDL_ClearQueuedAudio(device_);
  }
  if (converter_ != nullptr) SDL_AudioStreamClear(converter_);
  outBytesQueued_ = 0;
}

void AudioMediaDevice::Play() {
  if (decoder_ == nullptr || playing_) return;
  playing_ = true;
  if (silent_) {
    silentStartedAt_ = clock_.NowMs();
    return;
  }
  Feed();
  SDL_PauseAudioDevice(device_, 0);
}

void AudioMediaDevice::Stop() {
  if (decoder_ == nullptr || !playing_) return;
  if (silent_) silentPlayedMs_ = SilentPosition();
  playing_ = false;
  if (!silent_) SDL_PauseAudioDevice(device_, 1);
}

void AudioMediaDevice::Seek(int64_t positionMs) {
  if (decoder_ == nullptr) return;
  positionMs = std::clamp<int64_t>(positionMs, 0, lengthMs_);
  if (silent_) {
    silentPlayedMs_ = positionMs;
    silentStartedAt_ = clock_.NowMs();
    return;
  }
  const bool wasPlaying = playing_;
  const off_t sample = static_cast<off_t>(positionMs * rate_ / 1000);
  const off_t reached = mpg123_seek(decoder_, sample, SEEK_SET);
  ResetOutputQueue();
  baseMs_ = reached >= 0 ? static_cast<int64_t>(reached) * 1000 / rate_ : positionMs;
  decoderDone_ = reached < 0 || positionMs >= lengthMs_;
  if (wasPlaying) {
    Feed();
    SDL_PauseAudioDevice(device_, 0);
  }
}

void AudioMediaDevice::Close() {
  if (decoder_ != nullptr) {
    mpg123_close(decoder_);
    mpg123_delete(decoder_);
    decoder_ = nullptr;
  }
  ResetOutputQueue();
  if (converter_ != nullptr) {
    SDL_FreeAudioStream(converter_);
    converter_ = nullptr;
  }
  playing_ = false;
  decoderDone_ = false;
  lengthMs_ = 0;
  baseMs_ = 0;
  silentPlayedMs_ = 0;
}

int64_t AudioMediaDevice::SilentPosition() {
  int64_t position = silentPlayedMs_;
  if (playing_) position += clock_.NowMs() - silentStartedAt_;
  return std::min(position, lengthMs_);
}

bool AudioMediaDevice::Drained() {
  return decoderDone_ && SDL_AudioStreamAvailable(converter_) == 0 && SDL_GetQueuedAudioSize(device_) == 0;
}

void AudioMediaDevice::Feed() {
  if (decoder_ == nullptr || silent_ || converter_ == nullptr) return;
  const int64_t target = static_cast<int64_t>(outRate_) * outFrameBytes_ * kLeadMs / 1000;
  decodeBuffer_.resize(kDecodeChunk);
  outBuffer_.resize(kDecodeChunk * 4);
  int idleRounds = 0;
  while (static_cast<int64_t>(SDL_GetQueuedAudioSize(device_)) < target) {
    const int available = SDL_AudioStreamAvailable(converter_);
    if (available > 0) {
      const int got = SDL_AudioStreamGet(converter_, outBuffer_.data(),
                                         std::min<int>(available, static_cast<int>(outBuffer_.size())));
      if (got <= 0) break;
      SDL_QueueAudio(device_, outBuffer_.data(), static_cast<Uint32>(got));
      outBytesQueued_ += got;
      continue;
    }
    if (decoderDone_) break;
    size_t done = 0;
    const int result = mpg123_read(decoder_, decodeBuffer_.data(), decodeBuffer_.size(), &done);
    if (done > 0) {
      SDL_AudioStreamPut(converter_, decodeBuffer_.data(), static_cast<int>(done));
      idleRounds = 0;
    } else if (++idleRounds > 16) {
      if (result != MPG123_DONE) TraceEvent("decoder made no progress; track treated as ended");
      decoderDone_ = true;
      SDL_AudioStreamFlush(converter_);
      continue;
    }
    if (result == MPG123_NEW_FORMAT) {
      long rate = 0;
      int channels = 0;
      int encoding = 0;
      mpg123_getformat(decoder_, &rate, &channels, &encoding);
      if (rate != rate_ || channels != channels_) {
        // Hand on what was converted at the old format, then convert at the new one.
        SDL_AudioStreamFlush(converter_);
        while (SDL_AudioStreamAvailable(converter_) > 0) {
          const int got =
              SDL_AudioStreamGet(converter_, outBuffer_.data(), static_cast<int>(outBuffer_.size()));
          if (got <= 0) break;
          SDL_QueueAudio(device_, outBuffer_.data(), static_cast<Uint32>(got));
          outBytesQueued_ += got;
        }
        rate_ = rate;
        channels_ = channels;
        if (!CreateConverter()) {
          decoderDone_ = true;
          break;
        }
      }
    } else if (result == MPG123_DONE || (result != MPG123_OK && result != MPG123_NEW_FORMAT)) {
      // The end, or a damaged tail: play out what was decoded and let the position reach the length.
      decoderDone_ = true;
      SDL_AudioStreamFlush(converter_);
    }
  }
}

int64_t AudioMediaDevice::Position() {
  if (decoder_ == nullptr) return 0;
  if (silent_) return SilentPosition();
  if (playing_) Feed();
  if (Drained()) return lengthMs_;
  const int64_t queued = SDL_GetQueuedAudioSize(device_);
  const int64_t playedFrames = std::max<int64_t>(0, outBytesQueued_ - queued) / outFrameBytes_;
  return std::min(lengthMs_, baseMs_ + playedFrames * 1000 / outRate_);
}

}  // namespace sonvale
