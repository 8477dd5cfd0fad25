// Helpers of the disk table tests: compact field and index lists, and a cursor with its own record
// buffer that reads and writes field values and BLOBs the way the engine's cursor does.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/storage/disk/VIZDiskEngine.h"
#include "support/disk_database.h"

namespace viz::testing {

struct FieldSpec {
  const char* Name;
  TABSDataType Type;
  int32_t Size = 0;
  //! BLOB compression: algorithm and level; block size (0: the default).
  uint8_t Algorithm = 0;
  uint8_t Mode = 0;
  int32_t BlockSize = 0;
};
std::unique_ptr<TABSFieldDefs> MakeFields(std::initializer_list<FieldSpec> specs);

struct IndexSpec {
  const char* Name;
  std::vector<std::string> Columns;
  bool Unique = false;
  int32_t KeyLength = 0;
};
std::unique_ptr<TABSIndexDefs> MakeIndexes(std::initializer_list<IndexSpec> specs);

//! A cursor on one table with its own record buffer; opened at construction unless asked not to,
//! closed (its cached BLOB values released) at destruction.
class TableCursor : public TABSCursor {
 public:
  TableCursor(TABSTableData& table, TABSBaseSession& session, bool open = true, bool exclusive = false);
  ~TableCursor() override;

  void Open();
  void Close();
  TABSTableData& Table() const { return table_; }
  uint8_t* Buffer() { return buffer_.data(); }

  //! Starts a new record: every field NULL.
  void Clear();
  void SetInt(int32_t field, int32_t value);
  void SetText(int32_t field, std::string_view text);
  void SetNull(int32_t field);
  //! Writes a BLOB value through the table's BLOB stream, as a cursor does when a stream closes.
  void SetBlob(int32_t field, const std::string& bytes);
  int32_t Int(int32_t field) const;
  std::string Text(int32_t field) const;
  bool IsNull(int32_t field) const;
  //! Reads a BLOB value through a read-only stream.
  std::string Blob(int32_t field);

  //! Record operations on the buffer; Insert prepares and assigns automatic values first.
  bool Insert();
  bool Update();
  bool Delete();
  //! Steps in the cursor's order; false past either end.
  bool First();
  bool Next();
  bool Last();
  bool Prior();
  //! Positions on the record at `address` and reads it.
  bool Go(const TABSRecordAddress& address);
  TABSRecordAddress Address() const { return CurrentPosition().Address; }

 private:
  const TABSFieldDef& Field(int32_t field) const;

  TABSTableData& table_;
  std::vector<uint8_t> buffer_;
  bool open_ = false;
};

//! One open database file with any number of connected sessions, disconnected at the end.
class TestDatabase {
 public:
  //! Creates the file (or, with `create` false, opens the existing one) and connects one session.
  TestDatabase(const std::string& folder, const TestDiskDatabaseOptions& options = {}, bool create = true);
  ~TestDatabase();

  TABSDiskDatabaseData& Database() { return *database_; }
  TABSBaseSession& Session(size_t index = 0);
  TABSDiskTableData& Table(const std::string& name) { return database_->Table(name); }
  const std::string& Path() const { return path_; }
  //! Disconnects every session (the database closes).
  void Disconnect();

 private:
  std::string path_;
  TestDiskDatabaseOptions options_;
  std::unique_ptr<TABSDiskDatabaseData> database_;
  std::vector<std::unique_ptr<TABSBaseSession>> sessions_;
};

//! The table most tests use: 0 Id INTEGER, 1 Name STRING(30), 2 Score INTEGER, 3 Notes MEMO (zlib),
//! indexes byId (unique, on Id) and byName (on Name).
void CreateLyricTable(TABSDiskTableData& table, TABSBaseSession& session, uint8_t blobAlgorithm = 1);

}  // namespace viz::testing
