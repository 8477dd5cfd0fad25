// The player runs unattended for days: memory must stay flat over many track and picture changes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "player/audio_device.h"
#include "player/jpeg_loader.h"
#include "player/picture_box.h"

namespace sonvale {
namespace {

// Resident set size in KiB.
long ResidentKb() {
  std::ifstream statm("/proc/self/statm");
  long size = 0;
  long resident = 0;
  statm >> size >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

const std::string kDemo = SONVALE_DEMO_FOLDER;
const std::vector<std::string> kTracks = {"Morning Bells.mp3", "Evening Waltz.mp3", "harbour song.MP3",
                                          "Night Chimes.mp3"};
const std::vector<std::string> kPictures = {"sunrise.jpg", "Lagoon.JPG", "dusk panorama.jpg",
                                            "phone photo.jpg"};

// One round of what the loop does at a track change and a picture change.
void ChangeTrackAndPicture(AudioMediaDevice& device, PictureBox& box, int round) {
  device.Stop();
  device.Close();
  device.Open(kDemo + "MarvoyMP3/" + kTracks[round % kTracks.size()]);
  device.Play();
  device.Position();  // feeds the output
  box.SetImage(LoadJpeg(kDemo + "MarvoyJPG/" + kPictures[round % kPictures.size()], box.size()));
  box.grab();  // paints, which builds the scaled copy
}

void ExpectFlat(int rounds) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer holds freed memory back, so resident memory says nothing here";
#endif
  SystemClock clock;
  AudioMediaDevice device(clock);
  PictureBox box;
  box.resize(555, 540);
  for (int round = 0; round < 100; ++round) ChangeTrackAndPicture(device, box, round);
  const long before = ResidentKb();
  for (int round = 0; round < rounds; ++round) ChangeTrackAndPicture(device, box, round);
  const long grown = ResidentKb() - before;
  EXPECT_LT(grown, 3 * 1024) << "resident memory grew by " << grown << " KiB over " << rounds << " changes";
}

TEST(LongRunTest, MemoryStaysFlatOverManyTrackAndPictureChanges) {
  ExpectFlat(1000);
}

TEST(LongRunTest, SlowMemoryStaysFlatOverTenThousandChanges) {
  ExpectFlat(10000);
}

}  // namespace
}  // namespace sonvale
