#include "storage/disk/disk_test_util.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/storage/disk/VIZDiskEngine.h"
#include "support/child_process.h"

namespace viz::testing {

void CreateCatalogDatabase(const std::string& path, int32_t maxConnections, int tableCount,
                           const TABSPassword& password) {
  TABSConnectionSettings settings;
  settings.DatabaseFileName = path;
  settings.Password = password.password;
  settings.CipherType = password.cipherType;
  settings.MaxConnections = maxConnections;
  TABSDiskDatabaseData database(settings);
  database.CreateDatabase();
  TABSBaseSession session;
  session.Connection() = settings;
  database.ConnectSession(&session);
  for (int index = 0; index < tableCount; ++index) {
    TABSDiskTableData& table = database.Table("T" + std::to_string(index));
    TABSFieldDefs fields;
    TABSFieldDef& field = fields.AddCreated();
    field.SetName("Id");
    field.SetDataType(dt::kInteger);
    TABSCursor cursor;
    cursor.SetTableName(table.TableName());
    cursor.SetSession(&session);
    table.CreateTable(&cursor, fields, {}, {});
  }
  database.DisconnectSession(&session);
}

CatalogDatabase::CatalogDatabase(const std::string& path, bool multiUser, platform::FileSystem* fileSystem)
    : db(path, multiUser, fileSystem), catalog(db.manager) {
  catalog.Open();
  locks = std::make_unique<TABSDatabaseTableLockManager>(db.manager, catalog.MaxConnections());
  locks->SetInternalRetries({2, 5}, {2, 5}, {2, 100});
}

TABSTableLocksFile& CatalogDatabase::Locks(int tableIndex) {
  auto& file = locksFiles_[tableIndex];
  if (!file) {
    file = std::make_unique<TABSTableLocksFile>(db.manager);
    file->Open(catalog.Tables().Find("T" + std::to_string(tableIndex)).locksStartPageNo);
  }
  return *file;
}

TABSInternalDBTransactedAccessFile CatalogDatabase::Metadata(int tableIndex) {
  TABSInternalDBTransactedAccessFile file(db.manager, ptTableMetaData);
  file.Open(catalog.Tables().Find("T" + std::to_string(tableIndex)).metadataStartPageNo);
  return file;
}

std::vector<uint8_t> RawPage(const std::string& path, int32_t pageNo) {
  return ReadBytesAt(path, file_format::kPrefixSize + int64_t{pageNo} * 4096, 4096);
}

namespace {
int lastCheckerStatus = 0;
}  // namespace

std::vector<std::string> CheckerReport(const std::string& path, const std::string& password, bool tablesOnly) {
#ifdef VIZCHECK_PATH
  const std::string tool = VIZCHECK_PATH;
#else
  const std::string tool;
#endif
  std::vector<std::string> lines;
  lastCheckerStatus = 0;
  if (tool.empty() || !std::filesystem::exists(tool)) return lines;
  const std::string report = path + ".report";
  pid_t child = fork();
  if (child == 0) {
    if (!std::freopen(report.c_str(), "w", stdout)) _exit(126);
    execl(tool.c_str(), "vizcheck", path.c_str(), "--password", password.c_str(),
          tablesOnly ? "--tables" : static_cast<char*>(nullptr), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);
  lastCheckerStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
  std::ifstream in(report);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::filesystem::remove(report);
  return lines;
}

std::vector<std::string> CheckerProblems(const std::string& path, const std::string& password) {
  std::vector<std::string> problems;
  for (const std::string& line : CheckerReport(path, password)) {
    if (line.rfind("PROBLEM:", 0) == 0 || line.rfind("ERROR:", 0) == 0) problems.push_back(line);
  }
  if (lastCheckerStatus != 0 && problems.empty())
    problems.push_back("vizcheck ended with status " + std::to_string(lastCheckerStatus));
  return problems;
}

std::string ContentText(TABSInternalDBTransactedAccessFile& file, int32_t session) {
  std::vector<uint8_t> content = file.ReadAll(session);
  return std::string(content.begin(), content.end());
}

namespace {

// Answers one command of the peer role.
std::string RunPeerCommand(CatalogDatabase& peer, std::istringstream& words) {
  std::string verb;
  words >> verb;
  int session = 0, kind = 0, table = 0;
  auto flag = [](bool value) { return std::string(value ? "1" : "0"); };
  if (verb == "connect") return std::to_string(peer.catalog.Sessions().Connect());
  if (verb == "disconnect") {
    words >> session;
    peer.catalog.Sessions().Disconnect(session);
    return "ok";
  }
  if (verb == "slot") {  // slot N: whether session slot N is held by anyone
    words >> session;
    return flag(peer.catalog.Sessions().IsByteLocked(session));
  }
  if (verb == "guard") return flag(peer.catalog.Sessions().LockFile());
  if (verb == "hold") return flag(peer.catalog.Sessions().TakeSingleUserHold());
  if (verb == "lock" || verb == "unlock" || verb == "locked") {  // lock SESSION KIND TABLE
    words >> session >> kind >> table;
    TABSTableLocksFile& file = peer.Locks(table);
    if (verb == "lock")
      return flag(peer.locks->LockTable(session, static_cast<uint8_t>(kind), false, 0, 1, file));
    if (verb == "unlock")
      return flag(peer.locks->UnlockTable(session, static_cast<uint8_t>(kind), false, false, file));
    return flag(file.IsKindLocked(static_cast<uint8_t>(kind), session));
  }
  if (verb == "record" || verb == "unrecord") {  // record SESSION TABLE PAGE SLOT
    TABSRecordAddress address;
    int page = 0, slot = 0;
    words >> session >> table >> page >> slot;
    address.PageNo = page;
    address.RecordNo = static_cast<uint16_t>(slot);
    TABSTableLocksFile& file = peer.Locks(table);
    if (verb == "record") return flag(peer.locks->LockRecord(session, file, 0, 1, address));
    return flag(peer.locks->UnlockRecord(session, file, address));
  }
  if (verb == "write") {  // write TABLE TEXT: the table's metadata under session 1, not committed
    std::string text;
    words >> table >> text;
    TABSInternalDBTransactedAccessFile file = peer.Metadata(table);
    file.WriteFile(1, text.data(), 1, /*zlib*/ 1, static_cast<int32_t>(text.size()));
    return "ok";
  }
  if (verb == "commit") {
    peer.db.manager.Commit(1);
    return "ok";
  }
  if (verb == "read") {
    words >> table;
    TABSInternalDBTransactedAccessFile file = peer.Metadata(table);
    return ContentText(file, 1);
  }
  return "unknown " + verb;
}

}  // namespace

// Works on a catalogue database from another process: peer PATH [single]. Answers every command
// with its result, or "error CODE" for an engine error.
VIZ_CHILD_ROLE(peer) {
  CatalogDatabase peer(args.at(0), !(args.size() > 1 && args[1] == "single"));
  peer.db.manager.SetLockRetryPolicy(3, 1);
  Reply("ready");
  std::string line;
  while (ReadCommand(&line)) {
    std::istringstream words(line);
    try {
      Reply(RunPeerCommand(peer, words));
    } catch (const EABSException& error) {
      Reply("error " + std::to_string(error.NativeErrorCode()));
    }
  }
  return 0;
}

}  // namespace viz::testing
