// The prompts the database components may put to the user: the password dialog, the wait dialog
// of long operations and the repair questions. The engine knows them only through these interfaces;
// a user-interface library installs its forms with `SetDialogs`. With nothing installed the engine
// behaves as in silent mode: no password is asked for, no question is put, no progress is shown.
#pragma once

#include <string>

namespace viz {

class TABSDatabase;

//! Texts of the password dialog.
namespace pass_dialog {
inline constexpr const char* kCaption = "Database authentication";
inline constexpr const char* kPasswordLabel = "Password:";
inline constexpr const char* kOk = "OK";
inline constexpr const char* kCancel = "Cancel";
}  // namespace pass_dialog

//! Texts of the wait dialog.
namespace wait_dialog {
inline constexpr const char* kCaption = "Please Wait...";
inline constexpr const char* kInitialMessage = "Wait...";
inline constexpr const char* kAbort = "Abort";
inline constexpr const char* kBackgroundMode = "Background Mode";
//! The dialog shows only when the operation is still running this long after it started.
inline constexpr int kShowDelayMs = 500;
}  // namespace wait_dialog

//! The password dialog: a masked edit, OK and Cancel.
class TABSPassDialog {
 public:
  virtual ~TABSPassDialog() = default;
  //! Shows the dialog for `database`; on OK stores the typed text into its `Password` and returns
  //! true. `name` is the text of the label above the edit (empty here).
  virtual bool Execute(TABSDatabase& database, const std::string& name) = 0;
};

//! The one wait dialog of the program. Start, then any number of Progress calls, then End.
class TABSWaitDialog {
 public:
  virtual ~TABSWaitDialog() = default;
  virtual void Start(const std::string& message) = 0;
  //! Shows `percent` (0-100); returns false once the user chose "Abort".
  virtual bool Progress(int percent) = 0;
  virtual void End() = 0;
};

//! Message boxes.
class TABSMessageDialogs {
 public:
  virtual ~TABSMessageDialogs() = default;
  //! An information message with OK only.
  virtual void Inform(const std::string& text) = 0;
  //! A warning with OK only.
  virtual void Warn(const std::string& text) = 0;
  //! A confirmation with Yes and No; true for Yes.
  virtual bool Confirm(const std::string& text) = 0;
};

//! The installed dialogs (not owned); a null member is a dialog that is not there.
struct TABSDialogs {
  TABSPassDialog* Password = nullptr;
  TABSWaitDialog* Wait = nullptr;
  TABSMessageDialogs* Messages = nullptr;
};

//! Installs the dialogs for the whole process and returns the previous ones.
TABSDialogs SetDialogs(const TABSDialogs& dialogs);
//! The installed dialogs.
TABSDialogs Dialogs();

}  // namespace viz
