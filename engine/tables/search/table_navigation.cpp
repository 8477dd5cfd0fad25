// TABSTableData: stepping, key search, search by record buffer, ordinals and record counts under a
// cursor's restrictions, and the record bitmaps behind them.
#include <algorithm>
#include <cstring>
#include <optional>

#include "engine/storage/VIZPage.h"
#include "engine/storage/memory_manager.h"
#include "engine/tables/VIZBaseEngine.h"
#include "engine/tables/btree/record_index.h"
#include "engine/types/errors.h"

namespace viz {

namespace {

using Result = TABSNavigationRecord::Result;

int32_t SessionOf(const TABSCursor* cursor) {
  return cursor && cursor->Session() ? cursor->Session()->SessionNumber() : kSystemSession;
}

TABSCursor& Checked(TABSCursor* cursor, int32_t code) {
  if (!cursor) throw EABSException(msg::kNilPointer.At(code));
  return *cursor;
}

bool ReadRecord(TABSTableData& table, int32_t session, const TABSRecordAddress& address, uint8_t* buffer,
                uint64_t* pageSerial = nullptr) {
  TABSNavigationRecord navigation;
  navigation.Address = address;
  navigation.Target = buffer;
  table.RecordManager()->Navigate(session, navigation);
  if (pageSerial) *pageSerial = navigation.PageSerial;
  return navigation.Outcome == TABSNavigationRecord::kFound;
}

// Reads the record at `address` into the cursor's own record buffer and notes the read in its stamp.
bool ReadIntoCursor(TABSTableData& table, TABSCursor& cursor, const TABSRecordAddress& address) {
  TABSCursorNavigation& navigation = cursor.Navigation();
  uint64_t serial = 0;
  navigation.ReadStamp.Clear();
  if (!ReadRecord(table, SessionOf(&cursor), address, navigation.RecordBuffer, &serial)) return false;
  TABSBaseRecordManager* records = table.RecordManager();
  navigation.ReadStamp.Note(records, navigation.RecordBuffer, address, serial,
                            static_cast<size_t>(records->RecordBufferSize));
  return true;
}

// The bitmap number of the cursor's current record; false when it cannot be numbered (it left the
// index). `record` is its buffer, or null to read it.
bool NumberOfCurrent(TABSTableData& table, TABSCursor& cursor, const uint8_t* record, uint64_t& number) {
  TABSCursorNavigation& navigation = cursor.Navigation();
  const TABSRecordAddress& address = cursor.CurrentPosition().Address;
  if (!navigation.Bitmap.IndexNumbering()) {
    number = static_cast<uint64_t>(table.AddressToRecordNumber(address));
    return true;
  }
  TABSBTreeRecordIndex& order = BTreeIndexOf(table, navigation.OrderIndexID);
  TABSKeyPath path;
  if (!order.FindRecordPath(SessionOf(&cursor), address, path, record)) return false;
  number = order.PathNumber(path);
  return true;
}

bool AddressOfNumber(TABSTableData& table, TABSCursor& cursor, uint64_t number, TABSRecordAddress& address) {
  TABSCursorNavigation& navigation = cursor.Navigation();
  if (!navigation.Bitmap.IndexNumbering()) {
    address = table.RecordNumberToAddress(static_cast<int64_t>(number));
    return true;
  }
  TABSBTreeRecordIndex& order = BTreeIndexOf(table, navigation.OrderIndexID);
  TABSKeyPath path = order.PathOfNumber(number);
  return order.AddressAtPath(SessionOf(&cursor), path, address);
}

// Stands the cursor on a record it found and reads it into the cursor's record buffer (a read writes
// the buffer only when it finds the record).
Result Land(TABSTableData& table, TABSCursor& cursor, const TABSRecordAddress& address) {
  if (!ReadIntoCursor(table, cursor, address)) return TABSNavigationRecord::kNotFound;
  cursor.SetCurrentPosition({address, false, false});
  return TABSNavigationRecord::kFound;
}

Result Nothing(TABSCursor& cursor, bool forward) {
  TABSCursor::Position position = cursor.CurrentPosition();
  position.BeforeFirst = !forward;
  position.AfterLast = forward;
  cursor.SetCurrentPosition(position);
  return forward ? TABSNavigationRecord::kAfterLast : TABSNavigationRecord::kBeforeFirst;
}

// Whether the cursor's record, read again as `current`, was moved by another cursor (its key in the
// cursor's order differs from what the cursor's user last read of it) and no longer passes the
// cursor's restrictions: a step then goes on from where the user last saw it, as from a deleted one.
bool MovedOutOfSight(TABSTableData& table, TABSCursor& cursor, const uint8_t* current) {
  const TABSCursorNavigation& navigation = cursor.Navigation();
  if (!navigation.PositionRecord || navigation.OrderIndexID < 0) return false;
  TABSBTreeRecordIndex& order = BTreeIndexOf(table, navigation.OrderIndexID);
  return order.CompareRecordBuffers(current, navigation.PositionRecord, order.KeyRef().ColumnCount()) != 0 &&
         !AcceptCursorRecord(table, cursor, current);
}

}  // namespace

bool TABSTableData::Search(TABSCursor* cursor, TABSSearchRequest& request, TABSRecordAddress& result) {
  std::lock_guard lock(database_->Lock());
  TABSTableSearch search(*this, Checked(cursor, 10268));
  return search.Run(request, result);
}

bool TABSTableData::AcceptRecord(TABSCursor* cursor, const uint8_t* record) {
  std::lock_guard lock(database_->Lock());
  return AcceptCursorRecord(*this, Checked(cursor, 10268), record);
}

int32_t TABSTableData::StepCursor(TABSCursor* cursorPointer, int32_t direction) {
  TABSCursor& cursor = Checked(cursorPointer, 10270);
  std::lock_guard lock(database_->Lock());
  RefreshTemporaryIndexes(&cursor);
  TABSBaseRecordManager* records = RecordManager();
  if (!records) throw EABSException(msg::kNilPointer.At(10269));
  TABSCursorNavigation& navigation = cursor.Navigation();
  const TABSCursor::Position position = cursor.CurrentPosition();
  const int32_t session = SessionOf(&cursor);
  if (records->RecordCount <= 0) return TABSNavigationRecord::kAfterLast;

  if (direction == TABSNavigationRecord::kCurrent) {
    if (position.BeforeFirst) return TABSNavigationRecord::kBeforeFirst;
    if (position.AfterLast) return TABSNavigationRecord::kAfterLast;
    // A read writes its target (if any) only when it finds the record, so an unrestricted cursor
    // reads straight into its buffer; a restricted one reads aside and keeps its buffer for a record
    // it rejects.
    if (!navigation.IsRestricted()) {
      return ReadIntoCursor(*this, cursor, position.Address) ? TABSNavigationRecord::kFound
                                                              : TABSNavigationRecord::kNotFound;
    }
    const int32_t size = RecordBufferSize();
    TABSKeyBuffer scratchBlock(size);
    uint8_t* scratch = scratchBlock.data();
    if (!ReadRecord(*this, session, position.Address, scratch)) return TABSNavigationRecord::kNotFound;
    if (!AcceptCursorRecord(*this, cursor, scratch)) return TABSNavigationRecord::kNotFound;
    if (navigation.RecordBuffer) std::memcpy(navigation.RecordBuffer, scratch, static_cast<size_t>(size));
    return TABSNavigationRecord::kFound;
  }

  // Room for the current record as read again, made only when a step reads it.
  std::optional<TABSKeyBuffer> currentBlock;

  const bool forward = direction == TABSNavigationRecord::kNext;
  // One rule in every order: next after the last and prior before the first find nothing.
  if (forward ? position.AfterLast : position.BeforeFirst) return Nothing(cursor, forward);
  const bool fromStart = position.BeforeFirst || position.AfterLast;
  // The current record as read again, read only when a step needs it: an unrestricted step in
  // index order goes on from the index's own position.
  const uint8_t* current = nullptr;
  bool currentRead = fromStart;
  auto readCurrent = [&] {
    if (currentRead) return;
    currentRead = true;
    currentBlock.emplace(RecordBufferSize());
    if (ReadRecord(*this, session, position.Address, currentBlock->data())) current = currentBlock->data();
  };
  if (navigation.IsRestricted()) {
    readCurrent();
    if (!fromStart && !current && navigation.DistinctKeyCount > 0) return TABSNavigationRecord::kNotFound;
    if (current && MovedOutOfSight(*this, cursor, current)) current = navigation.PositionRecord;
  }

  TABSRecordAddress found;
  bool searchNeeded = true, ok = false;
  if (navigation.IsRestricted()) {
    TABSRecordBitmap& bitmap = navigation.Bitmap;
    if (bitmap.InUse() && bitmap.IsStale(records->StateCounter)) bitmap.Drop();
    uint64_t from = 0, number = 0;
    if (bitmap.InUse() && (fromStart || NumberOfCurrent(*this, cursor, current, from))) {
      searchNeeded = false;
      ok = bitmap.Step(from, fromStart, forward, number) && AddressOfNumber(*this, cursor, number, found);
    }
  } else if (navigation.OrderIndexID >= 0) {
    TABSNavigationRecord step;
    step.Direction = forward ? TABSNavigationRecord::kNext : TABSNavigationRecord::kPrior;
    step.FromBeginning = position.BeforeFirst;
    step.FromEnd = position.AfterLast;
    step.Address = position.Address;
    BTreeIndexOf(*this, navigation.OrderIndexID).GetRecord(session, step, &navigation.PositionCache);
    // A current record that left the index is passed by the search, which knows where it stood.
    searchNeeded = step.Outcome == TABSNavigationRecord::kNotFound && !fromStart;
    ok = step.Outcome == TABSNavigationRecord::kFound;
    found = step.Address;
  } else {
    TABSNavigationRecord step;
    step.Direction = forward ? TABSNavigationRecord::kNext : TABSNavigationRecord::kPrior;
    step.FromBeginning = position.BeforeFirst;
    step.FromEnd = position.AfterLast;
    step.Address = position.Address;
    records->Navigate(session, step);
    searchNeeded = false;
    ok = step.Outcome == TABSNavigationRecord::kFound;
    found = step.Address;
  }
  if (searchNeeded) {
    readCurrent();
    TABSSearchRequest request;
    request.Forward = forward;
    request.FromStart = fromStart;
    // Where to go on from: the current record as read again, else (it is gone) what the cursor's
    // user last read of it.
    const uint8_t* lastRead = navigation.PositionRecord ? navigation.PositionRecord : navigation.RecordBuffer;
    request.CurrentRecord = fromStart ? nullptr : (current ? current : lastRead);
    request.SkipEqualKeys = true;
    TABSTableSearch search(*this, cursor);
    ok = search.Run(request, found);
  }
  if (!ok) return Nothing(cursor, forward);
  return Land(*this, cursor, found);
}

bool TABSTableData::SearchWithRecord(TABSCursor* cursorPointer, const uint8_t* buffer) {
  TABSCursor& cursor = Checked(cursorPointer, 10270);
  if (!buffer) throw EABSException(msg::kNilPointer.At(10272));
  std::lock_guard lock(database_->Lock());
  RefreshTemporaryIndexes(&cursor);
  TABSSearchRequest request;
  request.SearchBuffer = buffer;
  TABSRecordAddress found;
  if (!Search(&cursor, request, found)) return false;
  const TABSCursor::Position saved = cursor.CurrentPosition();
  cursor.SetCurrentPosition({found, false, false});
  if (StepCursor(&cursor, TABSNavigationRecord::kCurrent) != TABSNavigationRecord::kFound) {
    cursor.SetCurrentPosition(saved);
    return false;
  }
  return true;
}

bool TABSTableData::FindKey(TABSCursor* cursorPointer, TABSScanOperator op) {
  TABSCursor& cursor = Checked(cursorPointer, 10270);
  std::lock_guard lock(database_->Lock());
  TABSCursorNavigation& navigation = cursor.Navigation();
  if (navigation.OrderIndexID < 0) throw EABSException(msg::kNoActiveIndexForKeySearch);
  if (!navigation.KeyBuffer) throw EABSException(msg::kNilPointer.At(10273));
  RefreshTemporaryIndexes(&cursor);
  TABSSearchRequest request;
  request.Extra = TABSScanSearchCondition::ForIndex(navigation.OrderIndexID, op, navigation.KeyBuffer,
                                                    RecordBufferSize(), navigation.KeyFieldCount, true);
  TABSRecordAddress found;
  if (!Search(&cursor, request, found)) return false;
  cursor.SetCurrentPosition({found, false, false});
  return true;
}

void TABSTableData::PrepareRecordBitmap(TABSCursor* cursorPointer) {
  TABSCursor& cursor = Checked(cursorPointer, 10270);
  std::lock_guard lock(database_->Lock());
  RefreshTemporaryIndexes(&cursor);
  TABSCursorNavigation& navigation = cursor.Navigation();
  TABSRecordBitmap& bitmap = navigation.Bitmap;
  TABSBaseRecordManager* records = RecordManager();
  if (!records) throw EABSException(msg::kNilPointer.At(10269));
  if (bitmap.InUse() && !bitmap.IsStale(records->StateCounter)) return;
  bitmap.SetTable(this);
  const bool indexNumbering = navigation.OrderIndexID >= 0;
  bitmap.Reset(indexNumbering, indexNumbering ? 0 : RecordNumberBound(&cursor));
  TABSSearchRequest request;
  request.FillBitmap = true;
  request.Bitmap = &bitmap;
  TABSRecordAddress ignored;
  Search(&cursor, request, ignored);
  if (navigation.DistinctKeyCount > 0 && indexNumbering)
    BTreeIndexOf(*this, navigation.OrderIndexID)
        .ThinToDistinctKeys(SessionOf(&cursor), bitmap, navigation.DistinctKeyCount);
  bitmap.SetStateCounter(records->StateCounter);
  bitmap.SetInUse(true);
}

int64_t TABSTableData::CursorRecordCount(TABSCursor* cursorPointer) {
  TABSCursor& cursor = Checked(cursorPointer, 10270);
  std::lock_guard lock(database_->Lock());
  if (!cursor.Navigation().IsRestricted()) return RecordCount(&cursor);
  PrepareRecordBitmap(&cursor);
  return cursor.Navigation().Bitmap.Count();
}

int64_t TABSTableData::Ordinal(TABSCursor* cursorPointer) {
  TABSCursor& cursor = Checked(cursorPointer, 10270);
  std::lock_guard lock(database_->Lock());
  const TABSCursor::Position position = cursor.CurrentPosition();
  if (position.BeforeFirst || position.AfterLast) return -1;
  TABSCursorNavigation& navigation = cursor.Navigation();
  if (navigation.IsRestricted()) {
    PrepareRecordBitmap(&cursor);
    uint64_t number;
    if (!NumberOfCurrent(*this, cursor, nullptr, number)) return -1;
    return navigation.Bitmap.Ordinal(number);
  }
  if (navigation.OrderIndexID >= 0) {
    RefreshTemporaryIndexes(&cursor);
    return BTreeIndexOf(*this, navigation.OrderIndexID)
        .RecordOrdinal(SessionOf(&cursor), position.Address, nullptr);
  }
  return StorageOrdinal(&cursor);
}

void TABSTableData::GotoOrdinal(TABSCursor* cursorPointer, int64_t ordinal) {
  TABSCursor& cursor = Checked(cursorPointer, 10270);
  std::lock_guard lock(database_->Lock());
  TABSCursorNavigation& navigation = cursor.Navigation();
  if (ordinal < 1) ordinal = 1;
  if (navigation.IsRestricted()) {
    PrepareRecordBitmap(&cursor);
    const int64_t count = navigation.Bitmap.Count();
    if (count == 0) return;
    TABSRecordAddress address;
    if (AddressOfNumber(*this, cursor, navigation.Bitmap.NumberAt(std::min(ordinal, count)), address))
      cursor.SetCurrentPosition({address, false, false});
    return;
  }
  const int64_t count = RecordCount(&cursor);
  if (count <= 0) return;
  ordinal = std::min(ordinal, count);
  if (navigation.OrderIndexID >= 0) {
    RefreshTemporaryIndexes(&cursor);
    const TABSRecordAddress address =
        BTreeIndexOf(*this, navigation.OrderIndexID).GotoOrdinal(SessionOf(&cursor), ordinal);
    cursor.SetCurrentPosition({address, false, false});
    return;
  }
  GotoStorageOrdinal(&cursor, ordinal);
}

void TABSTableData::NoteRecordDeleted(TABSCursor* cursorPointer, const TABSRecordAddress& address,
                                      int32_t stateBefore) {
  TABSCursor& cursor = Checked(cursorPointer, 10270);
  std::lock_guard lock(database_->Lock());
  TABSCursorNavigation& navigation = cursor.Navigation();
  TABSRecordBitmap& bitmap = navigation.Bitmap;
  if (!bitmap.InUse()) return;
  // Path numbers of the records after the deleted one change with it: such a bitmap is rebuilt.
  if (bitmap.IndexNumbering()) {
    bitmap.Drop();
    return;
  }
  const bool wasCurrent = bitmap.StateCounter() == stateBefore;
  bitmap.Set(static_cast<uint64_t>(AddressToRecordNumber(address)), false);
  if (wasCurrent && navigation.DistinctKeyCount == 0 && RecordManager())
    bitmap.SetStateCounter(RecordManager()->StateCounter);
}

}  // namespace viz
