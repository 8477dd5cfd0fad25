// B-tree record indexes: key layout and order, splits and merges, navigation, path numbers,
// uniqueness, refused key sizes and session isolation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "engine/types/errors.h"
#include "tables/btree/btree_fixture.h"

namespace viz {
namespace {

using testing::BTreeTable;
using testing::MessageOf;
using testing::TestColumn;

std::vector<TABSRecordAddress> Walk(TABSBTreeRecordIndex& index, bool forward, int32_t session = 1) {
  TABSNavigationRecord navigation;
  navigation.Direction = forward ? TABSNavigationRecord::kNext : TABSNavigationRecord::kPrior;
  (forward ? navigation.FromBeginning : navigation.FromEnd) = true;
  std::vector<TABSRecordAddress> order;
  for (;;) {
    index.GetRecord(session, navigation, nullptr);
    if (navigation.Outcome != TABSNavigationRecord::kFound) break;
    order.push_back(navigation.Address);
  }
  return order;
}

TABSBTreePage RootOf(TABSBTreeRecordIndex& index, int32_t session = 1) {
  TABSBTreePage page(index.Tree().Pages(), index.KeyRef());
  page.Load(session, index.Tree().RootPage());
  return page;
}

// A table with an INTEGER field "N" indexed by "byN" (page size 1024: 91 entries per leaf).
struct IntTable : BTreeTable {
  explicit IntTable(bool unique = false) : BTreeTable(1024, 0) {
    AddField("N", dt::kInteger);
    AddField("Other", dt::kInteger);
    AddIndexDef("byN", {{"N"}}, unique);
    Create();
  }
  TABSRecordAddress Add(int32_t n) {
    auto record = NewRecord();
    SetInt(record, 0, n);
    return Insert(record);
  }
};

TEST(BTreeKeyTest, PartsFollowKeyLengthsAndOnlyTextIsTruncated) {
  BTreeTable t;
  t.AddField("I", dt::kInteger);
  t.AddField("S", dt::kString, 100);
  t.AddField("Whole", dt::kString, 10);
  t.AddField("W", dt::kWideString, 30);
  t.AddField("Small", dt::kSmallInt);
  t.AddIndexDef("all", {{"I", false, false, 1},
                        {"S", false, false, 20},
                        {"Whole", false, false, 0},
                        {"W", false, false, 21},
                        {"Small", false, false, 1}});
  t.Create();
  const TABSRecordKeyRef& keys = t.Index().KeyRef();
  struct Expected {
    int32_t part, spare;
  } expected[] = {{5, 0}, {23, 2}, {12, 0}, {23, 2}, {3, 0}};
  ASSERT_EQ(keys.Columns.size(), 5u);
  int32_t offset = 0;
  for (size_t i = 0; i < 5; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(keys.Columns[i].PartSize, expected[i].part);
    EXPECT_EQ(keys.Columns[i].Spare, expected[i].spare);
    EXPECT_EQ(keys.Columns[i].KeyOffset, offset);
    offset += expected[i].part;
  }
  EXPECT_EQ(keys.KeySize, offset);
  EXPECT_EQ(keys.FullKeySize, 5 + 102 + 12 + 63 + 3);

  auto record = t.NewRecord();
  t.SetInt(record, 0, 0x01020304);
  t.SetString(record, 1, std::string(30, 'x'));
  std::vector<uint8_t> key(static_cast<size_t>(keys.KeySize), 0xEE);
  keys.BuildKey(record.data(), key.data());
  EXPECT_EQ(key[0], 0);  // not NULL
  EXPECT_EQ(key[1], 0x04);
  EXPECT_EQ(key[5], 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&key[6]), 20), std::string(20, 'x'));
  EXPECT_EQ(key[26], 0);  // spare bytes stay zero
  EXPECT_EQ(key[27], 0);
  EXPECT_EQ(key[28], 1);  // "Whole" is NULL: flag and zero bytes
  EXPECT_TRUE(std::all_of(key.begin() + 29, key.begin() + 40, [](uint8_t b) { return b == 0; }));
}

