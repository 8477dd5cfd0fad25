// The engine-side session object a connected TABSDatabase owns: the connection's alias and settings,
// its number in the database, its transaction flag and named objects (TABSBaseSession), and the
// database backend it is connected to.
#pragma once

#include <string>

#include "engine/tables/base_session.h"

namespace viz {

class TABSDatabaseData;

//! The names that choose the built-in databases, exactly in upper case.
inline constexpr const char* kMemoryDatabaseAlias = "MEMORY";
inline constexpr const char* kTemporaryDatabaseAlias = "TEMP";

class TABSLocalSession : public TABSBaseSession {
 public:
  //! A session for the alias `databaseName`; `settings` say which file and how to open it.
  TABSLocalSession(std::string databaseName, const TABSConnectionSettings& settings);
  //! Disconnects from the backend when still connected.
  ~TABSLocalSession() override;
  TABSLocalSession(const TABSLocalSession&) = delete;
  TABSLocalSession& operator=(const TABSLocalSession&) = delete;

  const std::string& DatabaseName() const { return databaseName_; }
  const std::string& DatabaseFileName() const { return Connection().DatabaseFileName; }
  bool ReadOnly() const { return Connection().ReadOnly; }
  bool Exclusive() const { return Connection().Exclusive; }
  bool MultiUser() const { return Connection().MultiUser; }
  bool NeedRepair() const { return Connection().NeedRepair; }

  //! Finds the backend for the alias ("MEMORY" and "TEMP" choose the built-in ones; any other
  //! alias a disk backend by file name) or makes a disk backend for the file, and connects to it.
  //! The backend's errors pass through (a wrong password: 30445; no free connection slot: 20094).
  void Connect();
  //! Discards uncommitted changes, leaves the backend; a disk backend without sessions is freed.
  void Disconnect();
  bool Connected() const { return backend_ != nullptr; }
  //! The backend while connected, else null.
  TABSDatabaseData* Database() const { return backend_; }
  //! Whether the backend is a disk database.
  bool IsDisk() const;
  //! Whether the backend is the temporary database.
  bool IsTemporary() const;

 private:
  std::string databaseName_;
  TABSDatabaseData* backend_ = nullptr;
};

}  // namespace viz
