#include "tables/search/search_fixture.h"

namespace viz::testing {

SearchTable::SearchTable(uint16_t pageSize) : BTreeTable(pageSize, 0) {
  AddField("Id", dt::kInteger);
  AddField("X", dt::kInteger);
  AddField("Name", dt::kString, 20);
  AddIndexDef("byId", {{"Id"}}, /*unique=*/true);
  AddIndexDef("byX", {{"X"}});
  AddIndexDef("byXName", {{"X"}, {"Name"}});
  Create();
  for (int32_t session : {1, 2}) {
    TestCursor& cursor = Cursor(session);
    cursor.Record.assign(static_cast<size_t>(Fields().RecordBufferSize()), 0);
    cursor.Navigation().RecordBuffer = cursor.Record.data();
  }
}

TABSRecordAddress SearchTable::AddRow(int32_t id, int32_t x, const std::string& name, int32_t session) {
  auto record = NewRecord();
  SetInt(record, 0, id);
  if (x >= 0) SetInt(record, 1, x);
  if (!name.empty()) SetString(record, 2, name);
  return Insert(record, session);
}

int32_t SearchTable::IdOf(const uint8_t* record) const {
  return GetInt(std::vector<uint8_t>(record, record + Fields().RecordBufferSize()), 0);
}

int32_t SearchTable::XOf(const uint8_t* record) const {
  return GetInt(std::vector<uint8_t>(record, record + Fields().RecordBufferSize()), 1);
}

int32_t SearchTable::IndexIdOf(const std::string& index) const {
  return index.empty() ? -1 : table->IndexManager()->IndexDefs().FindIndex(index)->ObjectID;
}

void SearchTable::Order(const std::string& index, int32_t session) {
  Navigation(session).OrderIndexID = IndexIdOf(index);
  Navigation(session).Bitmap.Drop();
}

std::vector<int32_t> SearchTable::Steps(bool forward, int32_t session) {
  TestCursor& cursor = Cursor(session);
  cursor.SetCurrentPosition({{}, forward, !forward});
  std::vector<int32_t> ids;
  while (table->StepCursor(&cursor, forward ? TABSNavigationRecord::kNext : TABSNavigationRecord::kPrior) ==
         TABSNavigationRecord::kFound) {
    ids.push_back(CurrentId(session));
    if (ids.size() > 100000) break;
  }
  return ids;
}

int32_t SearchTable::CurrentId(int32_t session) {
  return IdOf(Cursor(session).Navigation().RecordBuffer);
}

std::vector<uint8_t> SearchTable::Key(int32_t x, const std::string& name, int32_t id) const {
  auto record = NewRecord();
  if (id >= 0) SetInt(record, 0, id);
  if (x >= 0) SetInt(record, 1, x);
  if (!name.empty()) SetString(record, 2, name);
  return record;
}

}  // namespace viz::testing
