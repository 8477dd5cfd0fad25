// Field and index definitions at component level: everything the engine can store about a column or
// an index, in a form that table components and DDL statements fill in, and the conversions between
// the three kinds of definitions a table dataset carries:
//
//   framework  TFieldDefs / TIndexDefs          what data-aware tools see (framework/data)
//   component  TABSAdvFieldDefs / TABSAdvIndexDefs   (here)
//   engine     TABSFieldDefs / TABSIndexDefs / TABSConstraintDefs   what the table data stores
//
// The conversions decide what a created table really gets: engine field sizes and BLOB block sizes,
// counters, the NOT NULL, CHECK, primary-key and unique constraints, index column sizes. A conversion
// that raises leaves its target lists partly filled; callers create nothing then.
#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/tables/constraint_defs.h"
#include "engine/tables/field_defs.h"
#include "engine/tables/index_defs.h"
#include "engine/types/VIZVariant.h"
#include "framework/data/field_defs.h"

namespace viz {

//! One column as components describe it.
class TABSAdvFieldDef {
 public:
  static constexpr int32_t kDefaultBlobBlockSize = TABSFieldDef::kDefaultBlobBlockSize;

  std::string Name;
  //! The stored field's ObjectID; -1 for a field that has none yet. Matches fields when a table is
  //! restructured.
  int32_t FieldID = -1;
  //! A data type of the engine (1 to 36); 0 until set.
  TABSDataType DataType = dt::kNone;
  //! NOT NULL.
  bool Required = false;
  //! Declared size: characters of text, bytes of BYTES and VARBYTES.
  int32_t Size = 0;
  //! Value of the field in a new record; NULL for none.
  TABSVariant DefaultValue;
  //! Bounds enforced on write; NULL for none.
  TABSVariant MinValue;
  TABSVariant MaxValue;
  //! The automatic counter: its step (0 counts as 1), first value, the value taken after the maximum
  //! when cycling, its largest value, and whether it cycles (else passing the maximum raises).
  int64_t Increment = 1;
  int64_t InitialValue = 0;
  int64_t CycleStart = 0;
  int64_t MaxCounterValue = std::numeric_limits<int64_t>::max();
  bool Cycle = false;
  //! 0 none; 1 zlib, 2 bzip2, 3 PPM; the level (1 to 9) when an algorithm is set.
  uint8_t BlobCompressionAlgorithm = 0;
  uint8_t BlobCompressionMode = 0;
  //! Uncompressed bytes per block of a BLOB value; 0 or less means the default.
  int32_t BlobBlockSize = kDefaultBlobBlockSize;

  //! A deep copy of every member, values included.
  void Assign(const TABSAdvFieldDef& source);
};

//! Columns in order.
class TABSAdvFieldDefs {
 public:
  TABSAdvFieldDefs() = default;
  TABSAdvFieldDefs(const TABSAdvFieldDefs&) = delete;
  TABSAdvFieldDefs& operator=(const TABSAdvFieldDefs&) = delete;

  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  TABSAdvFieldDef& operator[](int32_t index) const { return *items_.at(static_cast<size_t>(index)); }
  //! Appends a definition with the defaults.
  TABSAdvFieldDef& Add();
  //! The definition of that name, ignoring case; null when absent.
  TABSAdvFieldDef* Find(std::string_view name) const;
  //! Raises "Field '%s' not found" (30349) when absent.
  void Delete(std::string_view name);
  void Clear() { items_.clear(); }
  //! Replaces the list by deep copies of `source`'s definitions.
  void Assign(const TABSAdvFieldDefs& source);

 private:
  std::vector<std::unique_ptr<TABSAdvFieldDef>> items_;
};

//! One index as components describe it. Field lists are names separated by ";" (a "," counts as ";").
class TABSAdvIndexDef {
 public:
  std::string Name;
  std::string Fields;
  //! Fields sorted descending, and text fields compared ignoring case.
  std::string DescFields;
  std::string CaseInsFields;
  //! The framework's option bits: 1 primary, 2 unique, 4 descending (every field), 8 case-insensitive
  //! (every field).
  TIndexOptions Options = 0;
  //! Decimal numbers separated by ";", one per field: for a text field the characters the index
  //! keeps of it. A missing or empty number means 20.
  std::string ColumnSizes;
  //! The index exists only for the running process.
  bool Temporary = false;

