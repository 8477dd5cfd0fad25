#include "engine/sql/expressions/cursor_row_source.h"

#include <algorithm>
#include <climits>

#include "engine/tables/VIZBaseEngine.h"
#include "engine/tables/blob_value.h"
#include "engine/tables/table_cursor.h"
#include "engine/types/errors.h"

namespace viz {

namespace {

// Points the cursor's record buffer at another record for one BLOB read (the table reads BLOB
// references from the cursor's buffer) and puts it back, also on an exception.
class RecordBufferSwap {
 public:
  RecordBufferSwap(TABSCursor& cursor, const uint8_t* record)
      : navigation_(cursor.Navigation()), saved_(navigation_.RecordBuffer) {
    // The table notes in the record which of its cached values belongs to it (see ReadBlobField).
    navigation_.RecordBuffer = const_cast<uint8_t*>(record);
  }
  ~RecordBufferSwap() { navigation_.RecordBuffer = saved_; }
  RecordBufferSwap(const RecordBufferSwap&) = delete;
  RecordBufferSwap& operator=(const RecordBufferSwap&) = delete;

 private:
  TABSCursorNavigation& navigation_;
  uint8_t* saved_;
};

}  // namespace

TABSCursorRowSource::TABSCursorRowSource(TABSTableData& table, TABSCursor& cursor)
    : TABSRecordRowSource(table.FieldManager()->FieldDefs(), table.TableName()),
      table_(table),
      cursor_(cursor) {
  blobs_.resize(static_cast<size_t>(table.FieldManager()->FieldDefs().Count()));
  UseCursorRecord();
}

void TABSCursorRowSource::UseCursorRecord() {
  SetRecordBuffer(cursor_.Navigation().RecordBuffer);
}

void TABSCursorRowSource::ReadBlobField(int32_t fieldNo, TABSVariant& value) {
  const TABSBaseType type = FieldInfo(fieldNo).BaseType;
  std::string& bytes = blobs_[static_cast<size_t>(fieldNo)];
  bytes.clear();
  // The table keeps the values it reads for the record buffer they were read for. The cursor's own
  // buffer keeps them until the cursor moves (an edited value not yet posted is read from there);
  // for any other record (one a search is testing) the value is let go at once, since the next
  // record read into the same buffer must not find it.
  uint8_t* record = const_cast<uint8_t*>(RecordBuffer());
  const bool cursorRecord = record == cursor_.Navigation().RecordBuffer;
  try {
    RecordBufferSwap swap(cursor_, record);
    std::unique_ptr<TABSBlobValueStream> stream =
        table_.OpenBlobStream(&cursor_, /*readOnly=*/true, /*modify=*/false, fieldNo);
    const int64_t size = stream->GetSize();
    if (size > INT32_MAX) throw EABSException(msg::kBufferSizeExceeded.At(30201));
    bytes.resize(static_cast<size_t>(std::max<int64_t>(size, 0)));
    if (size > 0) ExactRead(bytes.data(), size, *stream, 30200);
  } catch (...) {
    if (!cursorRecord) table_.ReleaseFieldBlob(record, fieldNo);
    throw;
  }
  if (!cursorRecord) table_.ReleaseFieldBlob(record, fieldNo);
  if (bytes.empty()) {
    value.Clear(type);
    return;
  }
  // A BLOB value carries a zero byte after its bytes, as every BLOB variant does.
  if (type == bt::kBlob) bytes.push_back('\0');
  value.SetRaw(bytes.data(), static_cast<int32_t>(bytes.size()), type, TABSCopyMode::Borrow);
}

}  // namespace viz
