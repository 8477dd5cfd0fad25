// Index definitions and the index definition list.
//
// Stored form of an index definition (after the metadata object):
//   u8 index kind | u8 unique | u8 primary | i32 column count | i32 root page
//   per column: text8 field name | u8 descending | u8 case-insensitive | i32 key length
// Temporary flag, owner session and change counter are not stored (loaded as 0, -1 and 0).
// Stored form of the list: i32 count of the non-temporary definitions, then those in list order.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/tables/meta_object_defs.h"

namespace viz {

//! One key column of an index.
struct TABSIndexColumn {
  //! Key length of the columns of temporary indexes.
  static constexpr int32_t kTemporaryKeyLength = 20;

  std::string FieldName;  // at most 255 characters, matched case-insensitively
  bool Descending = false;
  bool CaseInsensitive = false;
  //! Largest number of bytes of this column kept in an index key.
  int32_t KeyLength = 0;
};

//! One index of a table.
class TABSIndexDef : public TABSMetaObjectDef {
 public:
  //! Value of `Temporary` for an index made for one session's query or sort; never stored.
  static constexpr uint8_t kTemporary = 255;

  std::unique_ptr<TABSMetaObjectDef> Clone() const override;
  void Assign(const TABSMetaObjectDef& source) override;
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) const override;

  bool IsTemporary() const { return Temporary != 0; }

  //! Kind of index structure; 0 for the B-tree every index of the engine is.
  uint8_t IndexKind = 0;
  std::vector<TABSIndexColumn> Columns;
  bool Unique = false;
  bool Primary = false;
  //! First page of the index in storage; -1 until created.
  int32_t RootPage = -1;
  uint8_t Temporary = 0;
  //! Session a temporary index belongs to.
  int32_t OwnerSession = -1;
  //! A temporary index is rebuilt when this differs from the record manager's state counter.
  int32_t ChangeCounter = 0;
};

//! The indexes of a table in definition order.
class TABSIndexDefs : public TABSMetaObjectDefs {
 public:
  TABSIndexDef& AddCreated() override;
  //! Writes only the definitions that are not temporary.
  void SaveToStream(TStream& stream) const override;
  //! Slot 10: returns the definition at a position.
  virtual TABSIndexDef& Get(int32_t index) const { return static_cast<TABSIndexDef&>(Item(index)); }
  //! Slot 11: replaces the definition at a position by a copy of `definition`.
  virtual void Put(int32_t index, const TABSIndexDef& definition);

  TABSIndexDef& operator[](int32_t index) const { return Get(index); }
  TABSIndexDef* FindIndex(std::string_view name) const {
    return static_cast<TABSIndexDef*>(FindByName(name));
  }
  TABSIndexDef* FindIndexByObjectID(int32_t objectId) const {
    return static_cast<TABSIndexDef*>(FindByObjectID(objectId));
  }

 protected:
  const char* ClassName() const override { return "TABSIndexDefs"; }
};

}  // namespace viz
