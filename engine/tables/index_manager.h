// The per-table keeper of index definitions and open index objects.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/tables/index.h"
#include "engine/tables/index_defs.h"

namespace viz {

class TABSCursor;
class TABSPageManager;
class TStream;
class TABSTableData;

class TABSBaseIndexManager {
 public:
  //! `pageManager` serves stored indexes, `temporaryPageManager` temporary ones (either may be null
  //! for a backend that keeps no pages).
  TABSBaseIndexManager(TABSTableData* table, TABSPageManager* pageManager,
                       TABSPageManager* temporaryPageManager);
  TABSBaseIndexManager(const TABSBaseIndexManager&) = delete;
  TABSBaseIndexManager& operator=(const TABSBaseIndexManager&) = delete;
  virtual ~TABSBaseIndexManager();

  // Virtual operations in slot order.
  //! Replaces the definitions by those of the stream (index objects are closed first).
  virtual void LoadFromStream(TStream& stream);
  //! Writes the stored (non-temporary) definitions.
  virtual void SaveToStream(TStream& stream) const;
  //! Replaces the definitions by copies of `definitions` (10424 on a duplicate name).
  virtual void Assign(const TABSIndexDefs& definitions);

  TABSTableData* TableData() const { return table_; }
  TABSIndexDefs& IndexDefs() { return indexDefs_; }
  const TABSIndexDefs& IndexDefs() const { return indexDefs_; }

  //! Returns the open index object of that ObjectID, opening it from its definition when needed.
  //! Raises 20018 "Index not found" when no definition has that ObjectID.
  TABSIndex& GetIndex(int32_t objectId);
  //! Closes every open index object (their pages stay).
  void CloseIndexes();

  //! Gives a copy of `definition` a new ObjectID, adds it and builds its index from the table.
  //! When the build fails the definition is removed again and the error passes on.
  //! Returns the added definition.
  TABSIndexDef& AddIndex(const TABSIndexDef& definition, TABSCursor* cursor);
  //! Frees the pages of the index (for the cursor's session, or -2 without a cursor), closes it and
  //! deletes its definition. Raises 20018 when no definition has that ObjectID.
  void DropIndex(int32_t objectId, TABSCursor* cursor);
  //! Removes every key of every index.
  void EmptyIndexes(int32_t session);

  // Keeping the indexes in step with record changes; each change increases the definitions'
  // change counters.
  void InsertRecordKeys(int32_t session, const uint8_t* record, const TABSRecordAddress& address);
  void UpdateRecordKeys(int32_t session, const uint8_t* oldRecord, const uint8_t* newRecord,
                        const TABSRecordAddress& address);
  //! Raises 20027 when an index has no entry for the record.
  void DeleteRecordKeys(int32_t session, const uint8_t* record, const TABSRecordAddress& address);

  //! Rebuilds each temporary index of the cursor's session whose change counter differs from
  //! `stateCounter`, then sets its counter to it. Does nothing while a rebuild is already running.
  void RefreshTemporaryIndexes(TABSCursor* cursor, int32_t stateCounter);

 protected:
  //! Returns a new, unopened index object for a definition, on the given page manager: a B-tree
  //! index (TABSBTreeRecordIndex).
  virtual std::unique_ptr<TABSIndex> NewIndexObject(const TABSIndexDef& definition,
                                                    TABSPageManager* pageManager);

 private:
  // Takes the root page an index may have moved to into the definition, and counts the change.
  static void NoteChange(TABSIndexDef& definition, const TABSIndex& index);

  TABSTableData* table_;
  TABSPageManager* pageManager_;
  TABSPageManager* temporaryPageManager_;
  TABSIndexDefs indexDefs_;
  std::vector<std::unique_ptr<TABSIndex>> openIndexes_;
  //! Set while temporary indexes are rebuilt, so that a rebuild does not start another one.
  bool refreshing_ = false;
};

}  // namespace viz
