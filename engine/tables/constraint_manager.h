// The per-table keeper of constraint definitions: installing them on the table (ObjectIDs, name
// resolution, generated names) and checking a record against them.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/tables/constraint_defs.h"
#include "engine/tables/record_layout.h"

namespace viz {

class TABSBaseSession;
class TABSFieldDefs;
class TABSIndexDef;
class TABSIndexDefs;
class TABSTableData;

class TABSBaseConstraintManager {
 public:
  explicit TABSBaseConstraintManager(TABSTableData* table) : table_(table) {}
  TABSBaseConstraintManager(const TABSBaseConstraintManager&) = delete;
  TABSBaseConstraintManager& operator=(const TABSBaseConstraintManager&) = delete;
  virtual ~TABSBaseConstraintManager() = default;

  TABSTableData* TableData() const { return table_; }
  TABSConstraintDefs& ConstraintDefs() { return constraintDefs_; }
  const TABSConstraintDefs& ConstraintDefs() const { return constraintDefs_; }

  //! Installs copies of `definitions` on the table: new ObjectIDs, the table name as second text,
  //! the list assigned (10424 on a duplicate name), names resolved, unnamed ones named.
  //! REQUIRES: the table's field and index definitions are set.
  void Install(const TABSConstraintDefs& definitions);
  //! Resolves the third text (and the columns) of a constraint against the table's fields and
  //! indexes into ObjectIDs. Raises 30325, 30331, 30332, 30027 for names that do not exist.
  void ResolveNames(TABSConstraintDef& constraint) const;
  //! Adds the constraint an index marked primary or unique implies (nothing for another index),
  //! with a new ObjectID, resolved. Returns it, or null.
  TABSConstraintDef* AddIndexConstraint(const TABSIndexDef& index);
  //! Deletes the first primary-key or unique constraint on the index with that ObjectID.
  void DeleteIndexConstraint(int32_t indexObjectId);

  //! Returns the primary-key or unique constraint an index implies; null for another index. Its name
  //! is "C_PK" or "C_Unique" followed by "$" and the field name of each column.
  static std::unique_ptr<TABSConstraintDef> ConstraintForIndex(const TABSIndexDef& index);

  //! Checks a record buffer against every constraint in order. `address` is the record being
  //! updated (ignored for an insert). Returns false on the first violation, or raises its error when
  //! `raise` is set.
  bool Check(const uint8_t* record, TABSBaseSession* session, const TABSRecordAddress& address, bool isInsert,
             bool raise);

 private:
  // Gives an unnamed not-null or check constraint its generated name.
  void NameUnnamed(TABSConstraintDef& constraint) const;
  // Each returns false (or raises) on a violation.
  bool CheckUnique(const TABSConstraintDefUnique& constraint, const uint8_t* record, TABSBaseSession* session,
                   const TABSRecordAddress& address, bool isInsert, bool raise);
  bool CheckNotNull(const TABSConstraintDefNotNull& constraint, const uint8_t* record, bool raise);
  bool CheckRange(const TABSConstraintDefCheck& constraint, const uint8_t* record, bool raise);

  TABSTableData* table_;
  TABSConstraintDefs constraintDefs_;
};

}  // namespace viz
