// Loads JPEG pictures for the slideshow with libjpeg-turbo.
#pragma once

#include <QImage>
#include <QSize>
#include <cstddef>
#include <stdexcept>
#include <string>

namespace sonvale {

//! Raised when a picture cannot be read or decoded; the text is meant for the user.
class PictureError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

//! Decodes the JPEG file at `path` and turns it upright by its EXIF orientation. When `area` is not
//! empty, the picture is decoded at the smallest scale libjpeg offers (1/8, 1/4, 1/2 or 1) that still
//! covers `area` once upright, so that large photos decode quickly; it is not scaled further here.
//! Throws PictureError for a file that cannot be read or is not a JPEG picture.
QImage LoadJpeg(const std::string& path, QSize area = QSize());

//! Returns the orientation (1 … 8) of an EXIF block ("Exif\0\0" followed by a TIFF header), or 1
//! when the block carries none or is malformed.
int ExifOrientation(const unsigned char* data, size_t size);

//! Returns `image` turned upright for an EXIF orientation.
QImage ApplyOrientation(const QImage& image, int orientation);

//! Returns the scale denominator (8, 4, 2 or 1) for a picture of `width` × `height` pixels shown
//! in `area`: the largest one whose result is still at least as large as the area in both directions.
int ScaleDenominator(int width, int height, QSize area);

}  // namespace sonvale
