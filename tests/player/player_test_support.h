// Helpers shared by the player's tests: a temporary folder and small file writers.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

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

//! Writes `bytes` to `path`, creating parent folders.
void WriteFile(const std::string& path, const std::string& bytes);
//! Returns the whole file.
std::string ReadFile(const std::string& path);

}  // namespace sonvale::testing
