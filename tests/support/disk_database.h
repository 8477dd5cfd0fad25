// Disk databases for tests: a database file made in a folder and its database data, ready for
// sessions to connect, for suites that run the same table behaviour against every backend.
//
//   TempDir dir;
//   auto database = NewDiskDatabase(dir.Path());
//   TABSBaseSession session;
//   ConnectDiskSession(*database, session);
//   ... database->FindOrCreateTableData(&cursor)->CreateTable(...), OpenTable(&cursor) ...
//   database->DisconnectSession(&session);
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/storage/disk/VIZDiskEngine.h"

namespace viz::testing {

struct TestDiskDatabaseOptions {
  std::string FileName = "test.svl";
  uint16_t PageSize = 4096;
  //! Empty: a plain file; otherwise enciphered with `CipherType`.
  std::string Password;
  uint8_t CipherType = 1;
  int32_t MaxConnections = 16;
  bool MultiUser = false;
};

//! Creates the database file `options.FileName` in `folder` and returns its database data (no
//! session connected yet).
std::unique_ptr<TABSDiskDatabaseData> NewDiskDatabase(const std::string& folder,
                                                      const TestDiskDatabaseOptions& options = {});
//! The database data of an existing file, as NewDiskDatabase makes it.
std::unique_ptr<TABSDiskDatabaseData> OpenDiskDatabase(const std::string& path,
                                                       const TestDiskDatabaseOptions& options = {});
//! Connects a session with the options' password and mode; the database's own lock waits are made
//! short (a test that meets a held lock fails fast instead of waiting for minutes).
void ConnectDiskSession(TABSDiskDatabaseData& database, TABSBaseSession& session,
                        const TestDiskDatabaseOptions& options = {});

}  // namespace viz::testing
