// A BLOB value as tables keep it, whatever the backend: the bytes of its compressed stream (the
// blocks of compressed_blob_stream.h, or the plain bytes when the field compresses nothing) with the
// two numbers that describe them; and the stream through which a cursor reads or writes the
// uncompressed content of one value.
//
// A record buffer never holds a value itself. Its 10 bytes of a BLOB field are the backend's 6-byte
// stored reference followed by a 4-byte handle of a value written but not yet posted (0 for none);
// the table keeps such values until the record is inserted or updated, or the cursor drops them.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/tables/compressed_blob_stream.h"
#include "engine/tables/streams.h"
#include "engine/types/raw_values.h"

namespace viz {

class TABSFieldDef;

//! One value in stored form. An empty value (uncompressed size 0) has no bytes.
struct TABSBlobData {
  //! Compressed blocks of the value; 0 when the field compresses nothing.
  int32_t BlockCount = 0;
  int64_t UncompressedSize = 0;
  //! The stored bytes (engine memory); null for an empty value.
  TABSMemBlock Bytes;

  int64_t StoredSize() const { return Bytes.size(); }
  bool IsEmpty() const { return UncompressedSize == 0; }
  //! Returns a copy with its own bytes.
  TABSBlobData Copy() const;
};

//! Where the 6-byte stored reference and the 4-byte pending handle of a BLOB field lie in a record
//! buffer, relative to the field's buffer offset.
inline constexpr int32_t kBlobReferenceSize = 6;
inline constexpr int32_t kBlobHandleOffset = 6;

//! The uncompressed content of one BLOB value, read and written through the field's compressed
//! stream. The value lives in the stream's own memory; `Value` hands back what was written.
class TABSBlobValueStream : public TABSStream {
 public:
  //! Opens `value` (taken over) under the field's compression settings. With `empty` the stream
  //! starts as a new, empty value whatever `value` held. A read-only stream refuses writes
  //! ("Cannot write to read only stream", 10115) and size changes (10116).
  TABSBlobValueStream(const TABSFieldDef& field, TABSBlobData value, bool readOnly, bool empty);

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t GetPosition() const override { return stream_->GetPosition(); }
  int64_t GetSize() const override { return stream_->GetSize(); }
  void SetSize(int64_t size) override;

  bool ReadOnly() const { return readOnly_; }
  //! Set by any write of at least one byte and by any size change.
  bool Modified() const { return modified_; }
  //! Returns a copy of the value as it stands, in stored form.
  TABSBlobData Value() const;

 private:
  TABSMemoryStream inner_;
  std::unique_ptr<TABSCompressedBLOBStream> stream_;
  bool readOnly_;
  bool modified_ = false;
};

//! Returns the stored form of `size` plain bytes under the field's compression settings.
TABSBlobData MakeBlobData(const TABSFieldDef& field, const void* bytes, int64_t size);

}  // namespace viz
