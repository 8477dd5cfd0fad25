// What the table data needs of a cursor: the table it works on, its session, its position, its open
// options and whether it is creating the table. The cursor's full interface (navigation, record operations,
// filters, ranges) is built on this by the cursor itself.
#pragma once

#include <string>
#include <string_view>

#include "engine/tables/record_layout.h"
#include "engine/tables/search/cursor_navigation.h"

namespace viz {

class TABSBaseSession;

class TABSCursor {
 public:
  TABSCursor() = default;
  TABSCursor(const TABSCursor&) = delete;
  TABSCursor& operator=(const TABSCursor&) = delete;
  virtual ~TABSCursor() = default;

  const std::string& TableName() const { return tableName_; }
  void SetTableName(std::string_view name) { tableName_ = std::string(name); }

  //! The session connection the cursor works for; null only for a cursor not yet opened.
  TABSBaseSession* Session() const { return session_; }
  void SetSession(TABSBaseSession* session) { session_ = session; }

  //! Set while the cursor creates its table: the definitions it installs already carry their
  //! constraints, so adding and dropping indexes does not derive them again.
  bool CreatingTable() const { return creatingTable_; }
  void SetCreatingTable(bool value) { creatingTable_ = value; }

  //! Open option: the table is opened for this cursor alone.
  bool Exclusive() const { return exclusive_; }
  void SetExclusive(bool value) { exclusive_ = value; }
  //! Open option: work the table does for the cursor (BLOB values, index pages) stays in memory
  //! instead of spilling to temporary files.
  bool DisableTempFiles() const { return disableTempFiles_; }
  void SetDisableTempFiles(bool value) { disableTempFiles_ = value; }
  //! Set while a bulk change runs (an SQL statement changing many records): outside a transaction
  //! the table commits once when it ends instead of after every record.
  bool BulkChange() const { return bulkChange_; }
  void SetBulkChange(bool value) { bulkChange_ = value; }

  //! The current record and the two positions outside the records.
  struct Position {
    TABSRecordAddress Address;
    bool BeforeFirst = true;
    bool AfterLast = false;
  };
  const Position& CurrentPosition() const { return position_; }
  void SetCurrentPosition(const Position& position) { position_ = position; }

  //! Order, restrictions, bitmap and position cache, as table navigation reads them.
  TABSCursorNavigation& Navigation() { return navigation_; }
  const TABSCursorNavigation& Navigation() const { return navigation_; }

 private:
  std::string tableName_;
  TABSBaseSession* session_ = nullptr;
  bool creatingTable_ = false;
  bool exclusive_ = false;
  bool disableTempFiles_ = false;
  bool bulkChange_ = false;
  Position position_;
  TABSCursorNavigation navigation_;
};

//! Saves a cursor's position and puts it back when the scope ends, also on an exception.
class TABSCursorPositionSaver {
 public:
  explicit TABSCursorPositionSaver(TABSCursor* cursor)
      : cursor_(cursor), saved_(cursor ? cursor->CurrentPosition() : TABSCursor::Position{}) {}
  ~TABSCursorPositionSaver() {
    if (cursor_) cursor_->SetCurrentPosition(saved_);
  }
  TABSCursorPositionSaver(const TABSCursorPositionSaver&) = delete;
  TABSCursorPositionSaver& operator=(const TABSCursorPositionSaver&) = delete;

 private:
  TABSCursor* cursor_;
  TABSCursor::Position saved_;
};

}  // namespace viz
