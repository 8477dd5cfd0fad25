// TABSSession: a named scope of database connections. Every TABSDatabase and every dataset belongs
// to the session its `SessionName` names (empty: the default session "Default"). A session finds
// the connection a dataset asks for by alias, or makes a temporary one for it, and counts the
// datasets that use each connection.
//
//   inactive --Active := true (or a connection connects)--> active --Active := false--> inactive
//
// Deactivating a session disconnects its connections from the last to the first and frees the
// temporary ones.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace viz {

class TABSComponentOwner;
class TABSDatabase;

class TABSSession {
 public:
  //! A session on `owner` (may be null). Raises "Cannot add a session to the form or data-module
  //! while session '%s' has AutoSessionName enabled" when a session of the owner names itself.
  explicit TABSSession(TABSComponentOwner* owner = nullptr, std::string name = {});
  ~TABSSession();
  TABSSession(const TABSSession&) = delete;
  TABSSession& operator=(const TABSSession&) = delete;

  //! The component name; renaming renames the session while AutoSessionName is on.
  const std::string& Name() const { return name_; }
  void SetName(const std::string& name);
  TABSComponentOwner* Owner() const { return owner_; }
  bool IsDefault() const;

  bool Active() const { return active_; }
  //! Activating runs OnStartup, raises "Session name missing" for an empty name and activates the
  //! default session first.
  void SetActive(bool active);
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }

  bool AutoSessionName() const { return autoSessionName_; }
  void SetAutoSessionName(bool value);
  bool KeepConnections() const { return keepConnections_; }
  void SetKeepConnections(bool value) { keepConnections_ = value; }
  const std::string& SessionName() const { return sessionName_; }
  //! Raises "Cannot modify SessionName while AutoSessionName is enabled", "Cannot perform this
  //! operation on an active session" and "Duplicate session name '%s'".
  void SetSessionName(const std::string& name);

  std::function<void(TABSSession&)> OnStartup;

  //! The connections of this session, in the order they joined.
  const std::vector<TABSDatabase*>& Databases() const { return databases_; }
  //! A handle-sharing connection of `owner` with that alias, else any connection with that alias
  //! (ignoring case); null when none.
  TABSDatabase* FindDatabase(const std::string& alias, const TABSComponentOwner* owner) const;
  //! The connection for a dataset: found, or a temporary one made for the alias; connected, with one
  //! more reference.
  TABSDatabase& OpenDatabase(const std::string& alias, const TABSComponentOwner* owner);
  //! One reference less; without references and KeepConnection a temporary connection is freed,
  //! another disconnected.
  void CloseDatabase(TABSDatabase& database);

  //! The session's re-entrant lock over the critical section all sessions share.
  std::unique_lock<std::recursive_mutex> Lock();

 private:
  friend class TABSDatabase;
  friend class TABSEngineManager;
  struct DefaultTag {};
  explicit TABSSession(DefaultTag);

  void AddDatabase(TABSDatabase* database);
  void RemoveDatabase(TABSDatabase* database);
  // Frees a temporary connection of this session.
  void FreeTemporary(TABSDatabase* database);
  void CloseConnections();
  void ApplyAutoName();

  TABSComponentOwner* owner_ = nullptr;
  std::string name_;
  std::string sessionName_;
  bool active_ = false;
  bool autoSessionName_ = false;
  int32_t autoNumber_ = -1;
  bool keepConnections_ = true;
  bool registered_ = false;
  std::vector<TABSDatabase*> databases_;
  std::vector<std::unique_ptr<TABSDatabase>> temporaries_;
};

}  // namespace viz