  void Assign(const TABSAdvIndexDef& source) { *this = source; }
};

class TABSAdvIndexDefs {
 public:
  TABSAdvIndexDefs() = default;
  TABSAdvIndexDefs(const TABSAdvIndexDefs&) = delete;
  TABSAdvIndexDefs& operator=(const TABSAdvIndexDefs&) = delete;

  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  TABSAdvIndexDef& operator[](int32_t index) const { return *items_.at(static_cast<size_t>(index)); }
  TABSAdvIndexDef& Add();
  void Clear() { items_.clear(); }
  //! Replaces the list by copies of `source`'s definitions; with `skipTemporary` an index marked
  //! temporary or whose upper-cased name contains "TEMPORARY" is left out.
  void Assign(const TABSAdvIndexDefs& source, bool skipTemporary = false);

 private:
  std::vector<std::unique_ptr<TABSAdvIndexDef>> items_;
};

//! The column size an index keeps of a field when none is given.
inline constexpr int32_t kDefaultIndexColumnSize = 20;

//! The names of a field list: every "," read as ";", then split by the framework's rule.
std::vector<std::string> SplitFieldList(const std::string& list);

// ---- Fields

//! Framework → component: name, data type of the framework type, size, required. Raises 30289
//! "Unknown DataType" for a framework type without a data type.
void FieldDefsToAdvFieldDefs(const TFieldDefs& source, TABSAdvFieldDefs& target);
//! Component → framework: name, framework type of the data type, size, required.
void AdvFieldDefsToFieldDefs(const TABSAdvFieldDefs& source, TFieldDefs& target);
//! Framework → engine, for temporary and in-memory tables made from framework definitions alone:
//! name (at most 255 characters), data type, size.
void FieldDefsToEngineFieldDefs(const TFieldDefs& source, TABSFieldDefs& target);
//! Component → engine, for creating a table: the fields with their BLOB and counter settings and
//! defaults; unless `temporaryTable`, a NOT NULL constraint per required field and a CHECK constraint
//! per field with bounds; and a primary-key or unique constraint per such index of `indexes`. Both
//! targets are cleared first.
void AdvFieldDefsToEngineDefs(const TABSAdvFieldDefs& source, const TABSIndexDefs& indexes,
                              bool temporaryTable, TABSFieldDefs& fields, TABSConstraintDefs& constraints);
//! Engine → component, for a table opened or read: the fields, then the constraints (required
//! fields, bounds). Raises "Field #%d not found" (30032 NOT NULL, 30031 CHECK) for a constraint on a
//! field that does not exist and "Not implemented yet" (30039) for a constraint of another kind.
void EngineDefsToAdvFieldDefs(const TABSFieldDefs& fields, const TABSConstraintDefs& constraints,
                              TABSAdvFieldDefs& target);
//! Engine → framework: name, framework type, size of text and byte fields (never of GUID fields),
//! and required for NOT NULL fields other than automatically incremented ones.
void EngineDefsToFieldDefs(const TABSFieldDefs& fields, const TABSConstraintDefs& constraints,
                           TFieldDefs& target);

// ---- Indexes

//! Component → engine. Raises "Invalid index name '%s'" (20048) for an empty name, "Cannot find
//! index field '%s'" for an empty field list (20049) or a name that is not a field of `fields`
//! (20050); a column size that is not a number raises the framework's conversion error.
void AdvIndexDefToEngineIndexDef(const TABSAdvIndexDef& source, const TFieldDefs& fields,
                                 TABSIndexDef& target);
//! Engine → component: name, fields and the descending and case-insensitive ones, column sizes,
//! options 2 for unique plus 1 for primary, temporary.
void EngineIndexDefToAdvIndexDef(const TABSIndexDef& source, TABSAdvIndexDef& target);
//! Before a table is created: every column whose field is not of a text, wide text, GUID, BYTES or
//! VARBYTES type, or whose size is not positive, gets size 20, in the engine index and in the
//! component definition of the same name.
void NormaliseIndexColumnSizes(const TABSFieldDefs& fields, TABSIndexDefs& indexes,
                               TABSAdvIndexDefs& components);
//! Component ↔ framework: name, fields, descending and case-insensitive fields, options. The targets
//! are cleared first.
void AdvIndexDefsToIndexDefs(const TABSAdvIndexDefs& source, TIndexDefs& target);
void IndexDefsToAdvIndexDefs(const TIndexDefs& source, TABSAdvIndexDefs& target);

}  // namespace viz
