#include "player/id3v1.h"

#include <gtest/gtest.h>

#include <string>

#include "player/player_test_support.h"

namespace sonvale {
namespace {

using testing::TempFolder;
using testing::WriteFile;

// A 128-byte tag block; every field is given with its exact bytes, zero-padded to its width.
std::string Tag(const std::string& title, const std::string& artist = "", const std::string& album = "",
                const std::string& year = "", const std::string& comment = "", unsigned char genre = 0,
                const std::string& marker = "TAG") {
  auto field = [](std::string text, size_t width) {
    text.resize(width, '\0');
    return text;
  };
  return marker + field(title, 30) + field(artist, 30) + field(album, 30) + field(year, 4) +
         field(comment, 30) + std::string(1, static_cast<char>(genre));
}

// Audio-like bytes in front of the tag, so that the tag is really read from the end of the file.
TagTexts ReadFromFile(const TempFolder& folder, const std::string& tag,
                      const std::string& front = "ID3 audio") {
  const std::string path = folder.Path() + "track.mp3";
  WriteFile(path, front + tag);
  return ReadTag(path);
}

TEST(Id3v1Test, FieldsRunToTheirFirstZeroByteAndKeepTrailingBlanks) {
  TempFolder folder;
  const std::string full30 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123";
  const TagTexts texts = ReadFromFile(folder, Tag(full30, "Abc", "Padded   ", "1999", "note", 17));
  EXPECT_EQ(texts.title, full30);  // no zero byte: all 30 characters
  EXPECT_EQ(texts.artist, "Abc");
  EXPECT_EQ(texts.album, "Padded   ");
  EXPECT_EQ(texts.year, "1999");
  EXPECT_EQ(texts.comment, "note");
  EXPECT_EQ(texts.genre, "Rock");
}

TEST(Id3v1Test, BytesAfterTheFirstZeroAreIgnored) {
  TempFolder folder;
  std::string title = "Hi";
  title += '\0';
  title += "hidden";
  // ID3v1.1: the comment's byte 28 is zero and byte 29 holds the track number.
  std::string comment(28, 'c');
  comment += '\0';
  comment += '\x07';
  const TagTexts texts = ReadFromFile(folder, Tag(title, "", "", "", comment));
  EXPECT_EQ(texts.title, "Hi");
  EXPECT_EQ(texts.comment, std::string(28, 'c'));
  EXPECT_EQ(texts.artist, "");
}

TEST(Id3v1Test, GenreNamesAndNumbers) {
  TempFolder folder;
  EXPECT_EQ(ReadFromFile(folder, Tag("t", "", "", "", "", 0)).genre, "Blues");
  EXPECT_EQ(ReadFromFile(folder, Tag("t", "", "", "", "", 67)).genre, "Psychadelic");
  EXPECT_EQ(ReadFromFile(folder, Tag("t", "", "", "", "", 93)).genre, "Psychedelic Rock");
  EXPECT_EQ(ReadFromFile(folder, Tag("t", "", "", "", "", 144)).genre, "Trash Metal");
  EXPECT_EQ(ReadFromFile(folder, Tag("t", "", "", "", "", 147)).genre, "Synthpop");
  EXPECT_EQ(ReadFromFile(folder, Tag("t", "", "", "", "", 148)).genre, "148");
  EXPECT_EQ(ReadFromFile(folder, Tag("t", "", "", "", "", 255)).genre, "255");
  // Spot checks across the table, which must hold 148 names in order.
  EXPECT_STREQ(kGenreNames[79], "Hard Rock");
  EXPECT_STREQ(kGenreNames[80], "Folk");
  EXPECT_STREQ(kGenreNames[127], "Drum & Bass");
  EXPECT_STREQ(kGenreNames[133], "Negerpunk");
  EXPECT_STREQ(kGenreNames[140], "Contemporary Christian");
}

TEST(Id3v1Test, MissingOrWrongMarkerMeansNoTag) {
  TempFolder folder;
  const TagTexts lower = ReadFromFile(folder, Tag("Title", "A", "B", "2000", "C", 1, "tag"));
  for (const std::string* text :
       {&lower.title, &lower.artist, &lower.album, &lower.year, &lower.comment, &lower.genre}) {
    EXPECT_EQ(*text, kNoTagText);
  }
  EXPECT_EQ(ReadFromFile(folder, std::string(200, 'x')).genre, kNoTagText);
  // Shorter than a tag: no tag, even when it starts with the marker.
  EXPECT_EQ(ReadFromFile(folder, "TAG short", "").title, kNoTagText);
  EXPECT_EQ(ReadFromFile(folder, "", "").year, kNoTagText);
  // Exactly one tag and nothing else.
  EXPECT_EQ(ReadFromFile(folder, Tag("Only"), "").title, "Only");
}

TEST(Id3v1Test, TextIsWindows1252) {
  TempFolder folder;
  const TagTexts texts = ReadFromFile(folder, Tag("Caf\xE9 \x80 5", "Bj\xF6rk", "", "", "\x93quoted\x94"));
  EXPECT_EQ(texts.title, "Caf\u00e9 \u20ac 5");
  EXPECT_EQ(texts.artist, "Bj\u00f6rk");
  EXPECT_EQ(texts.comment, "\u201cquoted\u201d");
}

TEST(Id3v1Test, AFileThatCannotBeOpenedRaises) {
  TempFolder folder;
  EXPECT_THROW(ReadTag(folder.Path() + "missing.mp3"), TagError);
  EXPECT_THROW(ReadTag(folder.Path()), TagError);  // a folder is not a track
  try {
    ReadTag(folder.Path() + "missing.mp3");
  } catch (const TagError& error) {
    EXPECT_NE(std::string(error.what()).find("missing.mp3"), std::string::npos);
  }
}

TEST(Id3v1Test, ReadsTheTagLameWroteIntoADemoTrack) {
  const TagTexts texts = ReadTag(std::string(SONVALE_DEMO_FOLDER) + "MarvoyMP3/Morning Bells.mp3");
  EXPECT_EQ(texts.title, "Morning Bells");
  EXPECT_EQ(texts.artist, "The Sonvale Band");
  EXPECT_EQ(texts.album, "Demo Tunes");
  EXPECT_EQ(texts.year, "2024");
  EXPECT_EQ(texts.comment, "made for the demo");  // the track number after the zero byte is not shown
  EXPECT_EQ(texts.genre, "Ambient");
}

}  // namespace
}  // namespace sonvale
