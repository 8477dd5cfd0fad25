// Table navigation and search: contradictions found before any page is read, record bitmaps and
// their staleness, distinct keys, ordinals, key search, access-path choice, the before-first and
// after-last rules and searches by record buffer.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/tables/search/table_search.h"
#include "engine/types/errors.h"
#include "tables/search/search_fixture.h"

namespace viz {
namespace {

using testing::MessageOf;
using testing::SearchTable;
using testing::TestCondition;
using Step = TABSNavigationRecord::Step;

// Ten rows: Id 0..9, X = Id mod 5, Name "n<Id>".
struct TenRows : SearchTable {
  TenRows() {
    for (int32_t id = 0; id < 10; ++id) addresses.push_back(AddRow(id, id % 5, "n" + std::to_string(id)));
    Commit();
  }
  void StandOn(int32_t id, int32_t session = 1) {
    Cursor(session).SetCurrentPosition({addresses[static_cast<size_t>(id)], false, false});
  }
  std::vector<TABSRecordAddress> addresses;
};

TEST(TableSearchTest, ContradictoryRangeFindsNothingWithoutReadingPages) {
  TenRows t;
  t.Order("byX");
  const auto start = t.Key(5), end = t.Key(3);
  t.Navigation().Range = {start.data(), 1, false, end.data(), 1, false};
  const int64_t gets = t.pages.Gets;
  EXPECT_TRUE(t.Steps(true).empty());
  EXPECT_EQ(t.table->CursorRecordCount(&t.Cursor()), 0);
  EXPECT_EQ(t.pages.Gets, gets);
}

TEST(TableSearchTest, FilterAskingForTwoValuesOfAnIndexedFieldReadsNothing) {
  TenRows t;
  const auto one = t.Key(1), two = t.Key(2);
  TestCondition filter(
      [&](const uint8_t* record, const uint8_t*) { return t.XOf(record) == 1 && t.XOf(record) == 2; });
  filter.Extract = [&](TABSScanSearchConditionArray& conditions) {
    for (const auto* key : {&one, &two}) {
      auto condition = TABSScanSearchCondition::ForIndex(t.IndexIdOf("byX"), soEqual, key->data(),
                                                         static_cast<int32_t>(key->size()), 1);
      condition->Redundant = true;
      conditions.Add(std::move(condition));
    }
  };
  t.Navigation().FilterExpression = &filter;
  const int64_t gets = t.pages.Gets;
  EXPECT_TRUE(t.Steps(true).empty());
  EXPECT_EQ(t.pages.Gets, gets);
  EXPECT_EQ(filter.Evaluations, 0);
}

TEST(TableSearchTest, FilteredCountFollowsDeletesUpdatesAndOtherCursors) {
  for (const char* order : {"", "byX"}) {
    SCOPED_TRACE(order);
    TenRows t;
    t.Order(order);
    TestCondition filter([&](const uint8_t* record, const uint8_t*) { return t.IdOf(record) % 3 == 0; });
    t.Navigation().FilterExpression = &filter;
    EXPECT_EQ(t.table->CursorRecordCount(&t.Cursor()), 4);  // 0, 3, 6, 9
    int32_t evaluations = filter.Evaluations;

    // A delete through the cursor clears the record's bit; storage numbering keeps the bitmap.
    t.Delete(t.addresses[3]);
    EXPECT_EQ(t.table->CursorRecordCount(&t.Cursor()), 3);
    if (std::string(order).empty()) {
      EXPECT_EQ(filter.Evaluations, evaluations);
    }
    evaluations = filter.Evaluations;

    // An update through the cursor that makes a record fail: rebuilt.
    auto record = t.Read(t.addresses[6]);
    t.SetInt(record, 0, 7);
    t.Update(t.addresses[6], record);
    EXPECT_EQ(t.table->CursorRecordCount(&t.Cursor()), 2);
    EXPECT_GT(filter.Evaluations, evaluations);
    evaluations = filter.Evaluations;
    EXPECT_EQ(t.table->CursorRecordCount(&t.Cursor()), 2);
    EXPECT_EQ(filter.Evaluations, evaluations);  // up to date: not evaluated again

    // A change through another cursor makes the bitmap stale as well.
    t.Commit();
    t.AddRow(12, 2, "n12", 2);
    t.Commit(2);
    EXPECT_EQ(t.table->CursorRecordCount(&t.Cursor()), 3);
    EXPECT_GT(filter.Evaluations, evaluations);
    EXPECT_EQ(t.Steps(true).size(), 3u);
  }
}

TEST(TableSearchTest, DistinctKeyCountShowsTheFirstRecordOfEachKey) {
  SearchTable t;
  const std::vector<std::pair<int32_t, std::string>> rows = {{1, "a"}, {2, "a"}, {1, "b"}, {1, "a"},
                                                             {3, "c"}, {2, "a"}, {2, "a"}};
  for (size_t i = 0; i < rows.size(); ++i) t.AddRow(static_cast<int32_t>(i), rows[i].first, rows[i].second);
  t.Order("byXName");
  t.Navigation().DistinctKeyCount = 2;
  const std::vector<int32_t> firsts = {0, 2, 1, 4};  // (1,a) (1,b) (2,a) (3,c), lowest address first
  EXPECT_EQ(t.Steps(true), firsts);
  EXPECT_EQ(t.table->CursorRecordCount(&t.Cursor()), 4);
  EXPECT_EQ(t.Steps(true), firsts);  // now through the thinned bitmap
  t.Navigation().DistinctKeyCount = 1;
  t.Navigation().Bitmap.Drop();
  EXPECT_EQ(t.Steps(true), (std::vector<int32_t>{0, 1, 4}));
  EXPECT_EQ(t.table->CursorRecordCount(&t.Cursor()), 3);
}

TEST(TableSearchTest, OrdinalsOfAFilteredCursorFollowItsOrder) {
  TenRows t;
  t.Order("byX");  // X: 0 0 1 1 2 2 3 3 4 4 for Ids 0 5 1 6 2 7 3 8 4 9
  TestCondition filter([&](const uint8_t* record, const uint8_t*) { return t.XOf(record) % 2 == 1; });
  t.Navigation().FilterExpression = &filter;
  t.table->GotoOrdinal(&t.Cursor(), 2);
  ASSERT_EQ(t.table->StepCursor(&t.Cursor(), Step::kCurrent), 0);
  EXPECT_EQ(t.CurrentId(), 6);
  EXPECT_EQ(t.table->Ordinal(&t.Cursor()), 2);
  t.table->GotoOrdinal(&t.Cursor(), 100);  // beyond the count: the last
  t.table->StepCursor(&t.Cursor(), Step::kCurrent);
  EXPECT_EQ(t.CurrentId(), 8);
  EXPECT_EQ(t.table->Ordinal(&t.Cursor()), 4);
  t.Cursor().SetCurrentPosition({{}, true, false});
  EXPECT_EQ(t.table->Ordinal(&t.Cursor()), -1);

  // Unrestricted: index ordinals and storage ordinals.
  t.Navigation().FilterExpression = nullptr;
  t.table->GotoOrdinal(&t.Cursor(), 3);
  t.table->StepCursor(&t.Cursor(), Step::kCurrent);
  EXPECT_EQ(t.CurrentId(), 1);
  EXPECT_EQ(t.table->Ordinal(&t.Cursor()), 3);
  t.Order("");
  t.table->GotoOrdinal(&t.Cursor(), 3);
  t.table->StepCursor(&t.Cursor(), Step::kCurrent);
  EXPECT_EQ(t.CurrentId(), 2);
}

TEST(TableSearchTest, FindKeyNeedsAnIndexAndKeepsThePositionWhenNothingMatches) {
  TenRows t;
  EXPECT_EQ(
      MessageOf([&] { t.table->FindKey(&t.Cursor(), soEqual); }),
      "No active index is set for Key search. Set Table.IndexName to the index on search fields. - Native "
      "error: 20258");
  t.Order("byX");
  const auto key = t.Key(4);
  t.Navigation().KeyBuffer = key.data();
  t.Navigation().KeyFieldCount = 1;
  ASSERT_TRUE(t.table->FindKey(&t.Cursor(), soEqual));
  t.table->StepCursor(&t.Cursor(), Step::kCurrent);
  EXPECT_EQ(t.CurrentId(), 4);                             // the first of Ids 4 and 9
  EXPECT_FALSE(t.table->FindKey(&t.Cursor(), soGreater));  // nothing above 4
  EXPECT_EQ(t.Cursor().CurrentPosition().Address, t.addresses[4]);
  const auto three = t.Key(3);
  t.Navigation().KeyBuffer = three.data();
  ASSERT_TRUE(t.table->FindKey(&t.Cursor(), soGreater));
  EXPECT_EQ(t.Cursor().CurrentPosition().Address, t.addresses[4]);
  ASSERT_TRUE(t.table->FindKey(&t.Cursor(), soLessOrEqual));
  EXPECT_EQ(t.Cursor().CurrentPosition().Address, t.addresses[0]);
}

TEST(TableSearchTest, AnEqualConditionOnAUniqueIndexIsChosenOverTheOrderIndex) {
  TenRows t;
  t.Order("byX");
  const auto key = t.Key(-1, "", 7);
  TABSSearchRequest request;
  request.Extra = TABSScanSearchCondition::ForIndex(t.IndexIdOf("byId"), soEqual, key.data(),
                                                    static_cast<int32_t>(key.size()), 1);
  TABSTableSearch search(*t.table, t.Cursor());
  ASSERT_TRUE(search.Prepare(request));
  const TABSAccessPath path = search.ChooseAccessPath(request);
  EXPECT_EQ(path.IndexID, t.IndexIdOf("byId"));
  TABSRecordAddress found;
  TABSSearchRequest again;
  again.Extra = TABSScanSearchCondition::ForIndex(t.IndexIdOf("byId"), soEqual, key.data(),
                                                  static_cast<int32_t>(key.size()), 1);
  ASSERT_TRUE(t.table->Search(&t.Cursor(), again, found));
  EXPECT_EQ(found, t.addresses[7]);
}

TEST(TableSearchTest, NextAfterTheLastAndPriorBeforeTheFirstFindNothingInEveryOrder) {
  for (const char* order : {"", "byX"}) {
    for (bool restricted : {false, true}) {
      SCOPED_TRACE(::testing::Message() << order << (restricted ? " restricted" : ""));
      TenRows t;
      t.Order(order);
      TestCondition filter([](const uint8_t*, const uint8_t*) { return true; });
      if (restricted) t.Navigation().FilterExpression = &filter;
      TABSCursor& cursor = t.Cursor();
      const auto forward = t.Steps(true);
      ASSERT_EQ(forward.size(), 10u);
      EXPECT_TRUE(cursor.CurrentPosition().AfterLast);
      EXPECT_EQ(t.table->StepCursor(&cursor, Step::kNext), TABSNavigationRecord::kAfterLast);
      ASSERT_EQ(t.table->StepCursor(&cursor, Step::kPrior), TABSNavigationRecord::kFound);
      EXPECT_EQ(t.CurrentId(), forward.back());
      auto backward = t.Steps(false);
      std::reverse(backward.begin(), backward.end());
      EXPECT_EQ(backward, forward);
      EXPECT_EQ(t.table->StepCursor(&cursor, Step::kPrior), TABSNavigationRecord::kBeforeFirst);
      ASSERT_EQ(t.table->StepCursor(&cursor, Step::kNext), TABSNavigationRecord::kFound);
      EXPECT_EQ(t.CurrentId(), forward.front());
    }
  }
  SearchTable empty;
  for (int32_t direction : {0, 1, 2}) EXPECT_EQ(empty.table->StepCursor(&empty.Cursor(), direction), 2);
}

TEST(TableSearchTest, CurrentRecordThatIsGoneOrFailsIsNotFoundAndStepsGoOnFromItsPlace) {
  TenRows t;
  t.Order("byX");
  t.StandOn(5);  // X = 0, after Id 0 in index order
  ASSERT_EQ(t.table->StepCursor(&t.Cursor(), Step::kCurrent), TABSNavigationRecord::kFound);
  t.Delete(t.addresses[5], 2);
  t.Commit(2);
  EXPECT_EQ(t.table->StepCursor(&t.Cursor(), Step::kCurrent), TABSNavigationRecord::kNotFound);
  ASSERT_EQ(t.table->StepCursor(&t.Cursor(), Step::kNext), TABSNavigationRecord::kFound);
  EXPECT_EQ(t.CurrentId(), 1);
  TestCondition filter([&](const uint8_t* record, const uint8_t*) { return t.IdOf(record) != 1; });
  t.Navigation().FilterExpression = &filter;
  EXPECT_EQ(t.table->StepCursor(&t.Cursor(), Step::kCurrent), TABSNavigationRecord::kNotFound);
  ASSERT_EQ(t.table->StepCursor(&t.Cursor(), Step::kNext), TABSNavigationRecord::kFound);
  EXPECT_EQ(t.CurrentId(), 6);
}

TEST(TableSearchTest, SearchWithRecordUsesTheSearchExpressionWithTheBuffersValues) {
  TenRows t;
  EXPECT_EQ(MessageOf([&] { t.table->SearchWithRecord(&t.Cursor(), nullptr); }),
            "Nil pointer occured - Native error: 10272");
  const auto buffer = t.Key(-1, "n7");
  EXPECT_EQ(MessageOf([&] { t.table->SearchWithRecord(&t.Cursor(), buffer.data()); }),
            "Nil pointer occured - Native error: 10273");
  const int32_t nameOffset = t.Fields()[2].BufferOffset;
  TestCondition locate([&](const uint8_t* record, const uint8_t* source) {
    return std::strcmp(reinterpret_cast<const char*>(record + nameOffset),
                       reinterpret_cast<const char*>(source + nameOffset)) == 0;
  });
  t.Navigation().SearchExpression = &locate;
  t.StandOn(2);
  ASSERT_TRUE(t.table->SearchWithRecord(&t.Cursor(), buffer.data()));
  EXPECT_EQ(t.CurrentId(), 7);
  const auto missing = t.Key(-1, "n99");
  EXPECT_FALSE(t.table->SearchWithRecord(&t.Cursor(), missing.data()));
  EXPECT_EQ(t.Cursor().CurrentPosition().Address, t.addresses[7]);
}

TEST(TableSearchTest, TheAccessPathFollowsTheEstimates) {
  SearchTable t;
  for (int32_t id = 0; id < 400; ++id) t.AddRow(id, id, "n");
  t.Commit();
  TestCondition filter([](const uint8_t*, const uint8_t*) { return true; });  // needs every record
  t.Navigation().FilterExpression = &filter;
  auto choose = [&](TABSScanOperator op, int32_t x) {
    const auto key = t.Key(x);
    TABSSearchRequest request;
    request.Extra = TABSScanSearchCondition::ForIndex(t.IndexIdOf("byX"), op, key.data(),
                                                      static_cast<int32_t>(key.size()), 1);
    TABSTableSearch search(*t.table, t.Cursor());
    EXPECT_TRUE(search.Prepare(request));
    return search.ChooseAccessPath(request).IndexID;
  };
  EXPECT_EQ(choose(soEqual, 3), t.IndexIdOf("byX"));  // a few keys: the index
  EXPECT_EQ(choose(soGreaterOrEqual, 0), -1);         // every key: a full scan
  EXPECT_EQ(choose(soLess, 20), t.IndexIdOf("byX"));
}

}  // namespace
}  // namespace viz
