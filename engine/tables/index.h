// An open index object of a table. The B-tree index fills in the abstract operations; the index
// manager opens, builds, drops and empties index objects and keeps them in step with every record
// change, and the constraint check asks them whether a key is still free.
#pragma once

#include <cstdint>

#include "engine/tables/index_defs.h"
#include "engine/tables/record_layout.h"

namespace viz {

class TABSBaseIndexManager;
class TABSCursor;
class TABSPageManager;
class TABSBTreeRecordIndex;

class TABSIndex {
 public:
  TABSIndex(TABSBaseIndexManager& manager, TABSPageManager* pageManager)
      : manager_(manager), pageManager_(pageManager) {}
  TABSIndex(const TABSIndex&) = delete;
  TABSIndex& operator=(const TABSIndex&) = delete;
  virtual ~TABSIndex() = default;

  // Virtual operations in slot order. Slots 5 to 18, 24 and 25 (navigation, search, ordinals and
  // scans) belong to the B-tree index and are declared by it.
  //! Slot 0: makes the index's pages and fills it from every record of the table (empty without a
  //! cursor); the root page goes into the private definition and into `definition`.
  virtual void Create(TABSCursor* cursor, TABSIndexDef& definition) = 0;
  //! Slot 1: frees every page of the index.
  virtual void Drop(int32_t session) = 0;
  //! Slot 2: removes every key.
  virtual void Empty(int32_t session) = 0;
  //! Slot 3: takes a private copy of the definition.
  virtual void Open(const TABSIndexDef& definition) { definition_.Assign(definition); }
  //! Slot 4: drops the index and creates it again from the table.
  virtual void Rebuild(TABSCursor* cursor);
  //! Slot 19: true when inserting the record's key breaks no uniqueness (always true for an index
  //! that is neither unique nor primary).
  virtual bool KeyIsFree(int32_t session, const uint8_t* record) = 0;
  //! Slot 20: as slot 19 for a record changed from `oldRecord` to `newRecord`.
  virtual bool KeyIsFreeOnUpdate(int32_t session, const uint8_t* oldRecord, const uint8_t* newRecord) = 0;
  //! Slot 21: adds the key of a new record.
  virtual void InsertKey(int32_t session, const uint8_t* record, const TABSRecordAddress& address) = 0;
  //! Slot 22: removes the key of a record; false when the entry is missing.
  virtual bool DeleteKey(int32_t session, const uint8_t* record, const TABSRecordAddress& address) = 0;
  //! Slot 23: replaces the key of a changed record.
  virtual void UpdateKey(int32_t session, const uint8_t* oldRecord, const uint8_t* newRecord,
                         const TABSRecordAddress& address) = 0;

  const TABSIndexDef& Definition() const { return definition_; }
  TABSIndexDef& Definition() { return definition_; }
  TABSBaseIndexManager& Manager() const { return manager_; }
  //! The page manager of the index: the table's for a stored index, the temporary one otherwise.
  TABSPageManager* PageManager() const { return pageManager_; }
  //! The index as a B-tree record index; null for another kind. A plain pointer, not a cast: table
  //! navigation asks for it on every step.
  TABSBTreeRecordIndex* BTreeRecordIndex() const { return btreeRecordIndex_; }

 protected:
  //! Set by the B-tree record index for `BTreeRecordIndex`.
  TABSBTreeRecordIndex* btreeRecordIndex_ = nullptr;

 private:
  TABSBaseIndexManager& manager_;
  TABSPageManager* pageManager_;
  TABSIndexDef definition_;
};

}  // namespace viz