TEST(BTreeIndexTest, RootLeafSplitsAndCollapsesBackKeepingItsPageNumber) {
  IntTable t;
  TABSBTreeRecordIndex& index = t.Index();
  const int32_t root = index.Tree().RootPage();
  const int32_t capacity = RootOf(index).Capacity();
  std::vector<TABSRecordAddress> addresses;
  for (int32_t n = 0; n < capacity; ++n) addresses.push_back(t.Add(n));
  EXPECT_TRUE(RootOf(index).IsLeaf());
  addresses.push_back(t.Add(capacity));
  {
    TABSBTreePage page = RootOf(index);
    EXPECT_EQ(page.PageNo(), root);
    EXPECT_FALSE(page.IsLeaf());
    EXPECT_TRUE(page.IsRoot());
    EXPECT_EQ(page.Count(), 2);
  }
  EXPECT_EQ(t.CheckAll(), "");
  EXPECT_EQ(index.Definition().RootPage, root);
  // Deleting from the right leaf until both fit in one page merges them; the root collapses.
  while (!RootOf(index).IsLeaf()) {
    t.Delete(addresses.back());
    addresses.pop_back();
    ASSERT_EQ(t.CheckAll(), "");
  }
  EXPECT_EQ(index.Tree().RootPage(), root);
  EXPECT_TRUE(RootOf(index).IsRoot());
  EXPECT_EQ(Walk(index, true), addresses);
}

TEST(BTreeIndexTest, EqualKeysAreOrderedByAddressAndDeletedExactly) {
  IntTable t;
  std::vector<TABSRecordAddress> sevens;
  for (int32_t i = 0; i < 300; ++i) {
    const TABSRecordAddress address = t.Add(i % 3 == 0 ? 7 : 1000 + i);
    if (i % 3 == 0) sevens.push_back(address);
  }
  ASSERT_EQ(t.CheckAll(), "");
  auto order = Walk(t.Index(), true);
  auto first = std::find(order.begin(), order.end(), sevens.front());
  ASSERT_NE(first, order.end());
  EXPECT_TRUE(std::equal(sevens.begin(), sevens.end(), first));  // ascending addresses
  // Remove every second seven: exactly those entries go.
  for (size_t i = 0; i < sevens.size(); i += 2) t.Delete(sevens[i]);
  ASSERT_EQ(t.CheckAll(), "");
  order = Walk(t.Index(), true);
  for (size_t i = 0; i < sevens.size(); ++i)
    EXPECT_EQ(std::count(order.begin(), order.end(), sevens[i]), i % 2 == 0 ? 0 : 1) << i;
  auto record = t.Read(sevens[1]);
  EXPECT_FALSE(t.Index().DeleteKey(1, record.data(), sevens[0]));  // that entry is gone already
}

TEST(BTreeIndexTest, DescendingColumnsPutNullLastAndAscendingFirst) {
  for (bool descending : {false, true}) {
    SCOPED_TRACE(descending);
    BTreeTable t;
    t.AddField("N", dt::kInteger);
    t.AddIndexDef("byN", {{"N", descending}});
    t.Create();
    std::vector<std::pair<int32_t, TABSRecordAddress>> rows;  // -1 stands for NULL
    for (int32_t n : {5, -1, 2, 9, -1, 7}) {
      auto record = t.NewRecord();
      if (n >= 0) t.SetInt(record, 0, n);
      rows.push_back({n, t.Insert(record)});
    }
    auto order = Walk(t.Index(), true);
    std::vector<int32_t> values;
    for (const auto& address : order)
      for (const auto& row : rows)
        if (row.second == address) values.push_back(row.first);
    const std::vector<int32_t> expected =
        descending ? std::vector<int32_t>{9, 7, 5, 2, -1, -1} : std::vector<int32_t>{-1, -1, 2, 5, 7, 9};
    EXPECT_EQ(values, expected);
    auto backward = Walk(t.Index(), false);
    std::reverse(backward.begin(), backward.end());
    EXPECT_EQ(backward, order);
  }
}

