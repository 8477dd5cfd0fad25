#include "player/picture_box.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QResizeEvent>

namespace sonvale {

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {
  setAutoFillBackground(true);
  QPalette colours = palette();
  colours.setColor(QPalette::Window, Qt::black);
  setPalette(colours);
  setMinimumSize(64, 64);
}

void PictureBox::SetImage(const QImage& image) {
  image_ = image;
  scaled_ = QPixmap();
  update();
}

QRect PictureBox::FittedRect(QSize image, QSize area) {
  if (image.isEmpty() || area.isEmpty()) return QRect();
  const QSize fitted = image.scaled(area, Qt::KeepAspectRatio);
  return QRect(QPoint((area.width() - fitted.width()) / 2, (area.height() - fitted.height()) / 2), fitted);
}

void PictureBox::resizeEvent(QResizeEvent* event) {
  scaled_ = QPixmap();
  QWidget::resizeEvent(event);
}

void PictureBox::paintEvent(QPaintEvent*) {
  if (image_.isNull()) return;
  const QRect target = FittedRect(image_.size(), size());
  if (target.isEmpty()) return;
  if (scaled_.size() != target.size()) {
    scaled_ =
        QPixmap::fromImage(image_.scaled(target.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
  }
  QPainter painter(this);
  painter.drawPixmap(target.topLeft(), scaled_);
}

QImage BuiltInPicture(QSize size) {
  QImage picture(size, QImage::Format_RGB32);
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, 0, size.height());
  sky.setColorAt(0, QColor(18, 32, 84));
  sky.setColorAt(1, QColor(116, 64, 150));
  painter.fillRect(picture.rect(), sky);
  // A pair of beamed notes in the middle.
  const double unit = size.height() / 12.0;
  const QPointF centre(size.width() / 2.0, size.height() / 2.0);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(255, 255, 255, 220));
  painter.drawEllipse(QPointF(centre.x() - 2 * unit, centre.y() + 2 * unit), 1.1 * unit, 0.8 * unit);
  painter.drawEllipse(QPointF(centre.x() + 2 * unit, centre.y() + 1.4 * unit), 1.1 * unit, 0.8 * unit);
  painter.drawRect(QRectF(centre.x() - 1.1 * unit, centre.y() - 3.5 * unit, 0.35 * unit, 5.5 * unit));
  painter.drawRect(QRectF(centre.x() + 2.9 * unit, centre.y() - 4.1 * unit, 0.35 * unit, 5.5 * unit));
  QPainterPath beam;
  beam.moveTo(centre.x() - 1.1 * unit, centre.y() - 3.5 * unit);
  beam.lineTo(centre.x() + 3.25 * unit, centre.y() - 4.1 * unit);
  beam.lineTo(centre.x() + 3.25 * unit, centre.y() - 3.1 * unit);
  beam.lineTo(centre.x() - 1.1 * unit, centre.y() - 2.5 * unit);
  beam.closeSubpath();
  painter.drawPath(beam);
  QFont font = painter.font();
  font.setPixelSize(static_cast<int>(unit * 0.9));
  font.setBold(true);
  painter.setFont(font);
  painter.setPen(Qt::white);
  painter.drawText(QRectF(0, centre.y() + 3.5 * unit, size.width(), 1.5 * unit), Qt::AlignCenter,
                   "Marvoy Player");
  return picture;
}

}  // namespace sonvale
