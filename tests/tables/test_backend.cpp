#include "test_backend.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "engine/types/errors.h"

namespace viz::testing {

std::vector<uint8_t> ContentOf(TABSMemoryStream& stream) {
  const auto* bytes = static_cast<const uint8_t*>(stream.Memory());
  return bytes ? std::vector<uint8_t>(bytes, bytes + stream.Size()) : std::vector<uint8_t>{};
}

std::unique_ptr<TABSMemoryStream> StreamOf(const std::vector<uint8_t>& bytes) {
  auto stream = std::make_unique<TABSMemoryStream>();
  stream->Write(bytes.data(), static_cast<int64_t>(bytes.size()));
  stream->SetPosition(0);
  return stream;
}

int64_t FullStream::Write(const void*, int64_t count) {
  const int64_t n = std::max<int64_t>(0, std::min(count, capacity_ - position_));
  position_ += n;
  size_ = std::max(size_, position_);
  return n;
}

int64_t FullStream::Seek(int64_t offset, TSeekOrigin origin) {
  position_ = origin == TSeekOrigin::Beginning ? offset
              : origin == TSeekOrigin::Current ? position_ + offset
                                               : size_ + offset;
  return position_;
}

void TestRecordManager::Empty(int32_t) {
  Records.clear();
  RecordCount = 0;
  ++StateCounter;
}

TABSRecordAddress TestRecordManager::Insert(int32_t, const uint8_t* record) {
  const TABSFieldDefs& fields = TableData()->FieldManager()->FieldDefs();
  std::vector<uint8_t> stored(static_cast<size_t>(fields.StoredRecordSize()));
  TableData()->FieldManager()->RecordBufferToStoredRecord(record, stored.data());
  const int32_t page = nextPage_++;
  Records[page] = std::move(stored);
  ++RecordCount;
  ++StateCounter;
  return {page, 0};
}

bool TestRecordManager::Update(int32_t, const uint8_t* record, const TABSRecordAddress& address) {
  auto found = Records.find(address.PageNo);
  if (found == Records.end()) return false;
  TableData()->FieldManager()->RecordBufferToStoredRecord(record, found->second.data());
  ++StateCounter;
  return true;
}

bool TestRecordManager::Delete(int32_t, const TABSRecordAddress& address) {
  if (Records.erase(address.PageNo) == 0) return false;
  --RecordCount;
  ++StateCounter;
  return true;
}

void TestRecordManager::Navigate(int32_t, TABSNavigationRecord& navigation) {
  std::map<int32_t, std::vector<uint8_t>>::iterator found = Records.end();
  if (Records.empty()) {
    navigation.Outcome = TABSNavigationRecord::kAfterLast;
    return;
  }
  if (navigation.Direction == TABSNavigationRecord::kCurrent) {
    found = Records.find(navigation.Address.PageNo);
  } else if (navigation.Direction == TABSNavigationRecord::kNext) {
    found = navigation.FromBeginning ? Records.begin() : Records.upper_bound(navigation.Address.PageNo);
    if (navigation.FromEnd) found = Records.end();
    if (found == Records.end()) {
      navigation.Outcome = TABSNavigationRecord::kAfterLast;
      return;
    }
  } else {
    auto after = navigation.FromEnd ? Records.end() : Records.lower_bound(navigation.Address.PageNo);
    if (navigation.FromBeginning || after == Records.begin()) {
      navigation.Outcome = TABSNavigationRecord::kBeforeFirst;
      return;
    }
    found = std::prev(after);
  }
  if (found == Records.end()) {
    navigation.Outcome = TABSNavigationRecord::kNotFound;
    return;
  }
  navigation.Address = {found->first, 0};
  if (navigation.Target)
    TableData()->FieldManager()->StoredRecordToRecordBuffer(found->second.data(), navigation.Target);
  navigation.Outcome = TABSNavigationRecord::kFound;
}

int TestRecordManager::CompareAddresses(const TABSRecordAddress& a, const TABSRecordAddress& b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

int64_t TestRecordManager::ApproximateOrdinal(int32_t, const TABSRecordAddress& address) {
  return std::distance(Records.begin(), Records.lower_bound(address.PageNo)) + 1;
}

std::string TestIndex::KeyOf(const uint8_t* record) const {
  const TABSFieldDefs& fields = Manager().TableData()->FieldManager()->FieldDefs();
  std::string key;
  for (const TABSIndexColumn& column : Definition().Columns) {
    const int32_t position = fields.IndexOfName(column.FieldName);
    if (position < 0) throw std::runtime_error("no field " + column.FieldName);
    const TABSFieldDef& field = fields[position];
    const bool isNull = IsNullFlagSet(record, position);
    key.push_back(isNull ? 1 : 0);
    std::string value(static_cast<size_t>(field.BufferSize()), '\0');
    if (!isNull) std::memcpy(value.data(), record + field.BufferOffset, value.size());
    key += value;
  }
  return key;
}

void TestIndex::Create(TABSCursor* cursor, TABSIndexDef& definition) {
  if (FailNextCreate) {
    FailNextCreate = false;
    throw std::runtime_error("index build failed");
  }
  ++Builds;
  Keys.clear();
  Definition().RootPage = 100 + Definition().ObjectID;
  definition.RootPage = Definition().RootPage;
  if (!cursor) return;
  auto* records = Manager().TableData()->RecordManager();
  std::vector<uint8_t> record(static_cast<size_t>(records->RecordBufferSize));
  TABSNavigationRecord navigation;
  navigation.Direction = TABSNavigationRecord::kNext;
  navigation.FromBeginning = true;
  navigation.Target = record.data();
  for (;;) {
    records->Navigate(0, navigation);
    if (navigation.Outcome != TABSNavigationRecord::kFound) break;
    Keys.emplace(KeyOf(record.data()), navigation.Address);
    navigation.FromBeginning = false;
  }
}

void TestIndex::Drop(int32_t) {
  Keys.clear();
  Definition().RootPage = -1;
}

void TestIndex::Empty(int32_t) {
  Keys.clear();
}

bool TestIndex::KeyIsFree(int32_t, const uint8_t* record) {
  if (!Definition().Unique && !Definition().Primary) return true;
  return Keys.find(KeyOf(record)) == Keys.end();
}

bool TestIndex::KeyIsFreeOnUpdate(int32_t session, const uint8_t* oldRecord, const uint8_t* newRecord) {
  if (KeyOf(oldRecord) == KeyOf(newRecord)) return true;
  return KeyIsFree(session, newRecord);
}

void TestIndex::InsertKey(int32_t, const uint8_t* record, const TABSRecordAddress& address) {
  Keys.emplace(KeyOf(record), address);
}

bool TestIndex::DeleteKey(int32_t, const uint8_t* record, const TABSRecordAddress& address) {
  auto [first, last] = Keys.equal_range(KeyOf(record));
  for (auto it = first; it != last; ++it) {
    if (it->second == address) {
      Keys.erase(it);
      return true;
    }
  }
  return false;
}

void TestIndex::UpdateKey(int32_t session, const uint8_t* oldRecord, const uint8_t* newRecord,
                          const TABSRecordAddress& address) {
  if (KeyOf(oldRecord) == KeyOf(newRecord)) return;
  if (!DeleteKey(session, oldRecord, address)) throw std::runtime_error("key missing");
  InsertKey(session, newRecord, address);
}

std::unique_ptr<TABSIndex> TestIndexManager::NewIndexObject(const TABSIndexDef&,
                                                            TABSPageManager* pageManager) {
  return std::make_unique<TestIndex>(*this, pageManager);
}

TestTableData::TestTableData(TABSDatabaseData* database, std::string_view tableName)
    : TABSTableData(database, tableName) {
  fieldManager_ = std::make_unique<TABSBaseFieldManager>(this);
  indexManager_ = std::make_unique<TestIndexManager>(this, nullptr, nullptr);
  constraintManager_ = std::make_unique<TABSBaseConstraintManager>(this);
}

void TestTableData::CreateRecordManager() {
  recordManager_ = std::make_unique<TestRecordManager>(this);
  recordManager_->RecordBufferSize = RecordBufferSize();
}

void TestTableData::CreateTable(TABSCursor* cursor, const TABSFieldDefs& fields, const TABSIndexDefs& indexes,
                                const TABSConstraintDefs& constraints) {
  std::lock_guard lock(Database()->Lock());
  cursor->SetCreatingTable(true);
  SetFieldDefs(fields);
  CreateRecordManager();
  SetIndexDefs(indexes);
  for (int32_t i = 0; i < IndexManager()->IndexDefs().Count(); ++i) {
    TABSIndexDef& index = IndexManager()->IndexDefs()[i];
    IndexManager()->GetIndex(index.ObjectID).Create(nullptr, index);
  }
  SetConstraintDefs(constraints);
  cursor->SetCreatingTable(false);
}

int64_t TestTableData::RecordNumberBound(TABSCursor*) {
  return Records().Records.empty() ? 1 : Records().Records.rbegin()->first + 1;
}

void TestTableData::ReleaseFieldBlob(uint8_t*, int32_t field) {
  ReleasedBlobs.push_back(field);
}

bool TestTableData::InsertRecord(TABSCursor* cursor) {
  auto& record = static_cast<TestCursor*>(cursor)->Record;
  std::lock_guard lock(Database()->Lock());
  FieldManager()->ApplyAutoincs(cursor->Session(), record.data());
  ConstraintManager()->Check(record.data(), cursor->Session(), {}, true, true);
  const int32_t session = cursor->Session()->SessionNumber();
  const TABSRecordAddress address = Records().Insert(session, record.data());
  IndexManager()->InsertRecordKeys(session, record.data(), address);
  cursor->SetCurrentPosition({address, false, false});
  return true;
}

bool TestTableData::DeleteRecord(TABSCursor* cursor) {
  std::lock_guard lock(Database()->Lock());
  const int32_t session = cursor->Session()->SessionNumber();
  const TABSRecordAddress address = cursor->CurrentPosition().Address;
  std::vector<uint8_t> old(static_cast<size_t>(RecordBufferSize()));
  TABSNavigationRecord navigation;
  navigation.Address = address;
  navigation.Target = old.data();
  Records().Navigate(session, navigation);
  if (navigation.Outcome != TABSNavigationRecord::kFound) return false;
  IndexManager()->DeleteRecordKeys(session, old.data(), address);
  const int32_t stateBefore = Records().StateCounter;
  if (!Records().Delete(session, address)) return false;
  NoteRecordDeleted(cursor, address, stateBefore);
  return true;
}

bool TestTableData::UpdateRecord(TABSCursor* cursor) {
  auto& record = static_cast<TestCursor*>(cursor)->Record;
  std::lock_guard lock(Database()->Lock());
  const int32_t session = cursor->Session()->SessionNumber();
  const TABSRecordAddress address = cursor->CurrentPosition().Address;
  ConstraintManager()->Check(record.data(), cursor->Session(), address, false, true);
  std::vector<uint8_t> old(static_cast<size_t>(RecordBufferSize()));
  TABSNavigationRecord navigation;
  navigation.Address = address;
  navigation.Target = old.data();
  Records().Navigate(session, navigation);
  if (navigation.Outcome != TABSNavigationRecord::kFound) return false;
  IndexManager()->UpdateRecordKeys(session, old.data(), record.data(), address);
  return Records().Update(session, record.data(), address);
}

void TestTableData::GotoStorageOrdinal(TABSCursor* cursor, int64_t ordinal) {
  auto it = Records().Records.begin();
  std::advance(it, ordinal - 1);
  cursor->SetCurrentPosition({{it->first, 0}, false, false});
}

int64_t TestTableData::StorageOrdinal(TABSCursor* cursor) {
  return Records().ApproximateOrdinal(0, cursor->CurrentPosition().Address);
}

int64_t TestTableData::RecordCount(TABSCursor*) {
  return Records().RecordCount;
}

TABSTableData* TestDatabaseData::NewTableData(TABSCursor* cursor) {
  return new TestTableData(this, cursor->TableName());
}

std::string MessageOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EABSException& e) {
    return e.Message();
  }
  return "no error";
}

std::vector<uint8_t> Hex(std::string_view text) {
  std::vector<uint8_t> bytes;
  std::string digits;
  for (char c : text)
    if (c != ' ' && c != '\n') digits.push_back(c);
  for (size_t i = 0; i + 1 < digits.size(); i += 2)
    bytes.push_back(static_cast<uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
  return bytes;
}

}  // namespace viz::testing
