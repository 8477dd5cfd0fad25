#include "player/audio_device.h"

#include <gtest/gtest.h>
#include <mpg123.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "player/player_test_support.h"

namespace sonvale {
namespace {

using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;

class FakeClock : public Clock {
 public:
  int64_t NowMs() override { return now; }
  int64_t now = 5000;
};

// Encodes `seconds` of a tone with lame; returns false when lame is not there.
bool MakeMp3(const std::string& path, int rate, int channels, double seconds, const std::string& options) {
  const int frames = static_cast<int>(seconds * rate);
  std::string pcm;
  pcm.reserve(static_cast<size_t>(frames) * channels * 2);
  for (int i = 0; i < frames; ++i) {
    const auto value = static_cast<int16_t>(8000 * std::sin(2 * 3.14159265 * 440.0 * i / rate));
    for (int c = 0; c < channels; ++c) {
      pcm.push_back(static_cast<char>(value & 0xFF));
      pcm.push_back(static_cast<char>((value >> 8) & 0xFF));
    }
  }
  WriteFile(path + ".raw", pcm);
  const std::string command = std::string(SONVALE_LAME_PROGRAM) + " --quiet -r -s " +
                              std::to_string(rate / 1000.0) + " --bitwidth 16 --signed --little-endian -m " +
                              (channels == 1 ? "m" : "s") + " " + options + " '" + path + ".raw' '" + path +
                              "' 2>/dev/null";
  const bool ok = std::system(command.c_str()) == 0;
  std::filesystem::remove(path + ".raw");
  return ok && std::filesystem::exists(path);
}

// The number of samples a full decode yields: what the length must match.
int64_t DecodedMilliseconds(const std::string& path) {
  mpg123_init();
  mpg123_handle* decoder = mpg123_new(nullptr, nullptr);
  mpg123_param(decoder, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
  EXPECT_EQ(mpg123_open(decoder, path.c_str()), MPG123_OK);
  long rate = 0;
  int channels = 0;
  int encoding = 0;
  mpg123_getformat(decoder, &rate, &channels, &encoding);
  int64_t bytes = 0;
  unsigned char buffer[16384];
  size_t done = 0;
  int result = MPG123_OK;
  while ((result = mpg123_read(decoder, buffer, sizeof buffer, &done)) == MPG123_OK ||
         result == MPG123_NEW_FORMAT) {
    bytes += static_cast<int64_t>(done);
  }
  bytes += static_cast<int64_t>(done);
  const int64_t frameBytes = channels * mpg123_encsize(encoding);
  mpg123_close(decoder);
  mpg123_delete(decoder);
  return bytes / frameBytes * 1000 / rate;
}

// An ID3v2.3 tag of `size` bytes of padding.
std::string Id3v2Tag(size_t size) {
  std::string tag = "ID3";
  tag += '\x03';
  tag += '\x00';
  tag += '\x00';
  for (int shift : {21, 14, 7, 0}) tag += static_cast<char>((size >> shift) & 0x7F);
  tag += std::string(size, '\0');
  return tag;
}

// Polls the device as the loop does until the position reaches the length; returns the wall time.
double PlayToEnd(AudioMediaDevice& device) {
  const auto start = std::chrono::steady_clock::now();
  device.Play();
  while (device.Position() < device.Length()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (std::chrono::steady_clock::now() - start > std::chrono::seconds(20)) break;
  }
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

class AudioDeviceTest : public ::testing::Test {
 protected:
  TempFolder folder;
  FakeClock fakeClock;
  SystemClock systemClock;
};

TEST_F(AudioDeviceTest, LengthIsExactForVbrWithoutHeaderAndBehindLargeId3v2Tags) {
  const std::string vbr = folder.Path() + "vbr.mp3";
  ASSERT_TRUE(MakeMp3(vbr, 44100, 2, 2.3, "-V 5 -t"));  // -t: no Xing/LAME header frame
  const std::string cbr = folder.Path() + "cbr.mp3";
  ASSERT_TRUE(MakeMp3(cbr, 32000, 1, 1.7, "-b 96"));
  const std::string tagged = folder.Path() + "tagged.mp3";
  WriteFile(tagged, Id3v2Tag(300000) + ReadFile(vbr));

  AudioMediaDevice device(fakeClock);
  device.ForceSilentOutput();
  device.Open(vbr);
  const int64_t vbrLength = device.Length();
  EXPECT_EQ(vbrLength, DecodedMilliseconds(vbr));
  EXPECT_NEAR(vbrLength, 2300, 80);
  device.Open(tagged);
  EXPECT_EQ(device.Length(), vbrLength);
  device.Open(cbr);
  EXPECT_EQ(device.Length(), DecodedMilliseconds(cbr));
  EXPECT_NEAR(device.Length(), 1700, 80);
  device.Close();
  EXPECT_EQ(device.Length(), 0);
  EXPECT_EQ(device.Position(), 0);
  EXPECT_FALSE(device.IsOpen());
}

TEST_F(AudioDeviceTest, FilesThatCannotBePlayedGiveReadableErrors) {
  AudioMediaDevice device(fakeClock);
  device.ForceSilentOutput();
  try {
    device.Open(folder.Path() + "missing.mp3");
    FAIL() << "no error for a missing file";
  } catch (const MediaError& error) {
    EXPECT_NE(std::string(error.what()).find("missing.mp3"), std::string::npos);
    EXPECT_NE(std::string(error.what()).find("No such file"), std::string::npos);
  }
  WriteFile(folder.Path() + "empty.mp3", "");
  EXPECT_THROW(device.Open(folder.Path() + "empty.mp3"), MediaError);
  WriteFile(folder.Path() + "text.mp3", std::string(5000, 'x'));
  EXPECT_THROW(device.Open(folder.Path() + "text.mp3"), MediaError);
  EXPECT_FALSE(device.IsOpen());
  EXPECT_EQ(device.Position(), 0);
  device.Close();  // closing with nothing open does nothing
}

TEST_F(AudioDeviceTest, SilentOutputFollowsTheClock) {
  const std::string path = folder.Path() + "tone.mp3";
  ASSERT_TRUE(MakeMp3(path, 44100, 1, 1.0, "-b 64"));
  AudioMediaDevice device(fakeClock);
  device.ForceSilentOutput();
  EXPECT_FALSE(device.HasAudioOutput());
  device.Open(path);
  fakeClock.now += 500;
  EXPECT_EQ(device.Position(), 0);  // opened, not playing
  device.Play();
  fakeClock.now += 300;
  EXPECT_EQ(device.Position(), 300);
  device.Stop();
  fakeClock.now += 400;
  EXPECT_EQ(device.Position(), 300);
  device.Play();
  fakeClock.now += 100000;
  EXPECT_EQ(device.Position(), device.Length());
  device.Seek(250);
  EXPECT_EQ(device.Position(), 250);
}

TEST_F(AudioDeviceTest, PlaysInRealTimeToTheEndAcrossSampleRateChanges) {
  const std::string low = folder.Path() + "low.mp3";
  const std::string high = folder.Path() + "high.mp3";
  ASSERT_TRUE(MakeMp3(low, 22050, 1, 0.8, "-b 32"));
  ASSERT_TRUE(MakeMp3(high, 48000, 2, 0.8, "-b 128"));
  AudioMediaDevice device(systemClock);
  for (const std::string& path : {low, high, low}) {
    device.Open(path);
    const double seconds = PlayToEnd(device);
    EXPECT_EQ(device.Position(), device.Length()) << path;
    EXPECT_GT(seconds, device.Length() / 1000.0 * 0.6) << path;  // not faster than real time
    EXPECT_LT(seconds, device.Length() / 1000.0 + 3.0) << path;
    device.Stop();
    device.Close();
  }
}

TEST_F(AudioDeviceTest, AFileCutShortAfterOpeningStillReachesItsLength) {
  const std::string path = folder.Path() + "cut.mp3";
  ASSERT_TRUE(MakeMp3(path, 44100, 2, 2.0, "-b 128"));
  AudioMediaDevice device(systemClock);
  device.Open(path);
  const int64_t length = device.Length();
  std::filesystem::resize_file(path, std::filesystem::file_size(path) / 3);
  const double seconds = PlayToEnd(device);
  EXPECT_EQ(device.Position(), length);
  EXPECT_LT(seconds, length / 1000.0 + 3.0);
}

TEST_F(AudioDeviceTest, OpeningTheOutputLeavesTermAndInterruptSignalsAlone) {
  AudioMediaDevice device(systemClock);
  device.HasAudioOutput();
  for (int signal : {SIGTERM, SIGINT}) {
    struct sigaction action {};
    sigaction(signal, nullptr, &action);
    EXPECT_EQ(action.sa_handler, SIG_DFL) << "signal " << signal;
  }
}

}  // namespace
}  // namespace sonvale
