#include "framework/ui/field_text.h"

#include "engine/components/dataset.h"
#include "engine/platform/text.h"
#include "engine/types/data_types.h"
#include "framework/data/field.h"

namespace viz::ui {

namespace {

QString FromUtf16(std::u16string_view text) {
  return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}

std::u16string ToUtf16(const QString& text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size()));
}

QString FromSingleByte(std::string_view text) {
  return FromUtf16(platform::Win1252ToUtf16(text));
}

// Whether a BLOB field of an engine dataset stores a wide memo (its bytes are UTF-16).
bool IsWideMemo(const TField& field) {
  const auto* dataSet = dynamic_cast<const TABSDataSet*>(field.DataSet());
  if (!dataSet || !dataSet->Cursor() || field.FieldNo() < 1) return false;
  const TABSLocalCursor& cursor = *dataSet->Cursor();
  const auto& visible = cursor.VisibleFields();
  if (field.FieldNo() > static_cast<int>(visible.size())) return false;
  const int32_t stored = visible[field.FieldNo() - 1].StoredField;
  if (stored < 0 || stored >= cursor.FieldDefs().Count()) return false;
  return cursor.FieldDefs()[stored].DataType() == dt::kWideMemo;
}

}  // namespace

TTextCodePage FieldCodePage(const TField& field) {
  if (field.DataType() == ftWideString) return TTextCodePage::Utf16;
  if (field.IsBlob() && IsWideMemo(field)) return TTextCodePage::Utf16;
  return TTextCodePage::SingleByte;
}

QString FieldText(const TField& field) {
  if (field.IsNull()) return {};
  if (field.DataType() == ftWideString) return FromUtf16(field.AsWideString());
  const std::string bytes = field.AsString();
  if (FieldCodePage(field) == TTextCodePage::Utf16) {
    return QString(reinterpret_cast<const QChar*>(bytes.data()), static_cast<qsizetype>(bytes.size() / 2));
  }
  return FromSingleByte(bytes);
}

QString FieldDisplayText(const TField& field) {
  if (field.IsNull()) return {};
  if (field.DataType() == ftWideString) return FromUtf16(field.AsWideString());
  return FromSingleByte(field.DisplayText());
}

void SetFieldText(TField& field, const QString& text) {
  if (text.isEmpty()) {
    // A BLOB is emptied through its stream; other fields take NULL directly.
    if (field.IsBlob()) {
      field.SetAsString({});
    } else {
      field.Clear();
    }
    return;
  }
  if (field.DataType() == ftWideString) {
    field.SetAsWideString(ToUtf16(text));
  } else if (FieldCodePage(field) == TTextCodePage::Utf16) {
    field.SetAsString(
        std::string(reinterpret_cast<const char*>(text.utf16()), static_cast<size_t>(text.size()) * 2));
  } else {
    field.SetAsString(platform::Utf16ToWin1252(ToUtf16(text)));
  }
}

}  // namespace viz::ui
