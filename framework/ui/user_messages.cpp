#include "framework/ui/user_messages.h"

#include <QApplication>
#include <QMessageBox>
#include <exception>

#include "engine/platform/text.h"
#include "framework/data/exceptions.h"

namespace viz::ui {

namespace {

TErrorReporter& Reporter() {
  static TErrorReporter reporter;
  return reporter;
}

// Engine and framework messages are single-byte text.
QString ExceptionText(const std::exception& error) {
  return QString::fromStdString(platform::Win1252ToUtf8(error.what()));
}

void Report(QWidget* source, const QString& message) {
  if (Reporter()) {
    Reporter()(source, message);
    return;
  }
  QMessageBox::critical(source ? source->window() : nullptr, QApplication::applicationName(), message);
}

}  // namespace

TErrorReporter SetErrorReporter(TErrorReporter reporter) {
  TErrorReporter previous = std::move(Reporter());
  Reporter() = std::move(reporter);
  return previous;
}

void ReportCurrentException(QWidget* source) {
  try {
    throw;
  } catch (const EAbort&) {
    // The silent exception: the operation was given up on purpose.
  } catch (const std::exception& error) {
    Report(source, ExceptionText(error));
  } catch (...) {
    Report(source, QStringLiteral("Unknown error"));
  }
}

bool RunReported(QWidget* source, const std::function<void()>& operation) {
  try {
    operation();
    return true;
  } catch (...) {
    ReportCurrentException(source);
    return false;
  }
}

void InstallApplicationErrorHandler() {
  SetApplicationErrorHandler([](const std::exception& error) {
    if (dynamic_cast<const EAbort*>(&error)) return;
    Report(QApplication::activeWindow(), ExceptionText(error));
  });
}

bool ConfirmDeleteRecord(QWidget* parent) {
  QMessageBox box(QMessageBox::Question, QApplication::applicationName(),
                  QString::fromLatin1(kDeleteRecordQuestion), QMessageBox::Ok | QMessageBox::Cancel,
                  parent ? parent->window() : nullptr);
  box.setObjectName(QStringLiteral("DeleteConfirmation"));
  box.setDefaultButton(QMessageBox::Ok);
  return box.exec() == QMessageBox::Ok;
}

}  // namespace viz::ui
