// Helpers shared by the player's tests: a temporary folder and small file writers.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "player/media_device.h"

namespace sonvale::testing {

//! A fresh folder under $TMPDIR, removed with everything in it at the end of the scope.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  //! The folder's path with a trailing '/'.
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

//! Counts the tracks opened on the way to the real device.
class CountingMedia : public MediaDevice {
 public:
  explicit CountingMedia(MediaDevice& inner) : inner_(inner) {}
  void Open(const std::string& path) override {
    inner_.Open(path);
    opened.push_back(path);
  }
  int64_t Length() override { return inner_.Length(); }
  int64_t Position() override { return inner_.Position(); }
  void Play() override { inner_.Play(); }
  void Stop() override { inner_.Stop(); }
  void Seek(int64_t ms) override { inner_.Seek(ms); }
  void Close() override { inner_.Close(); }
  bool IsOpen() const override { return inner_.IsOpen(); }
  std::vector<std::string> opened;

 private:
  MediaDevice& inner_;
};

//! Runs the Qt event loop until `done` holds or `seconds` pass; returns `done()`.
bool WaitFor(const std::function<bool()>& done, int seconds);

//! Writes `bytes` to `path`, creating parent folders.
void WriteFile(const std::string& path, const std::string& bytes);
//! Returns the whole file.
std::string ReadFile(const std::string& path);

//! Makes the lyrics file `path` with the lyrics tool: "BlankMemo" and a record per (track, lyric).
void MakeLyricFile(const std::string& path, const std::vector<std::pair<std::string, std::string>>& lyrics);
//! Runs vizcheck on a lyrics file: empty when it finds the file sound, else its report.
std::string LyricFileProblems(const std::string& path);
//! Copies the demo folder (tracks, pictures and the lyrics file) into `folder`.
void CopyDemoFolder(const std::string& folder);

}  // namespace sonvale::testing
