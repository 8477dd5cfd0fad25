// The streams through which BLOB fields (BLOB, MEMO, WIDEMEMO) are read and written:
//
//   program / data-aware control
//        |  TABSBLOBStream      the dataset's stream on one field of its current record
//        v                      (TABSDataSet::CreateBlobStream)
//   TABSLocalBLOBStream         the cursor's engine stream, kept in the cursor's list of open streams
//        |
//        v
//   TABSBlobValueStream         the field's value in its compressed form (engine/tables/blob_value.h)
//
// Every engine stream holds its own copy of the value, so any number of readers and one writer per
// field can be open on one record at once. A writer's bytes go into the record (its BLOB cache, kept
// until the record is posted) when its stream closes, or when the record is posted with the stream
// still open. Closing a stream releases that stream only.
//
//   auto stream = table.CreateBlobStream(table.FieldByName("TheLyric"), bmWrite);  // in edit mode
//   stream->Write(text.data(), text.size());
//   stream.reset();                                                  // the field now holds `text`
//   table.Post();
#pragma once

#include <cstdint>
#include <memory>

#include "engine/tables/blob_value.h"
#include "framework/data/db_types.h"
#include "framework/data/stream.h"

namespace viz {

class TABSBLOBStream;
class TABSDataSet;
class TField;

//! Engine open modes of a BLOB stream.
enum TABSBlobOpenMode : int32_t {
  bomWrite = 0,      //!< write; the value is emptied when the stream opens
  bomRead = 1,       //!< read only
  bomReadWrite = 2,  //!< read and write, starting from the value as it is
};
//! The engine mode of a framework stream mode (read 0 -> 1, write 1 -> 0, read/write 2 -> 2).
TABSBlobOpenMode EngineBlobMode(TBlobStreamMode mode);

//! The cursor-level stream on one BLOB field of one record buffer. Made and owned by the cursor
//! (TABSLocalCursor::OpenBlob); a TABSBLOBStream using it is its owner and hears when it goes.
class TABSLocalBLOBStream : public TABSStream {
 public:
  TABSLocalBLOBStream(std::unique_ptr<TABSBlobValueStream> inner, TABSBlobOpenMode mode, int32_t fieldNo,
                      uint8_t* recordBuffer);
  //! Tells the owner that the stream is gone.
  ~TABSLocalBLOBStream() override;

  using TABSStream::Read;
  using TABSStream::Write;
  int64_t Read(void* buffer, int64_t count) override;
  //! "Cannot write to read only stream" (10115) on a read stream.
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t GetPosition() const override;
  int64_t GetSize() const override;
  //! "Cannot write to read only stream" (10116) on a read stream.
  void SetSize(int64_t size) override;

  TABSBlobOpenMode Mode() const { return mode_; }
  bool ReadOnly() const { return mode_ == bomRead; }
  bool Writer() const { return mode_ != bomRead; }
  //! The stored field number.
  int32_t FieldNo() const { return fieldNo_; }
  uint8_t* RecordBuffer() const { return recordBuffer_; }
  //! Set by any write or size change.
  bool Modified() const { return modified_; }

  TABSBLOBStream* Owner() const { return owner_; }
  void SetOwner(TABSBLOBStream* owner) { owner_ = owner; }
  //! The value as written; the stream is closed afterwards.
  TABSBlobValue TakeValue() { return inner_->TakeValue(); }

 private:
  std::unique_ptr<TABSBlobValueStream> inner_;
  TABSBlobOpenMode mode_;
  int32_t fieldNo_;
  uint8_t* recordBuffer_;
  bool modified_ = false;
  TABSBLOBStream* owner_ = nullptr;
};

//! The dataset's stream on one BLOB field of its current record (a framework stream). Without an
//! engine stream (the record could not be reached: the table was locked or the record is gone) it
//! reads and writes nothing; a write stream always has one (opening raises otherwise). When the
//! cursor lets the engine stream go first (the record is posted or cancelled, the dataset closes),
//! the stream goes on without one.
class TABSBLOBStream : public TStream {
 public:
  //! Opens the field's BLOB on the dataset's current record. Raises "Dataset is in read only mode"
  //! (10106) for a writing mode on a read-only dataset, "Dataset not in edit or insert mode" (10111)
  //! for a writing mode outside edit and insert, the cursor's errors (10110, 10115), and "Cannot
  //! open BLOB field for writing. Table is locked. FieldNo = %d, FieldName = %s" (10112) when a
  //! writing mode cannot get its engine stream.
  TABSBLOBStream(TABSDataSet& dataSet, TField& field, TBlobStreamMode mode);
  //! Closes the engine stream (storing what a writer wrote into the record); when the stream changed
  //! the value, the field is marked modified and its controls hear of the change.
  ~TABSBLOBStream() override;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t GetPosition() const override;
  int64_t GetSize() const override;
  void SetSize(int64_t size) override;

  //! Whether the record could be reached.
  bool HasEngineStream() const { return engine_ != nullptr; }
  TField& Field() const { return field_; }

 private:
  friend class TABSLocalBLOBStream;
  void EngineStreamGone() { engine_ = nullptr; }

  TABSDataSet& dataSet_;
  TField& field_;
  TABSLocalBLOBStream* engine_ = nullptr;
};

}  // namespace viz
