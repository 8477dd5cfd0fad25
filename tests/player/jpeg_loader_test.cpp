#include "player/jpeg_loader.h"

#include <gtest/gtest.h>

#include "player/picture_box.h"
#include "player/player_test_support.h"

namespace sonvale {
namespace {

using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;

const std::string kPictures = std::string(SONVALE_DEMO_FOLDER) + "MarvoyJPG/";

TEST(JpegLoaderTest, DecodesAtFullSizeOrReducedToWhatTheAreaNeeds) {
  const QImage full = LoadJpeg(kPictures + "sunrise.jpg");
  EXPECT_EQ(full.size(), QSize(800, 600));
  EXPECT_EQ(LoadJpeg(kPictures + "sunrise.jpg", QSize(100, 75)).size(), QSize(100, 75));
  EXPECT_EQ(LoadJpeg(kPictures + "sunrise.jpg", QSize(300, 200)).size(), QSize(400, 300));
  EXPECT_EQ(LoadJpeg(kPictures + "sunrise.jpg", QSize(590, 500)).size(), QSize(800, 600));
  // A 12-megapixel photo in the picture area of the window decodes at a quarter.
  EXPECT_EQ(ScaleDenominator(4000, 3000, QSize(555, 540)), 4);
  EXPECT_EQ(ScaleDenominator(4000, 3000, QSize()), 1);
  EXPECT_EQ(ScaleDenominator(4000, 3000, QSize(4001, 10)), 1);
}

TEST(JpegLoaderTest, ExifOrientationTurnsAPhonePhotoUpright) {
  // Stored 800 × 600 on its side with orientation 6; shown 600 × 800.
  const QImage upright = LoadJpeg(kPictures + "phone photo.jpg");
  EXPECT_EQ(upright.size(), QSize(600, 800));
  // The sky (dark) is at the top once upright, the hills (darker still) and caption at the bottom:
  // compare the top middle with the left middle, which on the stored image would be the sky.
  const QColor top = upright.pixelColor(300, 40);
  EXPECT_LT(top.blue(), 120);
  EXPECT_LT(top.red(), 80);
  // Choosing the decode scale looks at the upright size.
  EXPECT_EQ(LoadJpeg(kPictures + "phone photo.jpg", QSize(150, 200)).size(), QSize(150, 200));
}

TEST(JpegLoaderTest, ExifParsingAndOrientationTransforms) {
  const unsigned char bigEndian[] = {'E',  'x',  'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1,
                                     0x01, 0x12, 0,   3,   0, 0, 0,   1,   0, 8,  0, 0, 0, 0, 0, 0};
  EXPECT_EQ(ExifOrientation(bigEndian, sizeof bigEndian), 8);
  EXPECT_EQ(ExifOrientation(bigEndian, 20), 1);  // cut short: no orientation
  unsigned char wrongValue[sizeof bigEndian];
  std::copy(std::begin(bigEndian), std::end(bigEndian), wrongValue);
  wrongValue[25] = 9;
  EXPECT_EQ(ExifOrientation(wrongValue, sizeof wrongValue), 1);
  unsigned char manyEntries[sizeof bigEndian];
  std::copy(std::begin(bigEndian), std::end(bigEndian), manyEntries);
  manyEntries[14] = 0xFF;  // far more entries than the block holds, and the first is not the orientation
  manyEntries[17] = 0x13;
  EXPECT_EQ(ExifOrientation(manyEntries, sizeof manyEntries), 1);
  EXPECT_EQ(ExifOrientation(reinterpret_cast<const unsigned char*>("JFIF\0"), 5), 1);

  QImage image(2, 1, QImage::Format_RGB32);
  image.setPixel(0, 0, qRgb(255, 0, 0));
  image.setPixel(1, 0, qRgb(0, 0, 255));
  const QImage right = ApplyOrientation(image, 6);  // turn a quarter clockwise: red on top
  ASSERT_EQ(right.size(), QSize(1, 2));
  EXPECT_EQ(right.pixel(0, 0), qRgb(255, 0, 0));
  const QImage left = ApplyOrientation(image, 8);
  EXPECT_EQ(left.pixel(0, 0), qRgb(0, 0, 255));
  EXPECT_EQ(ApplyOrientation(image, 2).pixel(0, 0), qRgb(0, 0, 255));
  EXPECT_EQ(ApplyOrientation(image, 3).pixel(0, 0), qRgb(0, 0, 255));
  EXPECT_EQ(ApplyOrientation(image, 5).pixel(0, 0), qRgb(255, 0, 0));
  EXPECT_EQ(ApplyOrientation(image, 1), image);
}

TEST(JpegLoaderTest, BadFilesGiveErrorsAndNeverEndTheProgram) {
  TempFolder folder;
  EXPECT_THROW(LoadJpeg(folder.Path() + "missing.jpg"), PictureError);
  WriteFile(folder.Path() + "text.jpg", "this is not a picture");
  EXPECT_THROW(LoadJpeg(folder.Path() + "text.jpg"), PictureError);
  std::string broken = ReadFile(kPictures + "sunrise.jpg").substr(0, 2) + std::string(3000, '\x55');
  WriteFile(folder.Path() + "broken.jpg", broken);
  try {
    LoadJpeg(folder.Path() + "broken.jpg");
    FAIL() << "no error for a broken picture";
  } catch (const PictureError& error) {
    EXPECT_NE(std::string(error.what()).find("broken.jpg"), std::string::npos);
  }
  // A truncated picture is shown as far as it goes, as picture viewers do.
  const std::string whole = ReadFile(kPictures + "sunrise.jpg");
  WriteFile(folder.Path() + "half.jpg", whole.substr(0, whole.size() / 2));
  EXPECT_EQ(LoadJpeg(folder.Path() + "half.jpg").size(), QSize(800, 600));
}

TEST(PictureBoxTest, FitsWithProportionsKeptAndCentred) {
  EXPECT_EQ(PictureBox::FittedRect(QSize(800, 600), QSize(400, 400)), QRect(0, 50, 400, 300));
  EXPECT_EQ(PictureBox::FittedRect(QSize(600, 800), QSize(400, 400)), QRect(50, 0, 300, 400));
  EXPECT_EQ(PictureBox::FittedRect(QSize(100, 50), QSize(400, 400)), QRect(0, 100, 400, 200));  // enlarged
  EXPECT_TRUE(PictureBox::FittedRect(QSize(), QSize(400, 400)).isEmpty());
}

}  // namespace
}  // namespace sonvale
