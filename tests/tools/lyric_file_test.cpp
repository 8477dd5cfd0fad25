// The lyrics tool: the file it makes from a folder of text files, read back through the engine and
// judged by vizcheck, and how it decodes the text files.
#include "tools/lyrics/lyric_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "engine/components/VIZMain.h"
#include "support/temp_dir.h"

namespace sonvale {
namespace {

using ::testing::HasSubstr;
using viz::testing::TempDir;

struct ProgramRun {
  int exitCode = -1;
  std::string output;
};

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args) {
  std::string command = "'" + program + "'";
  for (const std::string& arg : args) command += " '" + arg + "'";
  command += " 2>&1";
  ProgramRun run;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return run;
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, got);
  const int status = pclose(pipe);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

void Write(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Every record of the lyrics file in index order: file name and lyric.
std::vector<std::pair<std::string, std::string>> Records(const std::string& path) {
  viz::TABSDatabase database;
  database.SetDatabaseName("LyricFileTest");
  database.SetDatabaseFileName(path);
  database.SetPassword(lyric_file::kPassword);
  database.Open();
  viz::TABSTable table;
  table.SetDatabaseName("LyricFileTest");
  table.SetTableName(lyric_file::kTable);
  table.SetIndexName(lyric_file::kIndex);
  table.Open();
  // The index compares case-sensitively.
  const viz::TIndexDef& index = table.IndexDefs().Find(lyric_file::kIndex);
  EXPECT_EQ(index.Options & viz::ixCaseInsensitive, 0);
  EXPECT_EQ(index.CaseInsFields, "");
  std::vector<std::pair<std::string, std::string>> records;
  for (table.First(); !table.Eof(); table.Next()) {
    records.emplace_back(FileNameText(table.FieldByName(lyric_file::kFileNameField)),
                         LyricText(table.FieldByName(lyric_file::kLyricField)));
  }
  return records;
}

TEST(LyricFileTest, ToolMakesTheFileFromAFolderOfTextsInAnyLanguage) {
  TempDir dir;
  const std::string texts = dir.File("texts");
  std::filesystem::create_directories(texts + "/sub");
  Write(texts + "/Song.mp3.txt", "First line\r\nSecond line\r\n");
  Write(texts + "/song.mp3.txt", "the other track, differing only in case");
  Write(texts + "/Пісня.mp3.txt", "\xEF\xBB\xBFСлова пісні");                  // UTF-8 with its mark
  Write(texts + "/歌.mp3", "歌詞\n");                                              // named as the track
  Write(texts + "/Café.mp3.TXT", "caf\xE9 cr\xE8me");                              // Windows-1252
  Write(texts + "/wide.mp3.txt", std::string("\xFF\xFEh\0i\0", 6));               // UTF-16 with its mark
  Write(texts + "/.hidden.txt", "not a lyric");
  Write(texts + "/sub/Nested.mp3.txt", "folders are not entered");
  const std::string file = dir.File("Lyrics/LYRIC.SVL");

  ProgramRun run = RunProgram(SONVALE_LYRICS_PATH, {file, texts});
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_THAT(run.output, HasSubstr("6 lyrics added, 0 replaced"));
  EXPECT_THAT(run.output, HasSubstr("skipped .hidden.txt"));

  const std::map<std::string, std::string> expected = {
      {"BlankMemo", "No Lyric"},
      {"Café.mp3", "café crème"},
      {"Song.mp3", "First line\nSecond line\n"},
      {"song.mp3", "the other track, differing only in case"},
      {"wide.mp3", "hi"},
      {"Пісня.mp3", "Слова пісні"},
      {"歌.mp3", "歌詞\n"},
  };
  const auto records = Records(file);
  const std::map<std::string, std::string> stored(records.begin(), records.end());
  EXPECT_EQ(stored, expected);
  EXPECT_EQ(records.size(), expected.size());
  ProgramRun check = RunProgram(VIZCHECK_PATH, {file, "--password", lyric_file::kPassword});
  EXPECT_EQ(check.exitCode, 0) << check.output;

  // A second load replaces the lyrics of known tracks and adds no second record for them.
  std::filesystem::remove_all(texts);
  std::filesystem::create_directories(texts);
  Write(texts + "/Song.mp3.txt", "New words");
  Write(texts + "/Another.mp3.txt", "");
  run = RunProgram(SONVALE_LYRICS_PATH, {file, texts});
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_THAT(run.output, HasSubstr("1 lyrics added, 1 replaced"));
  std::map<std::string, std::string> again;
  for (const auto& [name, lyric] : Records(file)) EXPECT_TRUE(again.emplace(name, lyric).second) << name;
  EXPECT_EQ(again.size(), expected.size() + 1);
  EXPECT_EQ(again["Song.mp3"], "New words");
  EXPECT_EQ(again["Another.mp3"], "");
  EXPECT_EQ(again["song.mp3"], expected.at("song.mp3"));
  check = RunProgram(VIZCHECK_PATH, {file, "--password", lyric_file::kPassword});
  EXPECT_EQ(check.exitCode, 0) << check.output;
}

TEST(LyricFileTest, MissingBlankRecordIsAddedAndOtherFilesAreRefused) {
  TempDir dir;
  const std::string file = dir.File("LYRIC.SVL");
  ASSERT_EQ(RunProgram(SONVALE_LYRICS_PATH, {file}).exitCode, 0);
  {
    viz::TABSDatabase database;
    database.SetDatabaseName("LyricFileTest");
    database.SetDatabaseFileName(file);
    database.SetPassword(lyric_file::kPassword);
    database.Open();
    viz::TABSTable table;
    table.SetDatabaseName("LyricFileTest");
    table.SetTableName(lyric_file::kTable);
    table.Open();
    ASSERT_EQ(table.RecordCount(), 1);
    table.Delete();
  }
  ASSERT_TRUE(Records(file).empty());
  ASSERT_EQ(RunProgram(SONVALE_LYRICS_PATH, {file}).exitCode, 0);
  EXPECT_EQ(Records(file), (std::vector<std::pair<std::string, std::string>>{{"BlankMemo", "No Lyric"}}));

  // A database with another password, a file that is no database, a folder that is missing.
  const std::string other = dir.File("other.svl");
  {
    viz::TABSDatabase database;
    database.SetDatabaseName("LyricFileOther");
    database.SetDatabaseFileName(other);
    database.SetPassword("not ours");
    database.SetCipherType(1);
    database.MakeDatabaseFile();
  }
  ProgramRun run = RunProgram(SONVALE_LYRICS_PATH, {other});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_THAT(run.output, HasSubstr("incorrect password"));
  Write(dir.File("text.svl"), "just some text, long enough to be looked at as a database file or not");
  EXPECT_EQ(RunProgram(SONVALE_LYRICS_PATH, {dir.File("text.svl")}).exitCode, 1);
  run = RunProgram(SONVALE_LYRICS_PATH, {file, dir.File("no such folder")});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_THAT(run.output, HasSubstr("is not a folder"));
  EXPECT_EQ(RunProgram(SONVALE_LYRICS_PATH, {}).exitCode, 2);
  std::filesystem::permissions(file, std::filesystem::perms::owner_read);
  run = RunProgram(SONVALE_LYRICS_PATH, {file});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_THAT(run.output, HasSubstr("the file cannot be written"));
}

TEST(LyricFileTest, TextFilesAreDecodedAndNamedAfterTheirTracks) {
  const std::vector<std::pair<std::string, std::string>> decoded = {
      {"plain", "plain"},
      {"a\r\nb\rc\n", "a\nb\nc\n"},
      {"\xEF\xBB\xBF\xC3\xA9t\xC3\xA9", "été"},
      {"\xE9t\xE9 \x80", "été €"},                       // not UTF-8: Windows-1252
      {"\xC0\xAF", "\xC3\x80\xC2\xAF"},                  // an overlong form is not UTF-8
      {std::string("\xFF\xFE\xE9\0\r\0\n\0", 8), "é\n"},
      {std::string("\xFE\xFF\0\xE9\0!", 6), "é!"},
      {"", ""},
  };
  for (const auto& [bytes, text] : decoded) EXPECT_EQ(DecodeLyricText(bytes), text) << bytes;

  const std::vector<std::pair<std::string, std::string>> names = {
      {"Song.mp3.txt", "Song.mp3"}, {"Song.mp3.TXT", "Song.mp3"}, {"Song.mp3", "Song.mp3"},
      {"notes", "notes"},           {".txt", ""},                 {".hidden.txt", ""},
      {"x.txt", "x"},
  };
  for (const auto& [file, track] : names) EXPECT_EQ(TrackNameOfTextFile(file), track) << file;
}

}  // namespace
}  // namespace sonvale
