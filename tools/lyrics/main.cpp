// sonvale_lyrics LYRICS_FILE [TEXT_FOLDER]: prepares the player's lyrics file. Makes the file when
// it does not exist (table "LYRIC", index "byFileName", the "BlankMemo" record), then stores the
// lyric of every text file of TEXT_FOLDER under the track it is named after: "Song.mp3.txt" (or
// "Song.mp3") holds the lyric of the track Song.mp3, in UTF-8, UTF-16 with its byte-order mark, or
// Windows-1252. A track that already has a lyric gets the new one.
#include <cstdio>
#include <filesystem>
#include <string>

#include "tools/lyrics/lyric_file.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: sonvale_lyrics LYRICS_FILE [TEXT_FOLDER]\n"
               "  makes LYRICS_FILE (the player reads Lyrics/LYRIC.SVL) when it does not exist, then\n"
               "  stores the lyric of each text file of TEXT_FOLDER under the track it is named after\n"
               "  (Song.mp3.txt or Song.mp3 for the track Song.mp3)\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) return Usage();
  const std::string file = argv[1];
  const std::string folder = argc == 3 ? argv[2] : "";
  if (file.empty() || file[0] == '-') return Usage();
  if (!folder.empty() && !std::filesystem::is_directory(folder)) {
    std::fprintf(stderr, "sonvale_lyrics: %s is not a folder\n", folder.c_str());
    return 1;
  }
  try {
    const sonvale::LyricLoadReport report = sonvale::PrepareLyricFile(file, folder);
    for (const std::string& line : report.skipped) std::printf("skipped %s\n", line.c_str());
    std::printf("%s: %d lyrics added, %d replaced\n", file.c_str(), report.added, report.replaced);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "sonvale_lyrics: %s: %s\n", file.c_str(), error.what());
    return 1;
  }
  return 0;
}