TEST(BTreeIndexTest, KeyLength20OnString100OrdersAndFindsValuesEqualInTheirPrefix) {
  // Small pages, so that values sharing their first 20 characters sit on both sides of leaf and node
  // boundaries; descents through nodes must read the records to choose the child.
  BTreeTable t(512, 0);
  t.AddField("S", dt::kString, 100);
  t.AddIndexDef("byS", {{"S", false, false, 20}});
  t.Create();
  const std::string prefix = "abcdefghijklmnopqrst";  // exactly the key length
  std::vector<std::pair<std::string, TABSRecordAddress>> rows;
  for (int32_t i = 0; i < 200; ++i) {
    // Inserted in a scrambled order; a few values end exactly at the prefix or inside it.
    const int32_t k = (i * 73) % 200;
    std::string value = k == 0 ? prefix : k == 1 ? prefix.substr(0, 7) : prefix + std::to_string(1000 + k);
    auto record = t.NewRecord();
    t.SetString(record, 0, value);
    rows.push_back({value, t.Insert(record)});
  }
  ASSERT_EQ(t.CheckAll(), "");
  std::sort(rows.begin(), rows.end());
  std::vector<TABSRecordAddress> expected;
  for (const auto& row : rows) expected.push_back(row.second);
  EXPECT_EQ(Walk(t.Index(), true), expected);
  TABSBTreeRecordIndex& index = t.Index();
  EXPECT_GE(RootOf(index).IsLeaf(), false);
  for (const auto& row : rows) {
    TABSKeyPath path;
    ASSERT_TRUE(index.FindRecordPath(1, row.second, path, nullptr)) << row.first;
  }
  for (size_t i = 0; i < rows.size(); i += 3) t.Delete(rows[i].second);
  EXPECT_EQ(t.CheckAll(), "");
}

TEST(BTreeIndexTest, NextCrossesLeavesAndFindsNothingAfterTheLast) {
  IntTable t;
  std::vector<TABSRecordAddress> addresses;
  for (int32_t n = 0; n < 250; ++n) addresses.push_back(t.Add(n));
  TABSBTreeRecordIndex& index = t.Index();
  // The last entry of the first leaf, then one step.
  TABSKeyPath path;
  ASSERT_TRUE(index.Tree().First(1, path));
  const int32_t firstLeafCount = path.Leaf().Count;
  TABSNavigationRecord navigation;
  navigation.Direction = TABSNavigationRecord::kNext;
  navigation.Address = addresses[static_cast<size_t>(firstLeafCount - 1)];
  index.GetRecord(1, navigation, nullptr);
  ASSERT_EQ(navigation.Outcome, TABSNavigationRecord::kFound);
  EXPECT_EQ(navigation.Address, addresses[static_cast<size_t>(firstLeafCount)]);
  navigation.Address = addresses.back();
  index.GetRecord(1, navigation, nullptr);
  EXPECT_EQ(navigation.Outcome, TABSNavigationRecord::kAfterLast);
  EXPECT_TRUE(navigation.FromEnd);
  index.GetRecord(1, navigation, nullptr);  // and again: still nothing, never the last record again
  EXPECT_EQ(navigation.Outcome, TABSNavigationRecord::kAfterLast);
  navigation.Direction = TABSNavigationRecord::kPrior;
  index.GetRecord(1, navigation, nullptr);
  ASSERT_EQ(navigation.Outcome, TABSNavigationRecord::kFound);
  EXPECT_EQ(navigation.Address, addresses.back());
  navigation.Direction = TABSNavigationRecord::kCurrent;
  EXPECT_EQ(MessageOf([&] { index.GetRecord(1, navigation, nullptr); }),
            "Invalid get record mode for index: grmCurrent - Native error: 20053");
}

