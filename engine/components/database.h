// TABSDatabase: one connection to one database, addressed by its alias `DatabaseName`. Connecting
// makes an engine session (TABSLocalSession), which finds or makes the backend for the file and
// takes a connection slot in it; the datasets of the alias then work through that session.
//
//   disconnected --Connected := true--> connected --Connected := false--> disconnected
//
// A wrong password asks for another one (OnPassword, else the password dialog) and tries again
// while the answer is yes. A file that was not closed correctly (a commit cut short) may be
// repaired on open (OnNeedRepair, else the repair question); a file of an old format version is
// converted after an information message. Either way every table is copied into file + ".tmp",
// which then takes the file's name by a rename; when some table could not be copied, the original
// stays beside it as file + ".bak" and the warning names it.
//
// Misuse (a missing alias, changing the alias of an open connection ...) is raised through the
// framework's database error with the component's name in front; engine failures are
// EABSExceptions.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/tables/base_session.h"

namespace viz {

class TABSComponentOwner;
class TABSDataSet;
class TABSLocalSession;
class TABSSession;

//! The engine version text.
inline constexpr const char* kEngineVersion = "4.89 ";

class TABSDatabase {
 public:
  using NotifyEvent = std::function<void(TABSDatabase&)>;
  using ContinueEvent = std::function<void(TABSDatabase&, bool& answer)>;
  using ProgressEvent = std::function<void(TABSDatabase&, int percentDone, bool& continueOn)>;

  explicit TABSDatabase(TABSComponentOwner* owner = nullptr, std::string name = {});
  //! Disconnects first.
  ~TABSDatabase();
  TABSDatabase(const TABSDatabase&) = delete;
  TABSDatabase& operator=(const TABSDatabase&) = delete;

  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }
  TABSComponentOwner* Owner() const { return owner_; }

  // ---- Published properties
  bool Connected() const;
  void SetConnected(bool value);
  void Open() { SetConnected(true); }
  void Close() { SetConnected(false); }
  //! Always "4.89 ".
  std::string CurrentVersion() const { return kEngineVersion; }
  const std::string& DatabaseFileName() const { return fileName_; }
  //! Disconnects first.
  void SetDatabaseFileName(const std::string& fileName);
  const std::string& DatabaseName() const { return databaseName_; }
  void SetDatabaseName(const std::string& name);
  bool Exclusive() const { return exclusive_; }
  void SetExclusive(bool value) { exclusive_ = value; }
  const std::string& Password() const { return password_; }
  void SetPassword(const std::string& password) { password_ = password; }
  //! After connecting, whether the backend is read-only.
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool value) { readOnly_ = value; }
  bool HandleShared() const { return handleShared_; }
  void SetHandleShared(bool value) { handleShared_ = value; }
  bool KeepConnection() const { return keepConnection_; }
  //! False without references disconnects.
  void SetKeepConnection(bool value);
  //! Connection slots of a new file; after connecting, the file's value.
  int32_t MaxConnections() const { return maxConnections_; }
  void SetMaxConnections(int32_t value) { maxConnections_ = value; }
  bool MultiUser() const { return multiUser_; }
  void SetMultiUser(bool value) { multiUser_ = value; }
  const std::string& SessionName() const { return sessionName_; }
  void SetSessionName(const std::string& name);
  bool SilentMode() const { return silentMode_; }
  void SetSilentMode(bool value) { silentMode_ = value; }
  bool DisableTempFiles() const { return disableTempFiles_; }
  void SetDisableTempFiles(bool value) { disableTempFiles_ = value; }

  // ---- Settings of a file this connection makes (after connecting: the file's)
  uint16_t PageSize() const { return pageSize_; }
  void SetPageSize(uint16_t value) { pageSize_ = value; }
  uint16_t ExtentPageCount() const { return extentPageCount_; }
  void SetExtentPageCount(uint16_t value) { extentPageCount_ = value; }
  //! The cipher of a new file (0: none); the password is its key.
  uint8_t CipherType() const { return cipherType_; }
  void SetCipherType(uint8_t value) { cipherType_ = value; }

  // ---- Events
  //! Asked for a password after a wrong one; `answer` (false on entry) true tries again.
  ContinueEvent OnPassword;
  //! The file was not closed correctly; `answer` true repairs it.
  ContinueEvent OnNeedRepair;
  NotifyEvent BeforeRepair, AfterRepair;
  ProgressEvent OnRepairProgress;

  // ---- Operations
  //! Creates the database file. Raises "Database name missing", "Cannot perform this operation on
  //! an open database", "Cannot create database. Database is already open" (20092).
  void MakeDatabaseFile();
  //! Deletes the file; requires an alias and a disconnected component.
  void RemoveDatabaseFile();
  //! Copies every table into a new file `targetFile`; the messages of tables or records that could
  //! not be copied go into `errorText`. False when the progress answer stopped it.
  bool RebuildDatabase(const std::string& targetFile, std::string& errorText);
  //! Connects when needed; whether the database holds the table.
  bool HasTable(const std::string& tableName);
  //! Connects when needed (and disconnects again); errors leave the list as far as it got.
  void ListTableNames(std::vector<std::string>& names);
  void BeginTransaction();
  void CommitTransaction(bool flush = true);
  void RollbackTransaction();
  bool InTransaction() const;

  // ---- For sessions and datasets
  //! The engine session while connected, else null.
  TABSLocalSession* EngineSession() const { return engineSession_.get(); }
  //! The session the connection joined when it connected (null before).
  TABSSession* Session() const { return session_; }
  //! Made by a session for a dataset that found no connection of its alias.
  bool Temporary() const { return temporary_; }
  int32_t ReferenceCount() const { return referenceCount_; }
  const std::vector<TABSDataSet*>& DataSets() const { return dataSets_; }
  void AddDataSet(TABSDataSet* dataSet);
  void RemoveDataSet(TABSDataSet* dataSet);

 private:
  friend class TABSSession;

  // Raises a framework database error with the component's name.
  [[noreturn]] void Error(const std::string& message) const;
  void CheckInactive() const;
  void DoConnect();
  void DoDisconnect();
  // Step 7 of connecting: the engine session, asking for passwords.
  void ConnectEngineSession();
  TABSConnectionSettings Settings() const;
  // Asks for a password after a wrong one; true tries again.
  bool AskPassword();
  // The repair on open; true when the file was repaired (and the connection must be made again).
  bool RepairOnOpen();
  TABSSession& JoinSession();

  TABSComponentOwner* owner_ = nullptr;
  std::string name_;
  std::string fileName_;
  std::string databaseName_;
  std::string password_;
  std::string sessionName_;
  bool exclusive_ = false;
  bool readOnly_ = false;
  bool multiUser_ = false;
  bool handleShared_ = false;
  bool keepConnection_ = true;
  bool silentMode_ = false;
  bool disableTempFiles_ = false;
  int32_t maxConnections_ = 500;
  uint16_t pageSize_ = 4096;
  uint16_t extentPageCount_ = 8;
  uint8_t cipherType_ = 0;
  bool temporary_ = false;
  bool repairing_ = false;
  int32_t referenceCount_ = 0;
  std::vector<TABSDataSet*> dataSets_;
  TABSSession* session_ = nullptr;
  // Shared with the connections of the same alias that share handles.
  std::shared_ptr<TABSLocalSession> engineSession_;
};

}  // namespace viz
