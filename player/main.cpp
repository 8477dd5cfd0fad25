// The player: plays the MP3 files of MarvoyMP3/ and shows the JPEG pictures of MarvoyJPG/, both
// beside the executable, until the window is closed, with the lyrics of ./Lyrics/LYRIC.SVL.
#include <QApplication>
#include <QDesktopServices>
#include <QUrl>
#include <filesystem>
#include <system_error>

#include "player/audio_device.h"
#include "player/lyric_database.h"
#include "player/main_window.h"
#include "player/startup_seed.h"
#include "tools/lyrics/lyric_file.h"

namespace {

std::string ExecutableFolder() {
  std::error_code error;
  const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return "./";
  return executable.parent_path().string() + "/";
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  application.setApplicationName("Sonvale");
  // A different order of tracks and pictures at every start (SONVALE_SEED fixes it).
  sonvale::SeedRandomGenerator();
  sonvale::SystemClock clock;
  sonvale::AudioMediaDevice media(clock);
  // The lyrics file is looked for in the current folder: start the player in its own folder (its
  // desktop entry and scripts/run-player.sh do).
  sonvale::LyricDatabase lyrics(sonvale::lyric_file::kPlayerPath);
  sonvale::TfrmMain window(ExecutableFolder(), media, clock, lyrics, [](const std::string& address) {
    return QDesktopServices::openUrl(QUrl(QString::fromStdString(address), QUrl::TolerantMode));
  });
  window.show();
  return application.exec();
}
