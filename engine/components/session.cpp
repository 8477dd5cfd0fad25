#include "engine/components/session.h"

#include <algorithm>

#include "engine/components/component_owner.h"
#include "engine/components/database.h"
#include "engine/components/dataset.h"
#include "engine/components/engine_manager.h"
#include "engine/tables/name_compare.h"
#include "engine/types/messages.h"
#include "framework/data/exceptions.h"

namespace viz {

namespace {

constexpr const char* kDefaultSessionName = "Default";

}  // namespace

TABSSession::TABSSession(DefaultTag) : sessionName_(kDefaultSessionName) {
  TABSEngineManager::Instance().RegisterSession(this);
  registered_ = true;
}

TABSSession::TABSSession(TABSComponentOwner* owner, std::string name)
    : owner_(owner), name_(std::move(name)) {
  TABSEngineManager& manager = TABSEngineManager::Instance();
  manager.DefaultSession();
  if (owner_) {
    for (TABSSession* other : owner_->Sessions()) {
      if (other->AutoSessionName()) DatabaseErrorFmt(msg::kSessionAutoNamed, {other->SessionName()}, name_);
    }
    owner_->sessions_.push_back(this);
  }
  manager.RegisterSession(this);
  registered_ = true;
}

TABSSession::~TABSSession() {
  try {
    SetActive(false);
  } catch (const Exception&) {
    // Connections that fail to close are gone with their backend all the same.
  }
  if (autoNumber_ >= 0) TABSEngineManager::Instance().ReturnAutoNumber(autoNumber_);
  for (TABSDatabase* database : databases_) database->session_ = nullptr;
  if (owner_) TABSComponentOwner::Remove(owner_->sessions_, this);
  if (registered_) TABSEngineManager::Instance().UnregisterSession(this);
}

bool TABSSession::IsDefault() const {
  return this == &TABSEngineManager::Instance().DefaultSession();
}

std::unique_lock<std::recursive_mutex> TABSSession::Lock() {
  return std::unique_lock(TABSEngineManager::Instance().SessionsSection());
}

void TABSSession::SetName(const std::string& name) {
  name_ = name;
  if (autoSessionName_) ApplyAutoName();
}

void TABSSession::SetActive(bool active) {
  if (active == active_) return;
  auto lock = Lock();
  if (active) {
    if (OnStartup) OnStartup(*this);
    if (sessionName_.empty()) DatabaseError(msg::kSessionNameMissing, name_);
    if (!IsDefault()) DefaultSession().SetActive(true);
    active_ = true;
    return;
  }
  CloseConnections();
  active_ = false;
}

void TABSSession::CloseConnections() {
  // From the last to the first: temporary connections are freed, the others disconnected.
  for (size_t index = databases_.size(); index-- > 0;) {
    if (index >= databases_.size()) continue;
    TABSDatabase* database = databases_[index];
    if (database->Temporary()) {
      FreeTemporary(database);
    } else {
      database->Close();
    }
  }
}

void TABSSession::SetAutoSessionName(bool value) {
  if (value == autoSessionName_) return;
  if (value) {
    if (active_) DatabaseError(msg::kOperationOnActiveSession, name_);
    if (owner_) {
      for (TABSSession* other : owner_->Sessions()) {
        if (other != this) DatabaseError(msg::kCannotEnableAutoSessionName, name_);
      }
    }
    autoNumber_ = TABSEngineManager::Instance().TakeAutoNumber();
    autoSessionName_ = true;
    ApplyAutoName();
    return;
  }
  autoSessionName_ = false;
  TABSEngineManager::Instance().ReturnAutoNumber(autoNumber_);
  autoNumber_ = -1;
}

void TABSSession::ApplyAutoName() {
  sessionName_ = FormatText("%s_%d", {name_, autoNumber_ + 1}).value_or(name_);
  if (!owner_) return;
  for (TABSDatabase* database : owner_->Databases()) {
    if (database->SessionName() != sessionName_) database->sessionName_ = sessionName_;
  }
  for (TABSDataSet* dataSet : owner_->DataSets()) {
    if (dataSet->SessionName() != sessionName_) dataSet->SetSessionName(sessionName_);
  }
}

void TABSSession::SetSessionName(const std::string& name) {
  if (autoSessionName_) DatabaseError(msg::kCannotModifySessionName, name_);
  if (active_) DatabaseError(msg::kOperationOnActiveSession, name_);
  TABSSession* other = TABSEngineManager::Instance().FindSession(name);
  if (!name.empty() && other && other != this) DatabaseErrorFmt(msg::kDuplicateSessionName, {name}, name_);
  sessionName_ = name;
}

TABSDatabase* TABSSession::FindDatabase(const std::string& alias, const TABSComponentOwner* owner) const {
  for (TABSDatabase* database : databases_) {
    if (database->HandleShared() && database->Owner() == owner && SameName(database->DatabaseName(), alias))
      return database;
  }
  for (TABSDatabase* database : databases_) {
    if (SameName(database->DatabaseName(), alias)) return database;
  }
  return nullptr;
}

TABSDatabase& TABSSession::OpenDatabase(const std::string& alias, const TABSComponentOwner* owner) {
  auto lock = Lock();
  TABSDatabase* database = FindDatabase(alias, owner);
  if (!database) {
    auto made = std::make_unique<TABSDatabase>();
    made->databaseName_ = alias;
    made->sessionName_ = sessionName_;
    made->keepConnection_ = keepConnections_;
    made->silentMode_ = true;
    made->temporary_ = true;
    database = made.get();
    temporaries_.push_back(std::move(made));
    AddDatabase(database);
  }
  try {
    database->Open();
  } catch (...) {
    if (database->Temporary() && database->ReferenceCount() == 0) FreeTemporary(database);
    throw;
  }
  ++database->referenceCount_;
  return *database;
}

void TABSSession::CloseDatabase(TABSDatabase& database) {
  auto lock = Lock();
  if (database.referenceCount_ > 0) --database.referenceCount_;
  if (database.referenceCount_ > 0 || database.KeepConnection()) return;
  if (database.Temporary()) {
    FreeTemporary(&database);
  } else {
    database.Close();
  }
}

void TABSSession::AddDatabase(TABSDatabase* database) {
  if (std::find(databases_.begin(), databases_.end(), database) == databases_.end())
    databases_.push_back(database);
  database->session_ = this;
}

void TABSSession::RemoveDatabase(TABSDatabase* database) {
  databases_.erase(std::remove(databases_.begin(), databases_.end(), database), databases_.end());
}

void TABSSession::FreeTemporary(TABSDatabase* database) {
  auto found = std::find_if(temporaries_.begin(), temporaries_.end(),
                            [&](const auto& item) { return item.get() == database; });
  if (found == temporaries_.end()) return;
  std::unique_ptr<TABSDatabase> freed = std::move(*found);
  temporaries_.erase(found);
  // The destructor disconnects and leaves the session's list.
}

}  // namespace viz
