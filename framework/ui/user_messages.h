// What the controls say to the user: the errors of the dataset operations the user started (a post
// that fails, a locked record), and the confirmation before a record is deleted.
//
// Errors: Qt's event loop must not see a C++ exception, so every control catches
// what its operation raises and hands the message to the reporter: by default a critical message
// box, or what the program installs instead.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace viz::ui {

using TErrorReporter = std::function<void(QWidget* source, const QString& message)>;

//! Installs the reporter for the whole program; returns the previous one. An empty reporter puts the
//! default message box back.
TErrorReporter SetErrorReporter(TErrorReporter reporter);
//! Reports the message of the exception being handled (call inside a catch block).
void ReportCurrentException(QWidget* source);
//! Runs `operation`; an exception it raises is reported. Returns whether it ended normally.
bool RunReported(QWidget* source, const std::function<void()>& operation);
//! Sends the framework's application errors (a control failing while it is told of a change) to the
//! reporter too. Done by InstallQtPrompts.
void InstallApplicationErrorHandler();

//! The question before a record is deleted.
inline constexpr const char* kDeleteRecordQuestion = "Delete record?";
//! Asks kDeleteRecordQuestion in a modal message box (object name "DeleteConfirmation") with OK and
//! Cancel; true for OK.
bool ConfirmDeleteRecord(QWidget* parent);

}  // namespace viz::ui
