// The engine-side session object as the table data sees it: the session number a backend hands out,
// the transaction flag, and the named objects a session remembers between statements (the last
// automatic counter values it was given). The connection-level parts of the session (file name,
// password, connection slots) are added by the components that own it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace viz {

//! A value a session remembers, known by a number (-1 for an object known by name only) and a name.
class TABSSessionNamedObject {
 public:
  TABSSessionNamedObject(int32_t number, std::string_view name);
  virtual ~TABSSessionNamedObject() = default;

  int32_t Number() const { return number_; }
  const std::string& Name() const { return name_; }

 private:
  int32_t number_;
  std::string name_;  // at most 255 characters
};

//! The last automatic value a session received for a counter; keyed by the field's ObjectID.
class TABSSessionNamedObjectSequenceValue : public TABSSessionNamedObject {
 public:
  TABSSessionNamedObjectSequenceValue(int32_t objectId, int64_t value);

  int64_t Value() const { return value_; }

 private:
  int64_t value_;
};

//! The session's named objects, owned, in the order they were added.
class TABSSessionNamedObjects {
 public:
  //! Frees and removes the object with the same name (when the new object's number is -1) or the same
  //! number, then appends the new one.
  void Add(std::unique_ptr<TABSSessionNamedObject> object);
  //! Returns the object whose upper-cased name equals the upper-cased name; null when absent.
  TABSSessionNamedObject* FindByName(std::string_view name) const;
  //! Returns the first object with that number; null when absent.
  TABSSessionNamedObject* FindByNumber(int32_t number) const;
  int32_t Count() const { return static_cast<int32_t>(objects_.size()); }
  void Clear() { objects_.clear(); }

 private:
  std::vector<std::unique_ptr<TABSSessionNamedObject>> objects_;
};

//! What a connection asks of the database it connects to, and what the database reports back.
struct TABSConnectionSettings {
  std::string DatabaseFileName;
  //! Password text and, for a new file, the cipher type (0 = none).
  std::string Password;
  uint8_t CipherType = 0;
  //! Page settings of a file made by this connection.
  uint16_t PageSize = 4096;
  uint16_t ExtentPageCount = 8;
  //! Connection slots of a new file; after connecting, the file's value.
  int32_t MaxConnections = 500;
  //! Asked for; after connecting, whether the database is read-only.
  bool ReadOnly = false;
  bool Exclusive = false;
  bool MultiUser = false;
  //! Set by the database when the file was not closed correctly or is of an old format.
  bool NeedRepair = false;
};

//! One session's connection to a database, as seen by the database and table data.
class TABSBaseSession {
 public:
  virtual ~TABSBaseSession() = default;

  //! The connection's settings; the database reads them when the session connects and writes back
  //! what it found.
  TABSConnectionSettings& Connection() { return connection_; }
  const TABSConnectionSettings& Connection() const { return connection_; }

  //! The connection's number in the database; -1 until connected.
  int32_t SessionNumber() const { return sessionNumber_; }
  void SetSessionNumber(int32_t number) { sessionNumber_ = number; }

  bool InTransaction() const { return inTransaction_; }
  void SetInTransaction(bool value) { inTransaction_ = value; }

  TABSSessionNamedObjects& NamedObjects() { return namedObjects_; }
  const TABSSessionNamedObjects& NamedObjects() const { return namedObjects_; }

  //! Remembers `value` as the latest automatic value of the counter with that ObjectID.
  void SetSequenceValue(int32_t objectId, int64_t value);
  //! Returns the remembered sequence value of that ObjectID; null when the session has none.
  const TABSSessionNamedObjectSequenceValue* FindSequenceValue(int32_t objectId) const;

 private:
  TABSConnectionSettings connection_;
  int32_t sessionNumber_ = -1;
  bool inTransaction_ = false;
  TABSSessionNamedObjects namedObjects_;
};

}  // namespace viz
