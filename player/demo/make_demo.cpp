// Makes the demo folders: a few short MP3 files with ID3v1 tags (synthesised tunes encoded with
// lame) and a few JPEG pictures drawn here, one of them stored on its side with an EXIF
// orientation. Usage: sonvale_make_demo <output folder> <lame program>
// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QProcess>
#include <QRadialGradient>
#include <QTransform>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

struct Tune {
  const char* file;
  const char* title;
  const char* artist;
  const char* album;
  const char* year;
  const char* comment;
  const char* genre;
  const char* track;  // ID3v1.1 track number, or nullptr
  int rate;
  bool vbr;
  std::vector<int> notes;  // semitones above A3; -100 is a rest
  double beat;             // seconds per note
};

std::vector<int16_t> Synthesise(const Tune& tune) {
  std::vector<int16_t> samples;
  const double pi = std::acos(-1.0);
  for (int note : tune.notes) {
    const int count = static_cast<int>(tune.beat * tune.rate);
    const double frequency = 220.0 * std::pow(2.0, note / 12.0);
    for (int i = 0; i < count; ++i) {
      const double t = static_cast<double>(i) / tune.rate;
      const double envelope = std::min(1.0, t * 40.0) * std::exp(-3.0 * t);
      double value = 0;
      if (note > -100) {
        value = 0.5 * std::sin(2 * pi * frequency * t) + 0.2 * std::sin(4 * pi * frequency * t) +
                0.1 * std::sin(6 * pi * frequency * t);
      }
      samples.push_back(static_cast<int16_t>(value * envelope * 14000));
    }
  }
  return samples;
}

bool Encode(const Tune& tune, const QString& lame, const QDir& folder) {
  const std::vector<int16_t> samples = Synthesise(tune);
  const QString raw = folder.filePath(QString(tune.file) + ".raw");
  QFile rawFile(raw);
  if (!rawFile.open(QIODevice::WriteOnly)) return false;
  rawFile.write(reinterpret_cast<const char*>(samples.data()), static_cast<qint64>(samples.size() * 2));
  rawFile.close();
  QStringList arguments{"--quiet",    "-r", "-s",       QString::number(tune.rate / 1000.0),
                        "--bitwidth", "16", "--signed", "--little-endian",
                        "-m",         "m"};
  if (tune.vbr) {
    arguments << "-V"
              << "6";
  } else {
    arguments << "-b"
              << "64";
  }
  arguments << "--id3v1-only"
            << "--tt" << tune.title << "--ta" << tune.artist << "--tl" << tune.album << "--ty" << tune.year
            << "--tc" << tune.comment << "--tg" << tune.genre;
  if (tune.track != nullptr) arguments << "--tn" << tune.track;
  arguments << raw << folder.filePath(tune.file);
  const int result = QProcess::execute(lame, arguments);
  QFile::remove(raw);
  if (result != 0) std::fprintf(stderr, "sonvale_make_demo: lame failed for %s\n", tune.file);
  return result == 0;
}

// Writes `image` as a JPEG, with an EXIF block carrying `orientation` when it is not 1.
bool WriteJpeg(const QImage& source, const QString& path, int orientation) {
  const QImage image = source.convertToFormat(QImage::Format_RGB888);
  std::FILE* file = std::fopen(QFile::encodeName(path).constData(), "wb");
  if (file == nullptr) return false;
  jpeg_compress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  jpeg_stdio_dest(&info, file);
  info.image_width = static_cast<JDIMENSION>(image.width());
  info.image_height = static_cast<JDIMENSION>(image.height());
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 80, TRUE);
  jpeg_start_compress(&info, TRUE);
  if (orientation != 1) {
    // "Exif\0\0", little-endian TIFF header, one directory with one entry: Orientation (SHORT).
    const unsigned char exif[] = {'E', 'x',  'i',  'f', 0,
                                  0,   'I',  'I',  42,  0,
                                  8,   0,    0,    0,   1,
                                  0,   0x12, 0x01, 3,   0,
                                  1,   0,    0,    0,   static_cast<unsigned char>(orientation),
                                  0,   0,    0,    0,   0,
                                  0,   0};
    jpeg_write_marker(&info, JPEG_APP0 + 1, exif, sizeof exif);
  }
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(image.constScanLine(static_cast<int>(info.next_scanline)));
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::fclose(file);
  return true;
}

