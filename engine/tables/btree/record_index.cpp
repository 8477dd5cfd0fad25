// TABSBTreeRecordIndex: building, keys of record changes, uniqueness and record access.
#include "engine/tables/btree/record_index.h"

#include <cstring>

#include "engine/storage/VIZPage.h"
#include "engine/storage/memory_manager.h"
#include "engine/tables/VIZBaseEngine.h"
#include "engine/types/errors.h"

namespace viz {

namespace {
int32_t SessionOf(const TABSCursor* cursor) {
  return cursor && cursor->Session() ? cursor->Session()->SessionNumber() : kSystemSession;
}
}  // namespace

TABSBTreeRecordIndex::TABSBTreeRecordIndex(TABSBaseIndexManager& manager, TABSPageManager* pageManager)
    : TABSIndex(manager, pageManager) {
  btreeRecordIndex_ = this;
  if (pageManager)
    tree_ = std::make_unique<TABSBTree>(*pageManager, keys_, static_cast<TABSBTreeRecordSource*>(this));
}

TABSBTree& TABSBTreeRecordIndex::Tree() {
  if (!tree_) throw EABSException(msg::kPointerIsNil.At(20045));
  return *tree_;
}

TABSBaseRecordManager& TABSBTreeRecordIndex::Records() const {
  TABSBaseRecordManager* records = Manager().TableData()->RecordManager();
  if (!records) throw EABSException(msg::kPointerIsNil.At(20076));
  return *records;
}

int32_t TABSBTreeRecordIndex::RecordSize() const {
  TABSBaseFieldManager* fields = Manager().TableData()->FieldManager();
  if (!fields) throw EABSException(msg::kPointerIsNil.At(20077));
  return fields->FieldDefs().RecordBufferSize();
}

void TABSBTreeRecordIndex::Open(const TABSIndexDef& definition) {
  TABSIndex::Open(definition);
  TABSBaseFieldManager* fields = Manager().TableData()->FieldManager();
  if (!fields) throw EABSException(msg::kPointerIsNil.At(20077));
  keys_.Build(Definition(), fields->FieldDefs());
  if (tree_) tree_->SetRootPage(Definition().RootPage);
}

void TABSBTreeRecordIndex::Create(TABSCursor* cursor, TABSIndexDef& definition) {
  TABSBTree& tree = Tree();
  const int32_t dataSize = static_cast<int32_t>(tree.Pages().PageDataSize());
  if (!TABSBTree::KeySizeFits(keys_.KeySize, TABSRecordKeyRef::kAddressSize, dataSize)) {
    const int32_t largest = (dataSize - TABSBTreePage::kHeaderSize) / 4 - TABSRecordKeyRef::kAddressSize;
    throw EABSException(msg::kIndexKeyTooLarge, Definition().Name(), keys_.KeySize, largest);
  }
  const int32_t session = SessionOf(cursor);
  const int32_t root = tree.CreateRoot(session);
  Definition().RootPage = root;
  definition.RootPage = root;
  if (!cursor) return;
  // A private walk over the table in storage order, for the cursor's session.
  TABSBaseRecordManager& records = Records();
  TABSMemBlock record = NewScratchBlock(RecordSize());
  TABSNavigationRecord navigation;
  navigation.Direction = TABSNavigationRecord::kNext;
  navigation.FromBeginning = true;
  navigation.Target = static_cast<uint8_t*>(record.data());
  for (;;) {
    records.Navigate(session, navigation);
    if (navigation.Outcome != TABSNavigationRecord::kFound) break;
    InsertKey(session, navigation.Target, navigation.Address);
    navigation.FromBeginning = false;
  }
}

void TABSBTreeRecordIndex::Drop(int32_t session) {
  TABSBTree& tree = Tree();
  tree.SetRootPage(Definition().RootPage);
  tree.Drop(session);
  Definition().RootPage = -1;
}

void TABSBTreeRecordIndex::Empty(int32_t session) {
  TABSBTree& tree = Tree();
  tree.SetRootPage(Definition().RootPage);
  tree.Empty(session);
}

int TABSBTreeRecordIndex::CompareRecordBuffers(const uint8_t* a, const uint8_t* b, int32_t columns) const {
  return keys_.CompareRecords(a, b, 0, std::min(columns, keys_.ColumnCount()));
}

bool TABSBTreeRecordIndex::KeyIsFree(int32_t session, const uint8_t* record) {
  if (!Definition().Unique && !Definition().Primary) return true;
  TABSKeyBuffer key(keys_.KeySize);
  keys_.BuildKey(record, key.data());
  // NULL equals NULL here: a second all-NULL key is a duplicate.
  const TABSBTreeProbe probe{key.data(), record, nullptr, keys_.ColumnCount()};
  TABSKeyPath path;
  // The leaf the search ends on is compared as it was loaded, not loaded once more. The descent is
  // kept: the insertion of the record's key that usually follows starts from it.
  return !Tree().FindKeepingDescent(session, probe, path);
}

bool TABSBTreeRecordIndex::KeyIsFreeOnUpdate(int32_t session, const uint8_t* oldRecord,
                                             const uint8_t* newRecord) {
  if (CompareRecordBuffers(oldRecord, newRecord, keys_.ColumnCount()) == 0) return true;
  return KeyIsFree(session, newRecord);
}

void TABSBTreeRecordIndex::InsertKey(int32_t session, const uint8_t* record,
                                     const TABSRecordAddress& address) {
  // Room for the widest entry a page may ask for (an address in nodes as well).
  TABSKeyBuffer entry(keys_.KeySize + 2 * TABSRecordKeyRef::kAddressSize);
  std::memset(entry.data(), 0, static_cast<size_t>(keys_.KeySize + 2 * TABSRecordKeyRef::kAddressSize));
  keys_.BuildKey(record, entry.data());
  std::memcpy(entry.data() + keys_.KeySize, &address.PageNo, 4);
  std::memcpy(entry.data() + keys_.KeySize + 4, &address.RecordNo, 2);
  const TABSBTreeProbe probe{entry.data(), record, &address, keys_.ColumnCount()};
  Tree().Insert(session, probe, entry.data());
}

bool TABSBTreeRecordIndex::DeleteKey(int32_t session, const uint8_t* record,
                                     const TABSRecordAddress& address) {
  TABSKeyBuffer key(keys_.KeySize);
  keys_.BuildKey(record, key.data());
  const TABSBTreeProbe probe{key.data(), record, &address, keys_.ColumnCount()};
  return Tree().Remove(session, probe);
}

void TABSBTreeRecordIndex::UpdateKey(int32_t session, const uint8_t* oldRecord, const uint8_t* newRecord,
                                     const TABSRecordAddress& address) {
  // Equal full keys keep the entry; keys that only compare equal (another letter case) are replaced,
  // so that the stored key always matches its record.
  TABSKeyBuffer before(keys_.FullKeySize), after(keys_.FullKeySize);
  keys_.BuildFullKey(oldRecord, before.data());
  keys_.BuildFullKey(newRecord, after.data());
  if (std::memcmp(before.data(), after.data(), static_cast<size_t>(keys_.FullKeySize)) == 0) return;
  if (!DeleteKey(session, oldRecord, address)) throw EABSException(msg::kIndexEntryNotFound.At(20250));
  InsertKey(session, newRecord, address);
}

int32_t TABSBTreeRecordIndex::FanOut() const {
  if (!tree_) throw EABSException(msg::kPointerIsNil.At(20045));
  return tree_->FanOut();
}

bool TABSBTreeRecordIndex::ReadRecord(int32_t session, const TABSRecordAddress& address, uint8_t* buffer) {
  TABSNavigationRecord navigation;
  navigation.Direction = TABSNavigationRecord::kCurrent;
  navigation.Address = address;
  navigation.Target = buffer;
  Records().Navigate(session, navigation);
  return navigation.Outcome == TABSNavigationRecord::kFound;
}

namespace {
uint8_t* Scratch(TABSMemBlock& block, int32_t size) {
  if (block.size() < size) block = NewScratchBlock(size);
  return static_cast<uint8_t*>(block.data());
}
}  // namespace

int TABSBTreeRecordIndex::CompareWithRecord(int32_t session, const uint8_t* record,
                                            const TABSRecordAddress& address, int32_t from, int32_t columns) {
  uint8_t* other = Scratch(scratch_[0], RecordSize());
  if (!ReadRecord(session, address, other)) throw EABSException(msg::kCannotRetrieveRecordForIndex);
  return keys_.CompareRecords(record, other, from, columns);
}

int TABSBTreeRecordIndex::CompareRecordsAt(int32_t session, const TABSRecordAddress& a,
                                           const TABSRecordAddress& b, int32_t from, int32_t columns) {
  uint8_t* first = Scratch(scratch_[0], RecordSize());
  uint8_t* second = Scratch(scratch_[1], RecordSize());
  if (!ReadRecord(session, a, first) || !ReadRecord(session, b, second))
    throw EABSException(msg::kCannotRetrieveRecordForIndex);
  return keys_.CompareRecords(first, second, from, columns);
}

bool TABSBTreeRecordIndex::EntryMatchesRecord(int32_t session, const uint8_t* key,
                                              const TABSRecordAddress& address) {
  uint8_t* record = Scratch(scratch_[0], RecordSize());
  if (!ReadRecord(session, address, record)) return false;
  TABSKeyBuffer built(keys_.KeySize);
  keys_.BuildKey(record, built.data());
  return std::memcmp(built.data(), key, static_cast<size_t>(keys_.KeySize)) == 0;
}

TABSBTreeCheckReport TABSBTreeRecordIndex::Check(int32_t session) {
  Tree().SetRootPage(Definition().RootPage);
  return TABSBTreeChecker(Tree(), true).Check(session);
}

}  // namespace viz
