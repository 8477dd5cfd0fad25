#include "player/fitted_text.h"

#include <QLineEdit>
#include <QPainter>
#include <QStyle>

namespace sonvale {

FittedLabel::FittedLabel(const QString& text, QWidget* parent) : QLabel(parent) {
  SetText(text);
}

void FittedLabel::SetText(const QString& text) {
  setText(text);
  setToolTip(text);
}

QString FittedLabel::ShownText() const {
  const int room = contentsRect().width() - 2 * margin();
  return fontMetrics().elidedText(text(), Qt::ElideRight, std::max(0, room));
}

void FittedLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  drawFrame(&painter);
  const QRect room = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
  const QString shown = ShownText();
  Qt::Alignment align = alignment();
  if (shown != text()) align = (align & Qt::AlignVertical_Mask) | Qt::AlignLeft;
  style()->drawItemText(&painter, room, static_cast<int>(align), palette(), isEnabled(), shown,
                        foregroundRole());
}

void ShowFromStart(QLineEdit* box, const QString& text) {
  box->setText(text);
  box->setCursorPosition(0);
  box->setToolTip(text);
}

}  // namespace sonvale