QImage Scene(QSize size, QColor top, QColor bottom, QColor sun, const QString& caption) {
  QImage image(size, QImage::Format_RGB32);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, 0, size.height());
  sky.setColorAt(0, top);
  sky.setColorAt(1, bottom);
  painter.fillRect(image.rect(), sky);
  const QPointF centre(size.width() * 0.7, size.height() * 0.35);
  const double radius = std::min(size.width(), size.height()) * 0.14;
  QRadialGradient glow(centre, radius * 2.5);
  glow.setColorAt(0, sun);
  glow.setColorAt(0.4, sun);
  glow.setColorAt(1, Qt::transparent);
  painter.setPen(Qt::NoPen);
  painter.setBrush(glow);
  painter.drawEllipse(centre, radius * 2.5, radius * 2.5);
  // Hills in front.
  painter.setBrush(bottom.darker(220));
  QPolygonF hills;
  hills << QPointF(0, size.height());
  for (int x = 0; x <= size.width(); x += 8) {
    hills << QPointF(x, size.height() * (0.75 + 0.08 * std::sin(x * 0.013) + 0.04 * std::sin(x * 0.041)));
  }
  hills << QPointF(size.width(), size.height());
  painter.drawPolygon(hills);
  QFont font = painter.font();
  font.setPixelSize(size.height() / 12);
  font.setBold(true);
  painter.setFont(font);
  painter.setPen(Qt::white);
  painter.drawText(QRectF(0, size.height() * 0.82, size.width(), size.height() * 0.15), Qt::AlignCenter,
                   caption);
  // An arrow in the top left corner pointing up, so that a picture on its side is easy to spot.
  painter.setBrush(Qt::white);
  const double s = size.height() / 20.0;
  painter.drawPolygon(QPolygonF{QPointF(2 * s, s), QPointF(3 * s, 2.5 * s), QPointF(s, 2.5 * s)});
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: sonvale_make_demo <output folder> <lame program>\n");
    return 2;
  }
  const QDir output(QString::fromLocal8Bit(argv[1]));
  const QString lame = QString::fromLocal8Bit(argv[2]);
  QDir().mkpath(output.filePath("MarvoyMP3"));
  QDir().mkpath(output.filePath("MarvoyJPG"));
  const QDir tracks(output.filePath("MarvoyMP3"));
  const QDir pictures(output.filePath("MarvoyJPG"));

  const std::vector<Tune> tunes = {
      {"Morning Bells.mp3",
       "Morning Bells",
       "The Sonvale Band",
       "Demo Tunes",
       "2024",
       "made for the demo",
       "Ambient",
       "1",
       44100,
       false,
       {3, 7, 10, 15, 10, 7, 3, -100, 5, 8, 12, 17},
       0.4},
      {"Evening Waltz.mp3",
       "Evening Waltz",
       "The Sonvale Band",
       "Demo Tunes",
       "2024",
       "three quarter time",
       "Classical",
       nullptr,
       22050,
       true,
       {0, 4, 7, 4, 7, 12, 11, 7, 2, 5, 9, 5},
       0.33},
      {"harbour song.MP3",
       "Harbour Song",
       "Marvoy Quartet",
       "Demo Tunes",
       "2025",
       "a short one",
       "Folk",
       "3",
       32000,
       false,
       {7, 5, 3, 2, 0, -100, 0, 3},
       0.45},
      {"Night Chimes.mp3",
       "Night Chimes",
       "Marvoy Quartet",
       "Demo Tunes",
       "2025",
       "slow and quiet",
       "New Age",
       "4",
       48000,
       true,
       {12, 7, 3, 0, 3, 7, 12, 15, 12, 10},
       0.55},
  };
  bool ok = true;
  for (const Tune& tune : tunes) ok = Encode(tune, lame, tracks) && ok;

  ok = WriteJpeg(Scene(QSize(800, 600), QColor(20, 40, 110), QColor(250, 150, 80), QColor(255, 240, 180),
                       "Sunrise"),
                 pictures.filePath("sunrise.jpg"), 1) &&
       ok;
  ok = WriteJpeg(
           Scene(QSize(480, 640), QColor(10, 60, 90), QColor(60, 160, 170), QColor(230, 255, 250), "Lagoon"),
           pictures.filePath("Lagoon.JPG"), 1) &&
       ok;
  ok = WriteJpeg(Scene(QSize(1024, 420), QColor(70, 20, 80), QColor(230, 90, 90), QColor(255, 210, 120),
                       "Dusk Panorama"),
                 pictures.filePath("dusk panorama.jpg"), 1) &&
       ok;
  // Stored turned a quarter to the left, as a phone held upright writes it; EXIF orientation 6 says
  // "turn a quarter to the right to show".
  const QImage upright =
      Scene(QSize(600, 800), QColor(30, 30, 60), QColor(110, 140, 200), QColor(250, 250, 255), "Phone Photo");
  ok =
      WriteJpeg(upright.transformed(QTransform().rotate(270)), pictures.filePath("phone photo.jpg"), 6) && ok;
  return ok ? 0 : 1;
}
