#include "player/id3v1.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "engine/platform/text.h"

namespace sonvale {

const std::array<const char*, kGenreCount> kGenreNames = {
    // 0-19
    "Blues", "Classic Rock", "Country", "Dance", "Disco", "Funk", "Grunge", "Hip-Hop", "Jazz", "Metal",
    "New Age", "Oldies", "Other", "Pop", "R&B", "Rap", "Reggae", "Rock", "Techno", "Industrial",
    // 20-39
    "Alternative", "Ska", "Death Metal", "Pranks", "Soundtrack", "Euro-Techno", "Ambient", "Trip-Hop",
    "Vocal", "Jazz+Funk", "Fusion", "Trance", "Classical", "Instrumental", "Acid", "House", "Game",
    "Sound Clip", "Gospel", "Noise",
    // 40-59
    "AlternRock", "Bass", "Soul", "Punk", "Space", "Meditative", "Instrumental Pop", "Instrumental Rock",
    "Ethnic", "Gothic", "Darkwave", "Techno-Industrial", "Electronic", "Pop-Folk", "Eurodance", "Dream",
    "Southern Rock", "Comedy", "Cult", "Gangsta",
    // 60-79
    "Top 40", "Christian Rap", "Pop/Funk", "Jungle", "Native American", "Cabaret", "New Wave", "Psychadelic",
    "Rave", "Showtunes", "Trailer", "Lo-Fi", "Tribal", "Acid Punk", "Acid Jazz", "Polka", "Retro", "Musical",
    "Rock & Roll", "Hard Rock",
    // 80-99
    "Folk", "Folk-Rock", "National Folk", "Swing", "Fast Fusion", "Bebob", "Latin", "Revival", "Celtic",
    "Bluegrass", "Avantgarde", "Gothic Rock", "Progressive Rock", "Psychedelic Rock", "Symphonic Rock",
    "Slow Rock", "Big Band", "Chorus", "Easy Listening", "Acoustic",
    // 100-119
    "Humour", "Speech", "Chanson", "Opera", "Chamber Music", "Sonata", "Symphony", "Booty Bass", "Primus",
    "Porn Groove", "Satire", "Slow Jam", "Club", "Tango", "Samba", "Folklore", "Ballad", "Power Ballad",
    "Rhythmic Soul", "Freestyle",
    // 120-139
    "Duet", "Punk Rock", "Drum Solo", "Acapella", "Euro-House", "Dance Hall", "Goa", "Drum & Bass",
    "Club-House", "Hardcore", "Terror", "Indie", "BritPop", "Negerpunk", "Polsk Punk", "Beat",
    "Christian Gangsta Rap", "Heavy Metal", "Black Metal", "Crossover",
    // 140-147
    "Contemporary Christian", "Christian Rock", "Merengue", "Salsa", "Trash Metal", "Anime", "Jpop",
    "Synthpop"};

namespace {

constexpr size_t kTagSize = 128;

// One text field: the bytes up to the first zero byte, or the whole width.
std::string Field(const std::array<unsigned char, 128>& block, size_t offset, size_t width) {
  const char* start = reinterpret_cast<const char*>(block.data()) + offset;
  const void* zero = std::memchr(start, 0, width);
  const size_t length = zero ? static_cast<size_t>(static_cast<const char*>(zero) - start) : width;
  return viz::platform::Win1252ToUtf8(std::string_view(start, length));
}

// Closes a descriptor on every path out of ReadTag.
struct Descriptor {
  int fd;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

TagTexts NoTag() {
  return {kNoTagText, kNoTagText, kNoTagText, kNoTagText, kNoTagText, kNoTagText};
}

}  // namespace

std::string GenreText(unsigned char genre) {
  return genre < kGenreCount ? std::string(kGenreNames[genre]) : std::to_string(genre);
}

TagTexts DecodeTag(const std::array<unsigned char, 128>& block) {
  if (block[0] != 'T' || block[1] != 'A' || block[2] != 'G') return NoTag();
  TagTexts texts;
  texts.title = Field(block, 3, 30);
  texts.artist = Field(block, 33, 30);
  texts.album = Field(block, 63, 30);
  texts.year = Field(block, 93, 4);
  texts.comment = Field(block, 97, 30);
  texts.genre = GenreText(block[127]);
  return texts;
}

TagTexts ReadTag(const std::string& path) {
  Descriptor file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
  if (file.fd < 0) throw TagError("Cannot open file \"" + path + "\". " + std::strerror(errno));
  struct stat info {};
  if (::fstat(file.fd, &info) != 0)
    throw TagError("Cannot read file \"" + path + "\". " + std::strerror(errno));
  if (!S_ISREG(info.st_mode)) throw TagError("Cannot open file \"" + path + "\". Not a regular file");
  if (info.st_size < static_cast<off_t>(kTagSize)) return NoTag();
  std::array<unsigned char, 128> block{};
  size_t done = 0;
  while (done < kTagSize) {
    const ssize_t got =
        ::pread(file.fd, block.data() + done, kTagSize - done, info.st_size - kTagSize + done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throw TagError("Cannot read file \"" + path + "\". " + std::strerror(errno));
    if (got == 0) return NoTag();  // the file shrank under us: no complete tag
    done += static_cast<size_t>(got);
  }
  return DecodeTag(block);
}

}  // namespace sonvale
