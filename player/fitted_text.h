// Texts that may be longer than the control showing them. The reader needs their start (a track
// name, a folder, a tag text), so a text that does not fit is cut at its end, never at its start,
// and the full text is the control's tool tip.
#pragma once

#include <QLabel>

class QLineEdit;

namespace sonvale {

//! A label that shows as much of the start of its text as fits, ending with "…" when cut. A text
//! that fits keeps the label's alignment; one that is cut starts at the label's left edge.
class FittedLabel : public QLabel {
 public:
  explicit FittedLabel(const QString& text = QString(), QWidget* parent = nullptr);
  //! Sets the text and, as the tool tip, the full text.
  void SetText(const QString& text);
  //! The text as the label shows it at its current width.
  QString ShownText() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

//! Puts `text` into a box that shows its start, with the full text as the tool tip.
void ShowFromStart(QLineEdit* box, const QString& text);

}  // namespace sonvale
