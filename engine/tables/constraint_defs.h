// Constraint definitions (primary key, unique, not null, check) and their list.
//
// Every constraint carries three name slots, each a text with a number:
//   first:  a name the engine keeps but does not set (empty, 0)
//   second: the table name (set when the constraints are installed on a table)
//   third:  not null and check: the field name and its ObjectID;
//           primary key and unique: the index name and its ObjectID
//
// Stored form of the list: i32 count, then per constraint u8 kind followed by its own form:
//   not null (3), check (4):  metadata object | i32 number x3 | text x3 as u8 m + m bytes
//                             check only: lower bound, upper bound (variant stream form)
//   unique (2), primary (0):  metadata object | i32 number x3 | text x3 as i32 m + m bytes
//                             i32 column count | per column: i32 field ObjectID, i32 m, m bytes
// where the m bytes of a text are its own length byte followed by its characters (m = length + 1).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/tables/meta_object_defs.h"
#include "engine/types/VIZVariant.h"

namespace viz {

//! Kinds of constraints; 1 and 5 and above are never valid.
enum class TABSConstraintKind : uint8_t { Primary = 0, Unique = 2, NotNull = 3, Check = 4 };

//! The base of every constraint: its kind and the three name slots.
class TABSConstraintDef : public TABSMetaObjectDef {
 public:
  explicit TABSConstraintDef(TABSConstraintKind kind) : kind_(kind) {}

  TABSConstraintKind Kind() const { return kind_; }

  void Assign(const TABSMetaObjectDef& source) override;

  //! Returns a new, empty constraint of the kind; null for a kind that is not valid.
  static std::unique_ptr<TABSConstraintDef> CreateOfKind(uint8_t kind);

  std::string FirstName;
  int32_t FirstNumber = 0;
  //! The table the constraint belongs to.
  std::string TableName;
  int32_t TableNumber = 0;
  //! The constrained field (not null, check) or the index (primary key, unique) ...
  std::string TargetName;
  //! ... and its ObjectID, resolved when the constraints are installed.
  int32_t TargetObjectID = 0;

 private:
  TABSConstraintKind kind_;
};

//! A field that may not be NULL.
class TABSConstraintDefNotNull : public TABSConstraintDef {
 public:
  TABSConstraintDefNotNull() : TABSConstraintDef(TABSConstraintKind::NotNull) {}
  std::unique_ptr<TABSMetaObjectDef> Clone() const override;
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) const override;

 protected:
  explicit TABSConstraintDefNotNull(TABSConstraintKind kind) : TABSConstraintDef(kind) {}
};

//! A field whose values must lie between two bounds; a NULL bound is no bound.
class TABSConstraintDefCheck : public TABSConstraintDefNotNull {
 public:
  TABSConstraintDefCheck() : TABSConstraintDefNotNull(TABSConstraintKind::Check) {}
  TABSConstraintDefCheck(const TABSConstraintDefCheck& other);
  std::unique_ptr<TABSMetaObjectDef> Clone() const override;
  void Assign(const TABSMetaObjectDef& source) override;
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) const override;

  TABSVariant LowerBound;
  TABSVariant UpperBound;
};

//! A field of a unique or primary-key constraint.
struct TABSConstraintColumn {
  std::string FieldName;
  int32_t FieldObjectID = 0;
};

//! No two records may hold the same key in the constraint's index.
class TABSConstraintDefUnique : public TABSConstraintDef {
 public:
  TABSConstraintDefUnique() : TABSConstraintDef(TABSConstraintKind::Unique) {}
  std::unique_ptr<TABSMetaObjectDef> Clone() const override;
  void Assign(const TABSMetaObjectDef& source) override;
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) const override;

  std::vector<TABSConstraintColumn> Columns;

 protected:
  explicit TABSConstraintDefUnique(TABSConstraintKind kind) : TABSConstraintDef(kind) {}
};

//! The table's primary key: a unique constraint that also refuses an all-NULL key.
class TABSConstraintDefPrimary : public TABSConstraintDefUnique {
 public:
  TABSConstraintDefPrimary() : TABSConstraintDefUnique(TABSConstraintKind::Primary) {}
  std::unique_ptr<TABSMetaObjectDef> Clone() const override;
};

//! The constraints of a table in definition order.
class TABSConstraintDefs : public TABSMetaObjectDefs {
 public:
  //! Reads the kind byte, then the constraint of that kind (30316 for an unknown kind).
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) const override;
  //! As for every list, except that unnamed constraints are no duplicates of one another: installing
  //! them on a table gives each a name of its own.
  void Assign(const TABSMetaObjectDefs& source) override;

  TABSConstraintDefPrimary& AddPrimary();
  TABSConstraintDefUnique& AddUnique();
  TABSConstraintDefNotNull& AddNotNull();
  TABSConstraintDefCheck& AddCheck();

  TABSConstraintDef& operator[](int32_t index) const { return static_cast<TABSConstraintDef&>(Item(index)); }
  TABSConstraintDef* FindConstraint(std::string_view name) const {
    return static_cast<TABSConstraintDef*>(FindByName(name));
  }

 protected:
  const char* ClassName() const override { return "TABSConstraintDefs"; }
};

}  // namespace viz
