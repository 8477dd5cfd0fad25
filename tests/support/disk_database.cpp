#include "support/disk_database.h"

#include "engine/storage/disk_page_manager.h"

namespace viz::testing {

namespace {

TABSConnectionSettings SettingsFor(const std::string& path, const TestDiskDatabaseOptions& options) {
  TABSConnectionSettings settings;
  settings.DatabaseFileName = path;
  settings.PageSize = options.PageSize;
  settings.Password = options.Password;
  settings.CipherType = options.Password.empty() ? 0 : options.CipherType;
  settings.MaxConnections = options.MaxConnections;
  settings.MultiUser = options.MultiUser;
  return settings;
}

}  // namespace

std::unique_ptr<TABSDiskDatabaseData> NewDiskDatabase(const std::string& folder,
                                                      const TestDiskDatabaseOptions& options) {
  auto database = OpenDiskDatabase(folder + "/" + options.FileName, options);
  database->CreateDatabase();
  return database;
}

std::unique_ptr<TABSDiskDatabaseData> OpenDiskDatabase(const std::string& path,
                                                       const TestDiskDatabaseOptions& options) {
  return std::make_unique<TABSDiskDatabaseData>(SettingsFor(path, options));
}

void ConnectDiskSession(TABSDiskDatabaseData& database, TABSBaseSession& session,
                        const TestDiskDatabaseOptions& options) {
  session.Connection() = SettingsFor(database.FileName(), options);
  database.ConnectSession(&session);
  database.Pages().SetLockRetryPolicy(250, 2);
}

}  // namespace viz::testing
