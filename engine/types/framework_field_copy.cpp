#include "engine/types/framework_field_copy.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "framework/data/dataset.h"
#include "framework/data/exceptions.h"
#include "framework/data/field.h"
#include "framework/data/messages.h"

namespace viz {

namespace {

TDataSet& DataSetOf(const TField& field) {
  if (!field.DataSet()) DatabaseErrorFmt(fmsg::kFieldNoDataSet, {field.DisplayName()});
  return *field.DataSet();
}

std::unique_ptr<TStream> OpenBlob(const TField& field, TBlobStreamMode mode) {
  return DataSetOf(field).CreateBlobStream(const_cast<TField&>(field), mode);
}

// Whether a BLOB value starts with the header 1, 256, count of the bytes after it.
bool HasPictureHeader(TStream& stream) {
  const int64_t size = stream.Size();
  if (size < 8) return false;
  uint8_t header[8];
  stream.SetPosition(0);
  if (stream.Read(header, 8) != 8) return false;
  uint16_t first, second;
  uint32_t rest;
  std::memcpy(&first, header, 2);
  std::memcpy(&second, header + 2, 2);
  std::memcpy(&rest, header + 4, 4);
  return first == 1 && second == 256 && static_cast<int64_t>(rest) == size - 8;
}

}  // namespace

void CopyFrameworkFieldValue(const TField& source, TField& target) {
  if (source.IsNull()) {
    target.Clear();
    return;
  }
  const TFieldType from = source.DataType(), to = target.DataType();
  if (from == ftVarBytes) {
    std::vector<uint8_t> value(static_cast<size_t>(std::max(source.DataSize(), target.DataSize())), 0);
    source.GetData(value.data());
    target.SetData(value.data());
  } else if (from == ftLargeint) {
    target.SetAsLargeInt(source.AsLargeInt());
  } else if (source.IsBlob() && target.IsBlob()) {
    std::unique_ptr<TStream> in = OpenBlob(source, bmRead);
    const int64_t start = HasPictureHeader(*in) ? 8 : 0;
    in->SetPosition(start);
    std::unique_ptr<TStream> out = OpenBlob(target, bmWrite);
    if (in->Size() > start) out->CopyFrom(*in, in->Size() - start);
  } else if (from == ftWideString && target.IsBlob()) {
    const std::u16string text = source.AsWideString();
    std::unique_ptr<TStream> out = OpenBlob(target, bmWrite);
    if (!text.empty()) out->Write(text.data(), static_cast<int64_t>(text.size() * 2));
  } else if (to == ftWideString && source.IsBlob()) {
    std::unique_ptr<TStream> in = OpenBlob(source, bmRead);
    std::u16string text(static_cast<size_t>(in->Size() / 2), u'\0');
    in->SetPosition(0);
    if (!text.empty()) {
      const int64_t read = in->Read(text.data(), static_cast<int64_t>(text.size() * 2));
      text.resize(static_cast<size_t>(std::max<int64_t>(read, 0) / 2));
    }
    target.SetAsWideString(text);
  } else {
    target.SetAsVariant(source.AsVariant());
  }
}

}  // namespace viz
