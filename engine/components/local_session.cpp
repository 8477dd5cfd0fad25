#include "engine/components/local_session.h"

#include "engine/components/engine_manager.h"
#include "engine/storage/disk/disk_database_data.h"
#include "engine/types/errors.h"

namespace viz {

TABSLocalSession::TABSLocalSession(std::string databaseName, const TABSConnectionSettings& settings)
    : databaseName_(std::move(databaseName)) {
  Connection() = settings;
}

TABSLocalSession::~TABSLocalSession() {
  try {
    Disconnect();
  } catch (const Exception&) {
    // A destructor cannot report; the backend has released the session all the same.
  }
}

bool TABSLocalSession::IsDisk() const {
  return dynamic_cast<TABSDiskDatabaseData*>(backend_) != nullptr;
}

bool TABSLocalSession::IsTemporary() const {
  return backend_ != nullptr &&
         backend_ == TABSEngineManager::Instance().BuiltInDatabase(kTemporaryDatabaseAlias);
}

void TABSLocalSession::Connect() {
  if (backend_) return;
  TABSEngineManager& manager = TABSEngineManager::Instance();
  if (databaseName_ == kMemoryDatabaseAlias || databaseName_ == kTemporaryDatabaseAlias) {
    TABSDatabaseData* builtIn = manager.BuiltInDatabase(databaseName_);
    if (!builtIn) throw EABSException(msg::kEngineNotInitialized);
    builtIn->ConnectSession(this);
    backend_ = builtIn;
    return;
  }
  TABSDiskDatabaseData& disk = manager.FindOrCreateDiskDatabase(Connection());
  try {
    disk.ConnectSession(this);
  } catch (...) {
    manager.ReleaseDiskDatabase(&disk);
    throw;
  }
  backend_ = &disk;
}

void TABSLocalSession::Disconnect() {
  if (!backend_) return;
  TABSDatabaseData* backend = backend_;
  backend_ = nullptr;
  SetInTransaction(false);
  auto* disk = dynamic_cast<TABSDiskDatabaseData*>(backend);
  try {
    backend->DisconnectSession(this);
  } catch (...) {
    TABSEngineManager::Instance().ReleaseDiskDatabase(disk);
    throw;
  }
  TABSEngineManager::Instance().ReleaseDiskDatabase(disk);
}

}  // namespace viz
