#include "player/message_board.h"

#include <QMessageBox>
#include <QWidget>
#include <QWindow>

namespace sonvale {

MessageBoard::MessageBoard(QWidget* window, int closeAfterMs) : QObject(window), window_(window) {
  closeTimer_.setSingleShot(true);
  closeTimer_.setInterval(closeAfterMs);
  connect(&closeTimer_, &QTimer::timeout, this, [this] {
    if (box_ && box_->isVisible()) {
      box_->close();
    } else {
      Closed();  // never shown: the window was not on the screen all that time
    }
  });
  showTimer_.setInterval(100);
  connect(&showTimer_, &QTimer::timeout, this, [this] { ShowWhenTheWindowIsUp(); });
}

void MessageBoard::ShowWhenTheWindowIsUp() {
  // A box shown before its window is on the screen (the messages of the first show come then) is
  // not kept in front of the window by the window manager, so it waits for the window.
  const QWindow* handle = window_->windowHandle();
  if (!box_ || box_->isVisible()) {
    showTimer_.stop();
  } else if (handle != nullptr && handle->isExposed()) {
    showTimer_.stop();
    box_->show();
  } else if (!showTimer_.isActive()) {
    showTimer_.start();
  }
}

MessageBoard::~MessageBoard() {
  if (box_) delete box_.data();
}

QMessageBox* MessageBoard::Box() const {
  return box_ && (box_->isVisible() || showTimer_.isActive()) ? box_.data() : nullptr;
}

QString MessageBoard::Text() const {
  QString text = messages_.join("\n\n");
  if (notListed_ > 0) text += QString("\n\n(%1 more)").arg(notListed_);
  return text;
}

void MessageBoard::Add(const QString& message, bool isError) {
  if (!Box()) {
    Closed();
    box_ = new QMessageBox(window_);
    box_->setWindowTitle(window_->windowTitle());
    box_->setStandardButtons(QMessageBox::Ok);
    // Not modal: the window, the music and the pictures go on while it is open.
    box_->setWindowModality(Qt::NonModal);
    box_->setAttribute(Qt::WA_DeleteOnClose);
    connect(box_, &QMessageBox::finished, this, [this] { Closed(); });
  }
  if (messages_.size() < kMaxListed) {
    messages_.push_back(message);
  } else {
    ++notListed_;
  }
  anyError_ = anyError_ || isError;
  box_->setIcon(anyError_ ? QMessageBox::Critical : QMessageBox::Information);
  box_->setText(Text());
  ShowWhenTheWindowIsUp();
  closeTimer_.start();
}

void MessageBoard::Closed() {
  closeTimer_.stop();
  showTimer_.stop();
  messages_.clear();
  notListed_ = 0;
  anyError_ = false;
  if (box_ && !box_->isVisible()) box_->deleteLater();
  box_ = nullptr;
}

}  // namespace sonvale
