// The player's lyrics file: its fixed settings, the layout of table "LYRIC", and the preparation of
// a file before it is shipped (create it, load lyrics from a folder of text files).
//
// Table "LYRIC":
//   FileName   wide string of 255 characters: the MP3 file name without its folder ("Song.mp3")
//   TheLyric   wide memo, zlib-compressed: the lyric text
//   byFileName index on FileName, case-sensitive (two names that differ only in case are two
//              tracks), not unique (a key search takes the first record of a name)
// One record has FileName "BlankMemo" and TheLyric "No Lyric": it is shown for every track without
// a record of its own.
//
// Texts cross this interface as UTF-8; the table keeps them as UTF-16.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace viz {
class TABSDatabase;
class TDataSet;
class TField;
}  // namespace viz

namespace sonvale {

namespace lyric_file {
//! Where the player opens the lyrics file: relative to the current folder.
inline constexpr const char* kPlayerPath = "./Lyrics/LYRIC.SVL";
inline constexpr const char* kAlias = "MyMarvoy";
inline constexpr const char* kPassword = "wimbl47";
//! The cipher of a file the tool makes (AES with a 256-bit key).
inline constexpr uint8_t kCipherType = 1;
inline constexpr const char* kTable = "LYRIC";
inline constexpr const char* kFileNameField = "FileName";
inline constexpr const char* kLyricField = "TheLyric";
inline constexpr const char* kIndex = "byFileName";
inline constexpr int kFileNameSize = 255;
inline constexpr const char* kBlankName = "BlankMemo";
inline constexpr const char* kBlankLyric = "No Lyric";
}  // namespace lyric_file

//! The text of a `FileName` field, as UTF-8.
std::string FileNameText(const viz::TField& field);
//! Sets a `FileName` field from UTF-8 text. REQUIRES: edit or insert state.
void SetFileNameText(viz::TField& field, const std::string& text);
//! The text of a `TheLyric` field (a wide memo), as UTF-8.
std::string LyricText(const viz::TField& field);
//! Sets a `TheLyric` field from UTF-8 text. REQUIRES: edit or insert state.
void SetLyricText(viz::TField& field, const std::string& text);

//! Inserts the "BlankMemo" record with "No Lyric" into `table` (open on table "LYRIC") and posts
//! it; it becomes the current record.
void InsertBlankRecord(viz::TDataSet& table);

//! What LoadLyricTexts did.
struct LyricLoadReport {
  int added = 0;
  int replaced = 0;
  //! One line per file that was not loaded, saying why.
  std::vector<std::string> skipped;
};

//! The track name a text file of a lyric folder stands for: its name without a final ".txt" (in
//! any case), or empty when it stands for none.
std::string TrackNameOfTextFile(const std::string& fileName);
//! Decodes a lyric text file: UTF-8 (a leading byte-order mark is dropped), UTF-16 with its
//! byte-order mark, and anything else as Windows-1252. Line ends become "\n".
std::string DecodeLyricText(const std::string& bytes);

//! Makes the lyrics file `path` (and its folder) when it does not exist: table "LYRIC" with its
//! index, and the "BlankMemo" record. An existing file is opened and must hold table "LYRIC"; its
//! "BlankMemo" record is added when missing. Then every text file of `textFolder` (when not empty)
//! is stored as the lyric of the track it is named after, replacing that track's earlier lyric.
//! Raises the engine's exception on failure, and std::runtime_error for a file that opens read-only
//! (it cannot be written, or a player has it open).
LyricLoadReport PrepareLyricFile(const std::string& path, const std::string& textFolder);

}  // namespace sonvale
