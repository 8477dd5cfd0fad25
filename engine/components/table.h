// TABSTable: the dataset of one named table. Its active index (by IndexName, or the index whose
// fields IndexFieldNames lists) orders the records; without one they come in storage order.
//
//   TABSTable table;
//   table.SetDatabaseName("Lyrics");       // a TABSDatabase of that alias, or "MEMORY"
//   table.SetTableName("LYRIC");
//   table.SetIndexName("byFileName");
//   table.Open();
//   table.FieldByName("FileName").AsString() ...
#pragma once

#include <string>

#include "engine/components/dataset.h"
#include "framework/data/field_defs.h"

namespace viz {

class TABSTable : public TABSDataSet {
 public:
  explicit TABSTable(TABSComponentOwner* owner = nullptr);
  ~TABSTable() override;

  const std::string& TableName() const { return tableName_; }
  //! Only while closed.
  void SetTableName(const std::string& name);
  bool Exclusive() const { return exclusive_; }
  void SetExclusive(bool value);

  //! IndexName and IndexFieldNames share one text: setting one clears the other.
  std::string IndexName() const { return byFieldNames_ ? std::string() : indexText_; }
  void SetIndexName(const std::string& name);
  std::string IndexFieldNames() const { return byFieldNames_ ? indexText_ : std::string(); }
  void SetIndexFieldNames(const std::string& names);
  //! The index definitions of the table (read when it opens).
  TIndexDefs& IndexDefs() { return indexDefs_; }
  //! The numbers (FieldNo) of the active index's fields.
  const std::vector<int>& IndexFieldNumbers() const { return indexFields_; }
  //! Orders the table by an index on the fields (operation 30; stored or visible names, orders and
  //! cases as for MakeIndexOnFields); IndexName becomes that index. Used by the SQL engine.
  void OrderByFields(const std::vector<std::string>& fields, const std::vector<std::string>& orders,
                     const std::vector<std::string>& cases);
  //! Whether the table exists in its database (connecting when needed).
  bool Exists();

 protected:
  std::unique_ptr<TABSLocalCursor> CreateHandle(TABSDatabase& database) override;
  void AfterCursorOpen() override;

 private:
  // The index name the index text selects; empty for none.
  std::string SelectedIndexName() const;
  void ApplyIndex();
  void ReadIndexDefs();

  std::string tableName_;
  std::string indexText_;
  bool byFieldNames_ = false;
  bool exclusive_ = false;
  TIndexDefs indexDefs_;
  std::vector<int> indexFields_;
};

}  // namespace viz
