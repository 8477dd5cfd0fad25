// The one message box of the window. An unattended screen must not fill up with boxes that wait
// for OK: a message that comes while the box is open is added to it, the box never blocks the
// window, and it closes by itself a while after its last message.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

class QMessageBox;
class QWidget;

namespace sonvale {

class MessageBoard : public QObject {
 public:
  //! At most this many messages are listed in the box; later ones are counted under them.
  static constexpr int kMaxListed = 10;

  //! The box opens over `window` and closes `closeAfterMs` after its last message.
  MessageBoard(QWidget* window, int closeAfterMs);
  ~MessageBoard() override;

  //! Shows `message` (an error when `isError`): in a new box, or added to the open one.
  void Add(const QString& message, bool isError);
  //! The open box, or nullptr when none is open. A box is open from its first message until it
  //! closes, also while it waits for the window to be on the screen.
  QMessageBox* Box() const;
  //! The text the box shows for the messages so far.
  QString Text() const;

 private:
  void ShowWhenTheWindowIsUp();
  void Closed();

  QWidget* window_;
  QPointer<QMessageBox> box_;
  QTimer closeTimer_;
  QTimer showTimer_;
  QStringList messages_;
  int notListed_ = 0;
  bool anyError_ = false;
};

}  // namespace sonvale
