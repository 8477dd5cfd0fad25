#include "engine/components/database.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "engine/components/component_owner.h"
#include "engine/components/dataset.h"
#include "engine/components/dialogs.h"
#include "engine/components/engine_manager.h"
#include "engine/components/local_session.h"
#include "engine/components/session.h"
#include "engine/components/table_copy.h"
#include "engine/storage/disk/disk_database_data.h"
#include "engine/storage/disk_page_manager.h"
#include "engine/storage/file_format.h"
#include "engine/tables/name_compare.h"
#include "engine/types/errors.h"
#include "engine/types/messages.h"
#include "framework/data/exceptions.h"

namespace viz {

namespace {

bool IsBuiltInAlias(const std::string& alias) {
  return alias == kMemoryDatabaseAlias || alias == kTemporaryDatabaseAlias;
}

std::string Formatted(const char* format, const std::string& argument) {
  return FormatText(format, {argument}).value_or(format);
}

}  // namespace

TABSDatabase::TABSDatabase(TABSComponentOwner* owner, std::string name)
    : owner_(owner), name_(std::move(name)) {
  if (owner_) owner_->databases_.push_back(this);
}

TABSDatabase::~TABSDatabase() {
  try {
    DoDisconnect();
  } catch (const Exception&) {
    // The engine session is gone all the same; a destructor cannot report.
  }
  if (session_) session_->RemoveDatabase(this);
  if (owner_) TABSComponentOwner::Remove(owner_->databases_, this);
}

void TABSDatabase::Error(const std::string& message) const {
  DatabaseError(message, name_);
}

void TABSDatabase::CheckInactive() const {
  if (Connected()) Error(msg::kOperationOnOpenDatabase);
}

bool TABSDatabase::Connected() const {
  return engineSession_ != nullptr;
}

void TABSDatabase::SetConnected(bool value) {
  if (value) {
    DoConnect();
  } else {
    DoDisconnect();
  }
}

void TABSDatabase::SetDatabaseFileName(const std::string& fileName) {
  DoDisconnect();
  fileName_ = fileName;
}

void TABSDatabase::SetDatabaseName(const std::string& name) {
  if (name == databaseName_) return;
  CheckInactive();
  if (session_) {
    TABSDatabase* other = session_->FindDatabase(name, owner_);
    if (other && other != this) {
      if (other->Temporary() && other->ReferenceCount() == 0) {
        session_->FreeTemporary(other);
      } else if (!(other->HandleShared() && handleShared_)) {
        Error(msg::kOperationOnOpenDatabase);
      }
    }
  }
  databaseName_ = name;
}

void TABSDatabase::SetSessionName(const std::string& name) {
  if (name == sessionName_) return;
  CheckInactive();
  if (session_) {
    session_->RemoveDatabase(this);
    session_ = nullptr;
  }
  sessionName_ = name;
}

void TABSDatabase::SetKeepConnection(bool value) {
  keepConnection_ = value;
  if (!value && referenceCount_ == 0) DoDisconnect();
}

void TABSDatabase::AddDataSet(TABSDataSet* dataSet) {
  if (std::find(dataSets_.begin(), dataSets_.end(), dataSet) == dataSets_.end()) dataSets_.push_back(dataSet);
}

void TABSDatabase::RemoveDataSet(TABSDataSet* dataSet) {
  dataSets_.erase(std::remove(dataSets_.begin(), dataSets_.end(), dataSet), dataSets_.end());
}

TABSConnectionSettings TABSDatabase::Settings() const {
  TABSConnectionSettings settings;
  settings.DatabaseFileName = fileName_;
  if (settings.DatabaseFileName.empty() && temporary_ && !IsBuiltInAlias(databaseName_))
    settings.DatabaseFileName = databaseName_;
  settings.Password = password_;
  settings.CipherType = cipherType_;
  settings.PageSize = pageSize_;
  settings.ExtentPageCount = extentPageCount_;
  settings.MaxConnections = maxConnections_;
  settings.ReadOnly = readOnly_;
  settings.Exclusive = exclusive_;
  settings.MultiUser = multiUser_;
  return settings;
}

TABSSession& TABSDatabase::JoinSession() {
  TABSSession* session = TABSEngineManager::Instance().FindSession(sessionName_);
  if (!session) throw EABSException(msg::kInvalidSessionName, sessionName_);
  if (session_ && session_ != session) session_->RemoveDatabase(this);
  session->AddDatabase(this);
  session->SetActive(true);
  return *session;
}

// ---- Connecting

void TABSDatabase::DoConnect() {
  if (Connected()) return;
  if (databaseName_.empty() && !temporary_) Error(msg::kDatabaseNameMissing);
  TABSSession& session = JoinSession();
  if (handleShared_) {
    for (TABSDatabase* other : session.Databases()) {
      if (other != this && other->Connected() && other->HandleShared() &&
          SameName(other->DatabaseName(), databaseName_)) {
        engineSession_ = other->engineSession_;
        return;
      }
    }
  }
  auto lock = session.Lock();
  const TABSConnectionSettings settings = Settings();
  if (!temporary_ && !IsBuiltInAlias(databaseName_) && !std::filesystem::exists(settings.DatabaseFileName))
    Error(Formatted(msg::kDatabaseFileMissing, settings.DatabaseFileName));
  ConnectEngineSession();
  if (RepairOnOpen()) ConnectEngineSession();
  const TABSConnectionSettings& found = engineSession_->Connection();
  readOnly_ = found.ReadOnly;
  cipherType_ = found.CipherType;
  pageSize_ = found.PageSize;
  extentPageCount_ = found.ExtentPageCount;
  maxConnections_ = found.MaxConnections;
}

void TABSDatabase::ConnectEngineSession() {
  for (;;) {
    auto session = std::make_shared<TABSLocalSession>(databaseName_, Settings());
    try {
      session->Connect();
      engineSession_ = std::move(session);
      return;
    } catch (const EABSException& error) {
      if (error.NativeErrorCode() != msg::kIncorrectPassword.code || !AskPassword()) throw;
    }
  }
}

bool TABSDatabase::AskPassword() {
  bool answer = false;
  if (OnPassword) {
    OnPassword(*this, answer);
    return answer;
  }
  TABSPassDialog* dialog = Dialogs().Password;
  return dialog != nullptr && dialog->Execute(*this, {});
}

bool TABSDatabase::RepairOnOpen() {
  if (!engineSession_->NeedRepair() || silentMode_ || repairing_) return false;
  bool repair = false;
  auto* disk = dynamic_cast<TABSDiskDatabaseData*>(engineSession_->Database());
  if (disk && disk->Pages().Header().version < file_format::kMinimumVersion) {
    // A file of an old format is converted (copied into the current format) without a question.
    if (TABSMessageDialogs* messages = Dialogs().Messages) messages->Inform(msg::kOldFormatInfo);
    repair = true;
  } else if (OnNeedRepair) {
    OnNeedRepair(*this, repair);
  } else if (TABSMessageDialogs* messages = Dialogs().Messages) {
    repair = messages->Confirm(msg::kRepairQuestion);
  }
  if (!repair) return false;
  engineSession_.reset();
  const std::string target = fileName_ + ".tmp";
  std::string errors;
  bool copied = false;
  repairing_ = true;
  try {
    copied = RebuildDatabase(target, errors);
  } catch (const EABSException& error) {
    repairing_ = false;
    std::error_code ignored;
    std::filesystem::remove(target, ignored);
    throw EABSException(msg::kCannotConvertDatabase, error.Message());
  } catch (...) {
    repairing_ = false;
    throw;
  }
  repairing_ = false;
  TABSMessageDialogs* messages = Dialogs().Messages;
  if (!copied) {
    std::error_code ignored;
    std::filesystem::remove(target, ignored);
    if (messages) messages->Warn(errors.empty() ? msg::kUnknownError : errors);
    return true;
  }
  if (!errors.empty()) {
    // Some table or record did not make it into the copy: the damaged file stays as a backup. A hard
    // link keeps the name taken by a database file at every moment of the swap.
    std::string backup = fileName_ + ".bak";
    for (int n = 1; std::filesystem::exists(backup); ++n) backup = fileName_ + ".bak" + std::to_string(n);
    std::error_code linkError;
    std::filesystem::create_hard_link(fileName_, backup, linkError);
    if (linkError) std::filesystem::copy_file(fileName_, backup);
    errors += "\n" + Formatted(msg::kRepairBackupKept, backup);
  }
  std::filesystem::rename(target, fileName_);
  if (messages && !errors.empty()) messages->Warn(errors);
  return true;
}

void TABSDatabase::DoDisconnect() {
  if (!Connected()) return;
  // Datasets close from the last; a closing dataset leaves the list itself.
  for (size_t index = dataSets_.size(); index-- > 0;) {
    if (index < dataSets_.size()) dataSets_[index]->Close();
  }
  std::shared_ptr<TABSLocalSession> session = std::move(engineSession_);
  engineSession_.reset();
  referenceCount_ = 0;
  // A session shared with another connection stays connected for it.
  if (session.use_count() == 1) session->Disconnect();
}

// ---- Database files

void TABSDatabase::MakeDatabaseFile() {
  if (databaseName_.empty()) Error(msg::kDatabaseNameMissing);
  CheckInactive();
  JoinSession();
  TABSEngineManager& manager = TABSEngineManager::Instance();
  TABSDiskDatabaseData& disk = manager.FindOrCreateDiskDatabase(Settings());
  try {
    disk.CreateDatabase();
  } catch (...) {
    manager.ReleaseDiskDatabase(&disk);
    throw;
  }
  manager.ReleaseDiskDatabase(&disk);
}

void TABSDatabase::RemoveDatabaseFile() {
  if (databaseName_.empty()) Error(msg::kDatabaseNameMissing);
  CheckInactive();
  std::filesystem::remove(fileName_);
}

bool TABSDatabase::HasTable(const std::string& tableName) {
  DoConnect();
  std::lock_guard lock(engineSession_->Database()->Lock());
  return engineSession_->Database()->TableExists(tableName);
}

void TABSDatabase::ListTableNames(std::vector<std::string>& names) {
  const bool wasConnected = Connected();
  try {
    DoConnect();
    engineSession_->Database()->ListTableNames(names);
  } catch (const Exception&) {
    // The list holds what could be read.
  }
  if (!wasConnected) {
    try {
      DoDisconnect();
    } catch (const Exception&) {
    }
  }
}

bool TABSDatabase::RebuildDatabase(const std::string& targetFile, std::string& errorText) {
  if (databaseName_.empty()) Error(msg::kDatabaseNameMissing);
  CheckInactive();
  TABSSession& session = JoinSession();
  TABSWaitDialog* wait = silentMode_ ? nullptr : Dialogs().Wait;
  if (BeforeRepair) {
    BeforeRepair(*this);
  } else if (wait) {
    wait->Start(msg::kRepairingDatabase);
  }
  auto progress = [&](int percent) {
    bool continueOn = true;
    if (OnRepairProgress) {
      OnRepairProgress(*this, percent, continueOn);
    } else if (wait) {
      continueOn = wait->Progress(percent);
    }
    return continueOn;
  };
  struct WaitEnd {
    TABSWaitDialog* wait;
    bool active = true;
    ~WaitEnd() {
      if (wait && active) wait->End();
    }
  } waitEnd{BeforeRepair ? nullptr : wait};

  std::string alias = "TempDatabase";
  for (int n = 1; session.FindDatabase(alias, nullptr); ++n) alias = "TempDatabase" + std::to_string(n);
  TABSDatabase target;
  target.SetSessionName(sessionName_);
  target.SetDatabaseName(alias);
  target.SetDatabaseFileName(targetFile);
  target.SetPassword(password_);
  target.SetPageSize(pageSize_);
  target.SetExtentPageCount(extentPageCount_);
  target.SetCipherType(cipherType_);
  target.SetMaxConnections(maxConnections_);
  target.SetSilentMode(true);
  target.MakeDatabaseFile();
  target.Open();

  const bool oldExclusive = exclusive_;
  const bool oldSilent = silentMode_;
  exclusive_ = true;
  silentMode_ = true;
  struct Restore {
    TABSDatabase& database;
    bool exclusive, silent;
    ~Restore() {
      database.exclusive_ = exclusive;
      database.silentMode_ = silent;
    }
  } restore{*this, oldExclusive, oldSilent};
  DoConnect();
  if (auto* disk = dynamic_cast<TABSDiskDatabaseData*>(engineSession_->Database()))
    disk->SetLenientRead(true);
  std::vector<std::string> tables;
  engineSession_->Database()->ListTableNames(tables);
  const int count = static_cast<int>(tables.size());
  bool result = true;
  for (int i = 0; i < count && result; ++i) {
    auto mapped = [&](int percent) { return progress((i * 100 + percent) / count); };
    try {
      if (!CopyTable(*engineSession_, *target.EngineSession(), tables[i], errorText, mapped)) result = false;
    } catch (const Exception& error) {
      if (!errorText.empty()) errorText += "\n";
      errorText += tables[i] + ": " + error.Message();
    }
  }
  if (auto* disk = dynamic_cast<TABSDiskDatabaseData*>(engineSession_->Database()))
    disk->SetLenientRead(false);
  DoDisconnect();
  target.Close();
  if (!result) return false;
  progress(100);
  waitEnd.active = false;
  if (AfterRepair) {
    AfterRepair(*this);
  } else if (wait) {
    wait->End();
  }
  return true;
}

// ---- Transactions

bool TABSDatabase::InTransaction() const {
  return engineSession_ && engineSession_->InTransaction();
}

void TABSDatabase::BeginTransaction() {
  if (!Connected()) Error(msg::kOperationOnClosedDatabase);
  if (engineSession_->InTransaction()) Error(msg::kDatabaseAlreadyInTransaction);
  engineSession_->SetInTransaction(true);
}

void TABSDatabase::CommitTransaction(bool flush) {
  if (!Connected()) Error(msg::kOperationOnClosedDatabase);
  if (!engineSession_->InTransaction()) throw EABSException(msg::kDatabaseNotInTransaction);
  engineSession_->Database()->Commit(engineSession_.get(), flush);
  engineSession_->SetInTransaction(false);
}

void TABSDatabase::RollbackTransaction() {
  if (!Connected()) Error(msg::kOperationOnClosedDatabase);
  if (!engineSession_->InTransaction()) throw EABSException(msg::kDatabaseNotInTransaction);
  engineSession_->SetInTransaction(false);
  engineSession_->Database()->Rollback(engineSession_.get());
  // The datasets show the records as they are again.
  for (TABSDataSet* dataSet : dataSets_) {
    if (dataSet->Active() && dataSet->State() == dsBrowse) dataSet->Refresh();
  }
}

}  // namespace viz
