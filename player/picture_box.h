// A picture area that shows its image scaled to fit with its proportions kept, centred.
#pragma once

#include <QImage>
#include <QPixmap>
#include <QWidget>

namespace sonvale {

class PictureBox : public QWidget {
 public:
  explicit PictureBox(QWidget* parent = nullptr);
  //! Shows `image` (a null image leaves the area empty).
  void SetImage(const QImage& image);
  const QImage& Image() const { return image_; }
  //! Returns the rectangle the image occupies inside the area: fitted, proportions kept, centred.
  static QRect FittedRect(QSize image, QSize area);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QImage image_;
  QPixmap scaled_;  // image_ at the current fitted size; rebuilt when either changes
};

//! The picture shown before the first slideshow change.
QImage BuiltInPicture(QSize size);

}  // namespace sonvale
