// BLOB and memo fields. Their content never passes through the record buffer: it is read and
// written through a stream the dataset opens on the field (TDataSet::CreateBlobStream).
#pragma once

#include "framework/data/field.h"
#include "framework/data/stream.h"

namespace viz {

//! ftBlob, ftGraphic, ftParadoxOle, ftDBaseOle, ftTypedBinary: bytes of any length.
class TBlobField : public TField {
 public:
  explicit TBlobField(TFieldType type = ftBlob) : TField(type, 0) { blobField_ = true; }
  int DataSize() const override { return 0; }

  //! Bytes of the value (0 when NULL).
  int64_t BlobSize() const;
  //! Replaces the value by the rest of `source` (from its position). REQUIRES: edit or insert state.
  void LoadFromStream(TStream& source);
  //! Appends the value to `target`.
  void SaveToStream(TStream& target) const;
  //! Set when a stream changed the value since the record was read; cleared by the dataset when it
  //! reads records again.
  bool Modified() const { return modified_; }
  void SetModified(bool modified) { modified_ = modified; }
  //! Called by a dataset's BLOB stream when it closes after changing the value: marks the field
  //! modified and signals the change to the controls. An error a control raises while it is told
  //! is reported through the application's error handler and does not stop the close.
  void NotifyStreamModified();

 protected:
  std::string GetAsString() const override;
  void SetAsStringValue(const std::string& value) override;
  Variant GetAsVariant() const override { return Variant::FromString(GetAsString()); }
  std::string GetDisplayText() const override { return "(BLOB)"; }

 private:
  bool modified_ = false;
};

//! ftMemo and ftFmtMemo: single-byte text of any length.
class TMemoField : public TBlobField {
 public:
  explicit TMemoField(TFieldType type = ftMemo) : TBlobField(type) {}

 protected:
  std::string GetDisplayText() const override { return "(MEMO)"; }
};

}  // namespace viz
