#include "engine/components/blob_stream.h"

#include "engine/components/dataset.h"
#include "engine/types/errors.h"
#include "framework/data/blob_field.h"
#include "framework/data/exceptions.h"

namespace viz {

TABSBlobOpenMode EngineBlobMode(TBlobStreamMode mode) {
  switch (mode) {
    case bmRead:
      return bomRead;
    case bmWrite:
      return bomWrite;
    default:
      return bomReadWrite;
  }
}

// ---- TABSLocalBLOBStream

TABSLocalBLOBStream::TABSLocalBLOBStream(std::unique_ptr<TABSBlobValueStream> inner, TABSBlobOpenMode mode,
                                         int32_t fieldNo, uint8_t* recordBuffer)
    : inner_(std::move(inner)), mode_(mode), fieldNo_(fieldNo), recordBuffer_(recordBuffer) {
  if (!inner_) throw EABSException(msg::kNilPointer.At(10113));
}

TABSLocalBLOBStream::~TABSLocalBLOBStream() {
  if (owner_) owner_->EngineStreamGone();
}

int64_t TABSLocalBLOBStream::Read(void* buffer, int64_t count) {
  return inner_->Read(buffer, count);
}

int64_t TABSLocalBLOBStream::Write(const void* buffer, int64_t count) {
  if (ReadOnly()) throw EABSException(msg::kCannotWriteReadOnlyStream);
  const int64_t written = inner_->Write(buffer, count);
  if (written > 0) modified_ = true;
  return written;
}

int64_t TABSLocalBLOBStream::Seek(int64_t offset, TSeekOrigin origin) {
  return inner_->Seek(offset, origin);
}

int64_t TABSLocalBLOBStream::GetPosition() const {
  return inner_->GetPosition();
}

int64_t TABSLocalBLOBStream::GetSize() const {
  return inner_->GetSize();
}

void TABSLocalBLOBStream::SetSize(int64_t size) {
  if (ReadOnly()) throw EABSException(msg::kCannotWriteReadOnlyStream.At(10116));
  inner_->SetSize(size);
  if (inner_->GetSize() == size) modified_ = true;
}

// ---- TABSBLOBStream

TABSBLOBStream::TABSBLOBStream(TABSDataSet& dataSet, TField& field, TBlobStreamMode mode)
    : dataSet_(dataSet), field_(field) {
  const TABSBlobOpenMode engineMode = EngineBlobMode(mode);
  const bool writing = engineMode != bomRead;
  if (writing && dataSet.ReadOnly()) throw EABSException(msg::kDatasetReadOnly.At(10106));
  TField& named = dataSet.OwnField(field);
  if (writing && dataSet.State() != dsEdit && dataSet.State() != dsInsert)
    throw EABSException(msg::kDatasetNotEditOrInsert.At(10111));
  engine_ = dataSet.OpenEngineBlob(named, engineMode);
  if (!engine_) {
    // Writing into nothing would let the post keep the old value as if the new one were stored.
    if (writing) throw EABSException(msg::kBlobWriteTableLocked, named.FieldNo() - 1, named.FieldName());
    return;
  }
  engine_->SetOwner(this);
}

TABSBLOBStream::~TABSBLOBStream() {
  if (!engine_) return;
  TABSLocalBLOBStream* engine = engine_;
  const bool modified = engine->Modified();
  engine->SetOwner(nullptr);
  engine_ = nullptr;
  try {
    if (TABSLocalCursor* cursor = dataSet_.Cursor()) cursor->CloseBlob(engine);
  } catch (const Exception&) {
    // A close cannot fail its caller; the value stays as it was.
    HandleApplicationError();
    return;
  }
  if (!modified) return;
  if (field_.IsBlobField()) static_cast<TBlobField&>(field_).NotifyStreamModified();
}

int64_t TABSBLOBStream::Read(void* buffer, int64_t count) {
  return engine_ ? engine_->Read(buffer, count) : 0;
}

int64_t TABSBLOBStream::Write(const void* buffer, int64_t count) {
  return engine_ ? engine_->Write(buffer, count) : 0;
}

int64_t TABSBLOBStream::Seek(int64_t offset, TSeekOrigin origin) {
  return engine_ ? engine_->Seek(offset, origin) : 0;
}

int64_t TABSBLOBStream::GetPosition() const {
  return engine_ ? engine_->GetPosition() : 0;
}

int64_t TABSBLOBStream::GetSize() const {
  return engine_ ? engine_->GetSize() : 0;
}

void TABSBLOBStream::SetSize(int64_t size) {
  if (engine_) engine_->SetSize(size);
}

}  // namespace viz
