#include "tables/btree/btree_fixture.h"

#include <cstring>
#include <stdexcept>

namespace viz::testing {

MemoryPages::MemoryPages(uint16_t pageSize, uint16_t headerSize) : TABSPageManager(pageSize, headerSize) {
  SetCacheCapacity(100000);
}

MemoryPages::~MemoryPages() = default;

void MemoryPages::AllocatePageNo(TABSPage* page) {
  int32_t pageNo = 0;
  while (Allocated.count(pageNo) > 0) ++pageNo;
  Allocated.insert(pageNo);
  page->PageNo = pageNo;
  page->AllocBuffer();
}

void MemoryPages::FreePageNo(int32_t pageNo) {
  Allocated.erase(pageNo);
  Stored.erase(pageNo);
}

bool MemoryPages::ReadPage(TABSPage* page) {
  ++Reads;
  auto found = Stored.find(page->PageNo);
  if (found == Stored.end())
    throw std::runtime_error("read of a page never written: " + std::to_string(page->PageNo));
  std::memcpy(page->Buffer(), found->second.data(), PageSize());
  return true;
}

void MemoryPages::WritePage(TABSPage* page) {
  Stored[page->PageNo].assign(page->Buffer(), page->Buffer() + PageSize());
}

TABSPage* MemoryPages::GetPage(int32_t session, int32_t pageNo, uint16_t expectedType) {
  ++Gets;
  return TABSPageManager::GetPage(session, pageNo, expectedType);
}

namespace {
class BTreeTableData : public TestTableData {
 public:
  BTreeTableData(TABSDatabaseData* database, std::string_view name, TABSPageManager* pages)
      : TestTableData(database, name) {
    indexManager_ = std::make_unique<TABSBaseIndexManager>(this, pages, pages);
    SetPageManager(pages);
  }
};
}  // namespace

BTreeTable::BTreeTable(uint16_t pageSize, uint16_t headerSize)
    : pages(pageSize, headerSize), database(std::make_unique<TestDatabaseData>()) {
  table = new BTreeTableData(database.get(), "T", &pages);
}

BTreeTable::~BTreeTable() {
  for (auto& [number, session] : sessions_) database->DisconnectSession(session.get());
}

void BTreeTable::AddField(const std::string& name, TABSDataType type, int32_t size) {
  TABSFieldDef& field = fields_.AddCreated();
  field.SetName(name);
  field.SetDataType(type, size);
}

namespace {
std::unique_ptr<TABSIndexDef> MakeIndexDef(const std::string& name, const std::vector<TestColumn>& columns,
                                           bool unique) {
  auto definition = std::make_unique<TABSIndexDef>();
  definition->SetName(name);
  definition->Unique = unique;
  for (const TestColumn& column : columns)
    definition->Columns.push_back(
        {column.Field, column.Descending, column.CaseInsensitive, column.KeyLength});
  return definition;
}
}  // namespace

void BTreeTable::AddIndexDef(const std::string& name, const std::vector<TestColumn>& columns, bool unique) {
  indexes_.Add(MakeIndexDef(name, columns, unique));
}

void BTreeTable::Create() {
  table->CreateTable(&Cursor(), fields_, indexes_, TABSConstraintDefs());
  pages.Commit(kSystemSession);
}

int32_t BTreeTable::AddIndex(const std::string& name, const std::vector<TestColumn>& columns, bool unique) {
  auto definition = MakeIndexDef(name, columns, unique);
  table->AddIndex(*definition, &Cursor());
  Commit();
  const TABSIndexDefs& defs = table->IndexManager()->IndexDefs();
  return defs[defs.Count() - 1].ObjectID;
}

const TABSFieldDefs& BTreeTable::Fields() const {
  return table->FieldManager()->FieldDefs();
}

std::vector<uint8_t> BTreeTable::NewRecord() const {
  std::vector<uint8_t> record(static_cast<size_t>(Fields().RecordBufferSize()), 0);
  for (int32_t i = 0; i < Fields().Count(); ++i) SetNullFlag(record.data(), i);
  return record;
}

void BTreeTable::SetInt(std::vector<uint8_t>& record, int32_t field, int32_t value) const {
  std::memcpy(&record[static_cast<size_t>(Fields()[field].BufferOffset)], &value, sizeof value);
  ClearNullFlag(record.data(), field);
}

void BTreeTable::SetString(std::vector<uint8_t>& record, int32_t field, const std::string& value) const {
  const TABSFieldDef& definition = Fields()[field];
  uint8_t* at = &record[static_cast<size_t>(definition.BufferOffset)];
  std::memset(at, 0, static_cast<size_t>(definition.BufferSize()));
  std::memcpy(at, value.data(),
              std::min<size_t>(value.size(), static_cast<size_t>(definition.BufferSize() - 1)));
  ClearNullFlag(record.data(), field);
}

void BTreeTable::SetNull(std::vector<uint8_t>& record, int32_t field) const {
  SetNullFlag(record.data(), field);
}

int32_t BTreeTable::GetInt(const std::vector<uint8_t>& record, int32_t field) const {
  int32_t value;
  std::memcpy(&value, &record[static_cast<size_t>(Fields()[field].BufferOffset)], sizeof value);
  return value;
}

std::string BTreeTable::GetString(const std::vector<uint8_t>& record, int32_t field) const {
  return reinterpret_cast<const char*>(&record[static_cast<size_t>(Fields()[field].BufferOffset)]);
}

TABSRecordAddress BTreeTable::Insert(const std::vector<uint8_t>& record, int32_t session) {
  TestCursor& cursor = Cursor(session);
  cursor.Record = record;
  cursor.Navigation().RecordBuffer = cursor.Record.data();
  table->InsertRecord(&cursor);
  return cursor.CurrentPosition().Address;
}

void BTreeTable::Delete(const TABSRecordAddress& address, int32_t session) {
  TestCursor& cursor = Cursor(session);
  cursor.SetCurrentPosition({address, false, false});
  if (!table->DeleteRecord(&cursor)) throw std::runtime_error("delete failed");
}

void BTreeTable::Update(const TABSRecordAddress& address, const std::vector<uint8_t>& record,
                        int32_t session) {
  TestCursor& cursor = Cursor(session);
  cursor.SetCurrentPosition({address, false, false});
  cursor.Record = record;
  cursor.Navigation().RecordBuffer = cursor.Record.data();
  if (!table->UpdateRecord(&cursor)) throw std::runtime_error("update failed");
}

std::vector<uint8_t> BTreeTable::Read(const TABSRecordAddress& address) const {
  std::vector<uint8_t> record(static_cast<size_t>(Fields().RecordBufferSize()));
  TABSNavigationRecord navigation;
  navigation.Address = address;
  navigation.Target = record.data();
  table->RecordManager()->Navigate(1, navigation);
  if (navigation.Outcome != TABSNavigationRecord::kFound) throw std::runtime_error("no record");
  return record;
}

int32_t BTreeTable::IndexID(int32_t position) const {
  return table->IndexManager()->IndexDefs()[position].ObjectID;
}

TABSBTreeRecordIndex& BTreeTable::Index(int32_t position) {
  return static_cast<TABSBTreeRecordIndex&>(table->IndexManager()->GetIndex(IndexID(position)));
}

TABSBaseSession& BTreeTable::Session(int32_t session) {
  auto& slot = sessions_[session];
  if (!slot) {
    slot = std::make_unique<TABSBaseSession>();
    database->ConnectSession(slot.get());
    slot->SetSessionNumber(session);
  }
  return *slot;
}

TestCursor& BTreeTable::Cursor(int32_t session) {
  auto& slot = cursors_[session];
  if (!slot) slot = std::make_unique<TestCursor>("T", &Session(session));
  return *slot;
}

std::string BTreeTable::CheckAll(int32_t session) {
  std::string problems;
  for (int32_t i = 0; i < table->IndexManager()->IndexDefs().Count(); ++i)
    problems += Index(i).Check(session).Text();
  return problems;
}

}  // namespace viz::testing
