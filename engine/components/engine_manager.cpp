#include "engine/components/engine_manager.h"

#include <algorithm>
#include <filesystem>

#include "engine/components/local_session.h"
#include "engine/components/session.h"
#include "engine/storage/disk/disk_database_data.h"
#include "engine/storage/memory/VIZMemEngine.h"
#include "engine/tables/name_compare.h"

namespace viz {

namespace {

// The form file names are compared in: absolute and without "." and ".." steps.
std::string ComparableFileName(const std::string& fileName) {
  std::error_code error;
  std::filesystem::path path = std::filesystem::absolute(fileName, error);
  if (error) path = fileName;
  return path.lexically_normal().string();
}

}  // namespace

TABSEngineManager& TABSEngineManager::Instance() {
  static TABSEngineManager manager;
  return manager;
}

TABSEngineManager::TABSEngineManager() = default;

TABSEngineManager::~TABSEngineManager() {
  // The default session disconnects its connections while the backends are still there.
  defaultSession_.reset();
  diskDatabases_.clear();
  builtIn_.clear();
}

TABSSession& TABSEngineManager::DefaultSession() {
  std::lock_guard section(sessionsSection_);
  if (!defaultSession_) defaultSession_.reset(new TABSSession(TABSSession::DefaultTag{}));
  return *defaultSession_;
}

TABSSession& DefaultSession() {
  return TABSEngineManager::Instance().DefaultSession();
}

void TABSEngineManager::RegisterSession(TABSSession* session) {
  std::lock_guard lock(listLock_);
  sessions_.push_back(session);
}

void TABSEngineManager::UnregisterSession(TABSSession* session) {
  std::lock_guard lock(listLock_);
  sessions_.erase(std::remove(sessions_.begin(), sessions_.end(), session), sessions_.end());
}

TABSSession* TABSEngineManager::FindSession(std::string_view name) {
  // The default session exists from the start, so that it is found by its name "Default" too.
  TABSSession& defaultSession = DefaultSession();
  if (name.empty()) return &defaultSession;
  std::lock_guard lock(listLock_);
  for (TABSSession* session : sessions_) {
    if (SameName(session->SessionName(), name)) return session;
  }
  return nullptr;
}

std::vector<TABSSession*> TABSEngineManager::Sessions() {
  std::lock_guard lock(listLock_);
  return sessions_;
}

int32_t TABSEngineManager::TakeAutoNumber() {
  std::lock_guard lock(listLock_);
  auto free = std::find(autoNumbers_.begin(), autoNumbers_.end(), false);
  const auto number = static_cast<int32_t>(free - autoNumbers_.begin());
  if (free == autoNumbers_.end())
    autoNumbers_.push_back(true);
  else
    *free = true;
  return number;
}

void TABSEngineManager::ReturnAutoNumber(int32_t number) {
  std::lock_guard lock(listLock_);
  if (number >= 0 && static_cast<size_t>(number) < autoNumbers_.size()) autoNumbers_[number] = false;
}

TABSDatabaseData* TABSEngineManager::BuiltInDatabase(std::string_view alias) {
  const bool memory = alias == kMemoryDatabaseAlias;
  if (!memory && alias != kTemporaryDatabaseAlias) return nullptr;
  std::lock_guard lock(listLock_);
  if (builtIn_.empty()) builtIn_.resize(2);
  std::unique_ptr<TABSDatabaseData>& database = builtIn_[memory ? 0 : 1];
  if (!database) {
    if (memory)
      database = std::make_unique<TABSMemoryDatabaseData>();
    else
      database = std::make_unique<TABSTemporaryDatabaseData>();
  }
  return database.get();
}

TABSDiskDatabaseData* TABSEngineManager::FindDiskDatabase(const std::string& fileName) {
  const std::string wanted = ComparableFileName(fileName);
  std::lock_guard lock(listLock_);
  for (const auto& database : diskDatabases_) {
    if (SameName(ComparableFileName(database->FileName()), wanted)) return database.get();
  }
  return nullptr;
}

TABSDiskDatabaseData& TABSEngineManager::FindOrCreateDiskDatabase(const TABSConnectionSettings& settings) {
  if (TABSDiskDatabaseData* found = FindDiskDatabase(settings.DatabaseFileName)) return *found;
  std::lock_guard lock(listLock_);
  diskDatabases_.push_back(std::make_unique<TABSDiskDatabaseData>(settings));
  return *diskDatabases_.back();
}

void TABSEngineManager::ReleaseDiskDatabase(TABSDiskDatabaseData* database) {
  if (!database) return;
  std::unique_ptr<TABSDiskDatabaseData> released;
  {
    std::lock_guard lock(listLock_);
    auto found = std::find_if(diskDatabases_.begin(), diskDatabases_.end(),
                              [&](const auto& item) { return item.get() == database; });
    if (found == diskDatabases_.end()) return;
    std::lock_guard databaseLock(database->Lock());
    if (!database->Sessions().empty()) return;
    released = std::move(*found);
    diskDatabases_.erase(found);
  }
}

size_t TABSEngineManager::DiskDatabaseCount() {
  std::lock_guard lock(listLock_);
  return diskDatabases_.size();
}

}  // namespace viz
