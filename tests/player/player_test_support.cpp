#include "player/player_test_support.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "tools/lyrics/lyric_file.h"

namespace sonvale::testing {

TempFolder::TempFolder() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/sonvale-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern + "/";
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

bool WaitFor(const std::function<bool()>& done, int seconds) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < seconds * 1000) QApplication::processEvents(QEventLoop::AllEvents, 50);
  return done();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!file) throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

void MakeLyricFile(const std::string& path, const std::vector<std::pair<std::string, std::string>>& lyrics) {
  TempFolder texts;
  for (const auto& [track, lyric] : lyrics) WriteFile(texts.Path() + track + ".txt", lyric);
  PrepareLyricFile(path, texts.Path());
}

std::string LyricFileProblems(const std::string& path) {
  const std::string command = std::string("'") + VIZCHECK_PATH + "' '" + path + "' --password " +
                              lyric_file::kPassword + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return "vizcheck could not be started";
  std::string output;
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
  const int status = pclose(pipe);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? std::string() : output;
}

void CopyDemoFolder(const std::string& folder) {
  for (const char* part : {"MarvoyMP3", "MarvoyJPG", "Lyrics"}) {
    std::filesystem::copy(std::string(SONVALE_DEMO_FOLDER) + part, folder + part,
                          std::filesystem::copy_options::recursive);
  }
}

}  // namespace sonvale::testing