TEST(BTreeIndexTest, PathNumbersRiseInIndexOrderAndInvertToTheirRecords) {
  IntTable t;
  for (int32_t n = 0; n < 150; ++n) t.Add(n);
  TABSBTreeRecordIndex& index = t.Index();
  TABSKeyPath path;
  ASSERT_TRUE(index.Tree().First(1, path));
  ASSERT_EQ(path.LevelCount, 2);
  const uint64_t fanOut = static_cast<uint64_t>(index.FanOut());
  EXPECT_EQ(fanOut, 1024u / (5 + 4));
  EXPECT_EQ(index.PathNumber(path), 1 * (fanOut + 1) + 1);
  uint64_t previous = 0;
  do {
    const uint64_t number = index.PathNumber(path);
    EXPECT_GT(number, previous);
    previous = number;
    TABSKeyPath back = index.PathOfNumber(number);
    TABSRecordAddress address;
    ASSERT_TRUE(index.AddressAtPath(1, back, address));
    EXPECT_EQ(address, index.AddressAt(1, path));
  } while (index.Tree().Next(1, path));
}

TEST(BTreeIndexTest, RefusesKeysThatLeaveRoomForFewerThanFourEntries) {
  BTreeTable t(1024, 0);
  t.AddField("Wide", dt::kString, 300);
  t.AddField("Narrow", dt::kString, 200);
  t.Create();
  EXPECT_EQ(
      MessageOf([&] { t.AddIndex("byWide", {{"Wide"}}); }),
      "Cannot create index 'byWide'. Key size = 302 bytes, the largest key for this page size is 245 bytes "
      "- Native error: 20340");
  EXPECT_EQ(t.table->IndexManager()->IndexDefs().Count(), 0);
  t.AddIndex("byNarrow", {{"Narrow"}});
  t.AddIndex("byWidePrefix", {{"Wide", false, false, 100}});
  EXPECT_EQ(t.table->IndexManager()->IndexDefs().Count(), 2);
}

TEST(BTreeIndexTest, UniqueIndexTreatsAllNullKeysAsDuplicates) {
  IntTable t(true);
  TABSBTreeRecordIndex& index = t.Index();
  auto nullRecord = t.NewRecord();
  EXPECT_TRUE(index.KeyIsFree(1, nullRecord.data()));
  t.Insert(nullRecord);
  EXPECT_FALSE(index.KeyIsFree(1, nullRecord.data()));
  auto five = t.NewRecord();
  t.SetInt(five, 0, 5);
  EXPECT_TRUE(index.KeyIsFree(1, five.data()));
  const TABSRecordAddress address = t.Insert(five);
  EXPECT_FALSE(index.KeyIsFree(1, five.data()));
  auto changed = five;
  t.SetInt(changed, 1, 99);  // a column outside the key
  EXPECT_TRUE(index.KeyIsFreeOnUpdate(1, five.data(), changed.data()));
  EXPECT_FALSE(index.KeyIsFreeOnUpdate(1, five.data(), nullRecord.data()));
  t.SetInt(changed, 0, 6);
  EXPECT_TRUE(index.KeyIsFreeOnUpdate(1, five.data(), changed.data()));
  t.Update(address, changed);
  EXPECT_TRUE(index.KeyIsFree(1, five.data()));
}

TEST(BTreeIndexTest, SessionChangesStayPrivateUntilCommitAndRollbackRestoresTheTree) {
  IntTable t;
  for (int32_t n = 0; n < 200; ++n) t.Add(n * 2);
  t.Commit();
  TABSBTreeRecordIndex& index = t.Index();
  const auto committed = Walk(index, true, 2);
  const std::map<int32_t, std::vector<uint8_t>> imagesBefore = t.pages.Stored;

  // Session 1 inserts enough to split pages; session 2 still sees the committed tree.
  std::vector<TABSRecordAddress> added;
  for (int32_t n = 0; n < 150; ++n) added.push_back(t.Add(n * 2 + 1));
  EXPECT_EQ(Walk(index, true, 2), committed);
  EXPECT_EQ(t.CheckAll(2), "");
  EXPECT_EQ(Walk(index, true, 1).size(), committed.size() + 150);
  t.Rollback();
  EXPECT_EQ(t.pages.Stored, imagesBefore);
  EXPECT_EQ(Walk(index, true, 1), committed);
  EXPECT_EQ(t.CheckAll(1), "");

  // The records themselves are not part of the page manager; put them back for the next round.
  for (const auto& address : added) t.table->RecordManager()->Delete(1, address);
  added.clear();
  for (int32_t n = 0; n < 150; ++n) added.push_back(t.Add(n * 2 + 1));
  EXPECT_EQ(Walk(index, true, 2), committed);
  t.Commit();
  EXPECT_EQ(Walk(index, true, 2).size(), committed.size() + 150);
  EXPECT_EQ(t.CheckAll(2), "");
}

