// Test support for table navigation: a table of B-tree indexes with a cursor, and a test-only
// condition standing in for compiled expressions.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/tables/search/VIZTypes.h"
#include "tables/btree/btree_fixture.h"

namespace viz::testing {

//! A condition given as a function of the record (and of a search buffer), counting its evaluations;
//! it can also offer index conditions as the expression layer does.
class TestCondition : public TABSSearchExpression {
 public:
  explicit TestCondition(std::function<bool(const uint8_t* record, const uint8_t* source)> test)
      : test_(std::move(test)) {}
  bool IsTrue(TABSCursor&, const uint8_t* record, const uint8_t* source) override {
    ++Evaluations;
    return test_(record, source);
  }
  void ExtractIndexConditions(TABSCursor&, const TABSIndexDefs&,
                              TABSScanSearchConditionArray& conditions) override {
    if (Extract) Extract(conditions);
  }

  int32_t Evaluations = 0;
  std::function<void(TABSScanSearchConditionArray&)> Extract;

 private:
  std::function<bool(const uint8_t*, const uint8_t*)> test_;
};

//! Table "T": 0 Id INTEGER, 1 X INTEGER, 2 Name STRING(20); indexes byId (unique), byX, byXName.
class SearchTable : public BTreeTable {
 public:
  explicit SearchTable(uint16_t pageSize = 1024);

  //! Inserts a row; a negative x is NULL.
  TABSRecordAddress AddRow(int32_t id, int32_t x, const std::string& name, int32_t session = 1);
  int32_t IdOf(const uint8_t* record) const;
  int32_t XOf(const uint8_t* record) const;

  //! Sets the cursor's order: an index name, or "" for storage order.
  void Order(const std::string& index, int32_t session = 1);
  int32_t IndexIdOf(const std::string& index) const;
  //! The Ids the cursor reaches stepping from before the first record (or back from after the last).
  std::vector<int32_t> Steps(bool forward, int32_t session = 1);
  //! The Id of the cursor's record buffer.
  int32_t CurrentId(int32_t session = 1);
  //! A record buffer with the given key values for conditions and ranges (negative = NULL).
  std::vector<uint8_t> Key(int32_t x, const std::string& name = "", int32_t id = -1) const;

  TABSCursorNavigation& Navigation(int32_t session = 1) { return Cursor(session).Navigation(); }
};

}  // namespace viz::testing
