// The catalogue of a disk database: the system directory at page 2, the sessions file and the
// table list, created together with a new database and opened together with it.
//
// A new database's catalogue, all under session -2 and committed at once:
//   page 2: system directory, entries (2, sessions file) and (1, table list)
//   sessions file: MaxConnections slots (direct, page type 5)
//   table list: empty (transacted, page type 6)
#pragma once

#include <cstdint>

#include "engine/storage/disk/active_sessions_file.h"
#include "engine/storage/disk/system_directory.h"
#include "engine/storage/disk/table_list_file.h"

namespace viz {

class TABSDiskCatalog {
 public:
  //! MaxConnections of a new database unless its creator asks otherwise.
  static constexpr int32_t kDefaultMaxConnections = 500;

  explicit TABSDiskCatalog(TABSDiskPageManager& manager);

  //! Creates the catalogue of a new (empty) database and commits session -2; on failure session -2
  //! is rolled back and the error raised again.
  void Create(int32_t maxConnections = kDefaultMaxConnections);
  //! Loads the directory, opens the sessions file (entry 2) and the table list (entry 1) and loads
  //! the list.
  void Open();
  //! Forgets the catalogue objects' state (the files stay).
  void Close();

  TABSSystemDirectory& Directory() { return directory_; }
  TABSActiveSessionsFile& Sessions() { return sessions_; }
  TABSTableListFile& Tables() { return tables_; }
  //! The database's MaxConnections: the sessions file's slots.
  int32_t MaxConnections() const { return sessions_.SlotCount(); }

 private:
  TABSDiskPageManager& manager_;
  TABSSystemDirectory directory_;
  TABSActiveSessionsFile sessions_;
  TABSTableListFile tables_;
};

}  // namespace viz