TEST(BTreeIndexTest, MergingIntoTheNextLeafHandsItTheMergedLeafsSeparator) {
  // Descending keys 1830, 1820, ... 0 split the first leaf evenly each time: four leaves of 46
  // entries (91 fit). Ascending keys would leave full leaves behind.
  IntTable t;
  std::map<int32_t, TABSRecordAddress> rows;
  for (int32_t i = 183; i >= 0; --i) rows[10 * i] = t.Add(10 * i);
  TABSBTreeRecordIndex& index = t.Index();
  TABSKeyPath path;
  ASSERT_TRUE(index.Tree().First(1, path));
  ASSERT_EQ(path.Leaf().Count, 46);
  ASSERT_EQ(index.Check(1).LeafPages, 4);
  // Fill the first leaf to the brim, so that the second can only merge into the third.
  for (int32_t i = 0; i < 45; ++i) rows[10 * i + 1] = t.Add(10 * i + 1);
  ASSERT_TRUE(index.Tree().First(1, path));
  {
    TABSBTreePage leaf(index.Tree().Pages(), index.KeyRef());
    leaf.Load(1, path.Leaf().PageNo);
    ASSERT_EQ(leaf.Count(), leaf.Capacity());
  }
  const int32_t pagesBefore = index.Check(1).LeafPages;
  t.Delete(rows[910]);  // the second leaf's last key: 45 entries left, under half
  rows.erase(910);
  EXPECT_EQ(index.Check(1).LeafPages, pagesBefore - 1);
  ASSERT_EQ(t.CheckAll(), "");
  for (const auto& [key, address] : rows) {
    TABSKeyPath found;
    ASSERT_TRUE(index.FindRecordPath(1, address, found, nullptr)) << key;
  }
  for (const auto& [key, address] : rows) t.Delete(address);
  EXPECT_EQ(t.CheckAll(), "");
  EXPECT_TRUE(RootOf(index).IsLeaf());
  EXPECT_EQ(RootOf(index).Count(), 0);
}

TEST(BTreeIndexTest, KeyPathsCompareAcrossLeavesFromTheRootDown) {
  IntTable t;
  for (int32_t n = 0; n < 300; ++n) t.Add(n);
  TABSBTree& tree = t.Index().Tree();
  TABSKeyPath first, last, second;
  ASSERT_TRUE(tree.First(1, first));
  ASSERT_TRUE(tree.Last(1, last));
  ASSERT_NE(first.Leaf().PageNo, last.Leaf().PageNo);
  EXPECT_EQ(CompareKeyPaths(first, last), -1);
  EXPECT_EQ(CompareKeyPaths(last, first), 1);
  second = first;
  ASSERT_TRUE(tree.Next(1, second));
  EXPECT_EQ(CompareKeyPaths(first, second), -1);
  EXPECT_EQ(CompareKeyPaths(first, first), 0);
  TABSKeyPath shallow = first;
  shallow.LevelCount = 1;
  EXPECT_EQ(MessageOf([&] { CompareKeyPaths(first, shallow); }),
            "Invalid index key path - Native error: 20051");
  TABSKeyPath foreign = last;
  foreign.Levels[0].PageNo += 1000;
  EXPECT_EQ(MessageOf([&] { CompareKeyPaths(first, foreign); }),
            "Invalid index key path - Native error: 20052");
}

}  // namespace
}  // namespace viz
