#include "framework/data/blob_field.h"

#include "framework/data/dataset.h"
#include "framework/data/exceptions.h"
#include "framework/data/messages.h"

namespace viz {
namespace {

TDataSet& DataSetOf(const TField& field) {
  if (!field.DataSet()) DatabaseErrorFmt(fmsg::kFieldNoDataSet, {field.DisplayName()});
  if (!field.DataSet()->Active()) DatabaseError(fmsg::kDataSetClosed, field.DataSet()->Name());
  return *field.DataSet();
}

TDataSet& WritableDataSetOf(const TField& field) {
  TDataSet& dataSet = DataSetOf(field);
  if (field.ReadOnly()) DatabaseErrorFmt(fmsg::kFieldReadOnly, {field.DisplayName()}, dataSet.Name());
  return dataSet;
}

}  // namespace

int64_t TBlobField::BlobSize() const {
  if (IsNull()) return 0;
  return DataSetOf(*this).CreateBlobStream(const_cast<TBlobField&>(*this), bmRead)->Size();
}

void TBlobField::LoadFromStream(TStream& source) {
  std::unique_ptr<TStream> stream = WritableDataSetOf(*this).CreateBlobStream(*this, bmWrite);
  int64_t remaining = source.Size() - source.Position();
  if (remaining > 0) stream->CopyFrom(source, remaining);
}

void TBlobField::SaveToStream(TStream& target) const {
  if (IsNull()) return;
  std::unique_ptr<TStream> stream = DataSetOf(*this).CreateBlobStream(const_cast<TBlobField&>(*this), bmRead);
  if (stream->Size() > 0) target.CopyFrom(*stream, 0);
}

void TBlobField::NotifyStreamModified() {
  modified_ = true;
  if (!DataSet()) return;
  try {
    DataSet()->DataEvent(deFieldChange, reinterpret_cast<intptr_t>(this));
  } catch (...) {
    HandleApplicationError();
  }
}

std::string TBlobField::GetAsString() const {
  if (IsNull()) return {};
  std::string direct;
  if (DataSetOf(*this).ReadBlobValue(const_cast<TBlobField&>(*this), direct)) return direct;
  std::unique_ptr<TStream> stream = DataSetOf(*this).CreateBlobStream(const_cast<TBlobField&>(*this), bmRead);
  std::string value(static_cast<size_t>(stream->Size()), '\0');
  stream->SetPosition(0);
  int64_t read = stream->Read(value.data(), static_cast<int64_t>(value.size()));
  value.resize(static_cast<size_t>(std::max<int64_t>(read, 0)));
  return value;
}

void TBlobField::SetAsStringValue(const std::string& value) {
  std::unique_ptr<TStream> stream = WritableDataSetOf(*this).CreateBlobStream(*this, bmWrite);
  stream->Write(value.data(), static_cast<int64_t>(value.size()));
}

}  // namespace viz
