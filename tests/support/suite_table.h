// The table behaviour suite's view of a backend, and one table of it driven the way the cursor will
// drive it: a record buffer that navigation reads into and inserts and updates write from, posts that
// apply automatic values and check constraints before the storage writes (as the cursor's post does on
// every backend but the temporary one), and BLOB values put into and read from the buffer.
//
// A backend is added by registering a factory under a name in TableBackends() (before the tests are
// listed: a static registration object will do); the suite runs every test against every registered
// backend.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/tables/VIZBaseEngine.h"
#include "engine/tables/btree/ABSBTree.h"

namespace viz::testing {

//! One backend under test: a database with the session connected.
class TableBackend {
 public:
  virtual ~TableBackend() = default;
  virtual TABSDatabaseData& Database() = 0;
  virtual TABSBaseSession& Session() = 0;
  //! Whether records can be updated and deleted.
  virtual bool Editable() const = 0;
  //! Whether posting checks constraints (every backend but the temporary one).
  virtual bool ChecksConstraints() const = 0;
  //! Sets up a cursor before it opens or creates a table (temporary-file settings and the like).
  virtual void PrepareCursor(TABSCursor& /*cursor*/) {}
  //! Called before a new record gets its automatic values (a shared file reads its counters).
  virtual void PrepareInsert(TABSTableData& /*table*/, TABSCursor& /*cursor*/) {}
  //! Whether a dropped table gives back every byte of memory it took (no page cache keeps any).
  virtual bool GivesMemoryBack() const { return true; }
  //! Judges the stored data after a test that changed it (the file checker on disk); "" when sound.
  virtual std::string Check() { return ""; }
};

using TableBackendFactory = std::function<std::unique_ptr<TableBackend>()>;
//! The registered backends by name.
std::map<std::string, TableBackendFactory>& TableBackends();
//! A temporary database (TABSTemporaryDatabaseData) whose tables size their memory parts by
//! `availableMemory`, and whose cursors have temporary files disabled or not.
std::unique_ptr<TableBackend> NewTemporaryBackend(bool noTemporaryFiles, int64_t availableMemory);
//! Their names, in order.
std::vector<std::string> TableBackendNames();

//! A column of an index the suite builds.
struct SuiteColumn {
  std::string Field;
  bool Descending = false;
  bool CaseInsensitive = false;
  int32_t KeyLength = 0;
};

//! A cursor with a record buffer of its own.
class SuiteCursor : public TABSCursor {
 public:
  std::vector<uint8_t> Record;
};

class SuiteTable {
 public:
  SuiteTable(TableBackend& backend, const std::string& name);
  ~SuiteTable();
  SuiteTable(const SuiteTable&) = delete;
  SuiteTable& operator=(const SuiteTable&) = delete;

  // ---- Definitions, before Create.
  TABSFieldDef& AddField(const std::string& name, TABSDataType type, int32_t size = 0);
  TABSIndexDef& AddIndexDef(const std::string& name, const std::vector<SuiteColumn>& columns,
                            bool unique = false, bool primary = false);
  TABSConstraintDefs& Constraints() { return constraints_; }
  //! Creates the table (the primary-key and unique constraints of its indexes included) and opens
  //! it for the cursor.
  void Create();

  // ---- The record buffer.
  //! Makes the buffer a new record: every field NULL, defaults applied.
  void New();
  void SetInt(int32_t field, int32_t value);
  void SetText(int32_t field, const std::string& value);
  void SetNull(int32_t field);
  //! Writes a BLOB value through the table's BLOB stream and puts it into the buffer.
  void SetBlob(int32_t field, const std::string& value);
  int32_t Int(int32_t field) const;
  std::string Text(int32_t field) const;
  bool IsNull(int32_t field) const;
  //! Reads a BLOB value through the table's BLOB stream.
  std::string Blob(int32_t field);

  // ---- Record operations, as the cursor posts them.
  //! Inserts the buffer: automatic values, constraint check (raising) where the backend checks,
  //! then the table's insert.
  bool Post();
  //! Updates the record the cursor stands on with the buffer (constraints checked where they are).
  bool Update();
  bool Delete();
  //! Empties the table the way a closed dataset does: through a cursor of its own, the suite's
  //! cursor closed meanwhile and opened again afterwards.
  void Empty();

  // ---- Navigation in the cursor's order (storage order, or an index chosen by UseIndex).
  void UseIndex(const std::string& name);
  void UseStorageOrder();
  bool First();
  bool Last();
  bool Next();
  bool Prior();
  //! The value of `field` of every record in the cursor's order, as text (NULL as "<null>").
  std::vector<std::string> Column(int32_t field);

  //! Closes the table for the cursor and deletes it. Once only.
  void Drop();

  //! Runs the B-tree invariant checker on every index; "" when all are sound.
  std::string CheckIndexes();

  TABSTableData& Table() const { return *table_; }
  SuiteCursor& Cursor() { return cursor_; }
  int32_t IndexID(const std::string& name) const;

 private:
  //! Closes the table for the cursor when it is open.
  void Close();

  TableBackend& backend_;
  SuiteCursor cursor_;
  TABSTableData* table_ = nullptr;
  bool open_ = false;
  TABSFieldDefs fields_;
  TABSIndexDefs indexes_;
  TABSConstraintDefs constraints_;
};

//! The message of the engine exception the action raises, or "no error".
std::string EngineMessage(const std::function<void()>& action);

//! The number of temporary files (prefix VIZ) this process has open.
int OpenTemporaryFiles();

}  // namespace viz::testing
