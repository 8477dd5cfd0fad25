// Reads the ID3v1 tag: the last 128 bytes of an MP3 file.
//
//   offset  width  field
//        0      3  "TAG"
//        3     30  title
//       33     30  artist
//       63     30  album
//       93      4  year
//       97     30  comment (an ID3v1.1 track number hides behind a zero byte at 125)
//      127      1  genre number
#pragma once

#include <array>
#include <stdexcept>
#include <string>

namespace sonvale {

//! Raised when the file cannot be opened or read.
class TagError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr const char* kNoTagText = "Wrong or no ID3 tag information";
inline constexpr int kGenreCount = 148;

//! The genre name of numbers 0 .. 147.
extern const std::array<const char*, kGenreCount> kGenreNames;

//! The six texts of a tag as shown to the user, in UTF-8.
struct TagTexts {
  std::string title;
  std::string artist;
  std::string album;
  std::string year;
  std::string comment;
  std::string genre;
};

//! Returns the tag texts of the file at `path`. Each text field runs up to its first zero byte
//! (trailing blanks are kept) and is converted from Windows-1252. The genre is its name for 0 .. 147
//! and the decimal number otherwise. A file without the case-sensitive marker "TAG", or shorter
//! than 128 bytes, gives kNoTagText in all six texts.
//! Throws TagError when the file cannot be opened or read.
TagTexts ReadTag(const std::string& path);

//! Returns the texts of a 128-byte tag block (the part of ReadTag after the file is read).
TagTexts DecodeTag(const std::array<unsigned char, 128>& block);

//! Returns the text shown for a genre number.
std::string GenreText(unsigned char genre);

}  // namespace sonvale
