// Field objects: one per column a dataset shows. A field holds no value of its own; it reads and
// writes the value of the dataset's record buffer in use through the dataset's field-data hooks,
// in the field's native form:
//
//   field type                          native form (DataSize bytes)
//   ftString, ftFixedChar, ftGuid       Size + 1 bytes: single-byte text, zero-terminated
//   ftWideString                        2 × (Size + 1) bytes: UTF-16 text, zero-terminated
//   ftSmallint / ftWord                 int16 / uint16
//   ftInteger, ftAutoInc / ftLargeint   int32 / int64
//   ftBoolean                           int16, 0 false, anything else true
//   ftFloat, ftCurrency, ftBCD          double
//   ftDate, ftTime, ftDateTime          double: the framework's date-time value (date_time.h)
//   ftTimeStamp                         TSQLTimeStamp
//   ftBytes / ftVarBytes                Size bytes / uint16 length, then Size bytes
//   BLOB kinds                          none: the content moves through the dataset's BLOB stream
//
// Typed access (`AsString`, `AsInteger` ...) converts between the native form and the requested
// type; a conversion a field type does not offer raises "Cannot access field 'X' as type Y".
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "framework/data/date_time.h"
#include "framework/data/db_types.h"
#include "framework/data/variant.h"

namespace viz {

class TDataSet;

class TField {
 public:
  explicit TField(TFieldType dataType, int size = 0);
  TField(const TField&) = delete;
  TField& operator=(const TField&) = delete;
  virtual ~TField();

  // ---- Definition (changeable only while the dataset is closed)
  const std::string& FieldName() const { return fieldName_; }
  void SetFieldName(std::string name);
  TFieldType DataType() const { return dataType_; }
  //! Declared size: characters of text fields, bytes of byte fields, 0 for the others.
  int Size() const { return size_; }
  void SetSize(int size);
  //! Bytes of the native value (see the table above).
  virtual int DataSize() const = 0;
  TFieldKind FieldKind() const { return fieldKind_; }
  void SetFieldKind(TFieldKind kind);
  bool Calculated() const { return fieldKind_ != fkData; }
  bool IsBlob() const { return IsBlobFieldType(dataType_); }
  //! Whether the object is a TBlobField (or derived): a test cheap enough for every field of every
  //! record, unlike a dynamic_cast.
  bool IsBlobField() const { return blobField_; }

  bool Required() const { return required_; }
  void SetRequired(bool required) { required_ = required; }
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  //! The caption controls show; `DisplayName` is it, or the field name when it is empty.
  const std::string& DisplayLabel() const { return displayLabel_; }
  void SetDisplayLabel(std::string label);
  const std::string& DisplayName() const { return displayLabel_.empty() ? fieldName_ : displayLabel_; }
  //! Characters a grid column shows; 0 means the field's own choice.
  int DisplayWidth() const;
  void SetDisplayWidth(int width);

  // ---- Lookup fields: the value of LookupResultField of the record of LookupDataSet whose
  // LookupKeyFields equal this dataset's KeyFields.
  TDataSet* LookupDataSet() const { return lookupDataSet_; }
  void SetLookupDataSet(TDataSet* dataSet) { lookupDataSet_ = dataSet; }
  const std::string& KeyFields() const { return keyFields_; }
  void SetKeyFields(std::string names) { keyFields_ = std::move(names); }
  const std::string& LookupKeyFields() const { return lookupKeyFields_; }
  void SetLookupKeyFields(std::string names) { lookupKeyFields_ = std::move(names); }
  const std::string& LookupResultField() const { return lookupResultField_; }
  void SetLookupResultField(std::string name) { lookupResultField_ = std::move(name); }

  // ---- Place in the dataset (set when the dataset binds its fields)
  TDataSet* DataSet() const { return dataSet_; }
  //! Position (from 1) of a data field's definition in the dataset's FieldDefs; −1 for calculated
  //! and lookup fields and for fields not bound.
  int FieldNo() const { return fieldNo_; }
  //! Position in the dataset's field list.
  int Index() const { return index_; }
  //! Offset of a calculated or lookup field in the calculated-field area: a has-value byte there,
  //! the native value after it.
  int Offset() const { return offset_; }
  //! True when a control may change the value: not read-only, not calculated, and the dataset can
  //! be modified.
  bool CanModify() const;

  // ---- Values of the record in use
  bool IsNull() const;
  void Clear() { SetData(nullptr); }
  std::string AsString() const { return GetAsString(); }
  void SetAsString(const std::string& value) { SetAsStringValue(value); }
  std::u16string AsWideString() const { return GetAsWideString(); }
  void SetAsWideString(const std::u16string& value) { SetAsWideStringValue(value); }
  int32_t AsInteger() const;
  void SetAsInteger(int32_t value) { SetAsLargeIntValue(value); }
  int64_t AsLargeInt() const { return GetAsLargeInt(); }
  void SetAsLargeInt(int64_t value) { SetAsLargeIntValue(value); }
  double AsFloat() const { return GetAsFloat(); }
  void SetAsFloat(double value) { SetAsFloatValue(value); }
  bool AsBoolean() const { return GetAsBoolean(); }
  void SetAsBoolean(bool value) { SetAsBooleanValue(value); }
  TDateTime AsDateTime() const { return GetAsDateTime(); }
  void SetAsDateTime(TDateTime value) { SetAsDateTimeValue(value); }
  //! The value as a framework variant; NULL gives the null kind.
  Variant AsVariant() const;
  //! Empty and null variants clear the field; other kinds go through the typed setters.
  void SetAsVariant(const Variant& value);
  //! The text a control shows for the value.
  std::string DisplayText() const { return IsNull() ? std::string() : GetDisplayText(); }

  //! Copies the native value into `buffer` (DataSize bytes; may be null to ask only whether there
  //! is a value). Returns false when the value is NULL. Raises when the dataset is missing or closed.
  bool GetData(void* buffer) const;
  //! Writes a native value (null for NULL) into the record in use and signals the change. Raises
  //! when the dataset is missing or closed, and for a read-only field outside the set-key, filter
  //! and calculation states; the dataset's hook raises when its state allows no writing.
  void SetData(const void* buffer);

 protected:
  //! As SetData, for text fields: hands the dataset the whole text, `length` characters (bytes of
  //! a single-byte field, UTF-16 units of a wide one), not yet cut to the field's size, so that the
  //! dataset can refuse a text that does not fit instead of storing part of it.
  void SetTextData(const void* text, size_t length);
  virtual std::string GetAsString() const;
  virtual void SetAsStringValue(const std::string& value);
  virtual std::u16string GetAsWideString() const;
  virtual void SetAsWideStringValue(const std::u16string& value);
  virtual int64_t GetAsLargeInt() const;
  virtual void SetAsLargeIntValue(int64_t value);
  virtual double GetAsFloat() const;
  virtual void SetAsFloatValue(double value);
  virtual bool GetAsBoolean() const;
  virtual void SetAsBooleanValue(bool value);
  virtual TDateTime GetAsDateTime() const;
  virtual void SetAsDateTimeValue(TDateTime value);
  //! The variant of a non-NULL value.
  virtual Variant GetAsVariant() const = 0;
  virtual std::string GetDisplayText() const { return GetAsString(); }
  virtual int DefaultDisplayWidth() const { return 10; }

  //! Raises "Cannot access field 'X' as type <typeName>".
  [[noreturn]] void AccessError(const char* typeName) const;
  //! Raises the format with the text and the display name (for invalid values).
  [[noreturn]] void InvalidValue(const char* format, const std::string& text) const;
  //! The dataset's name, for the front of error messages.
  std::string OwnerName() const;
  //! Raises when the field's dataset is closed ("Cannot perform this operation on an open dataset").
  void CheckInactive() const;
  //! The checks before a write: the dataset is there and open, and a read-only field is written only
  //! in the set-key, filter and calculation states. True in the calculation, filter and new-value
  //! states, where a write signals no change.
  bool CheckWritable() const;

  // Set by TBlobField's constructor (see IsBlobField).
  bool blobField_ = false;

 private:
  friend class TDataSet;

  std::string fieldName_;
  TFieldType dataType_;
  int size_;
  TFieldKind fieldKind_ = fkData;
  bool required_ = false;
  bool readOnly_ = false;
  bool visible_ = true;
  std::string displayLabel_;
  int displayWidth_ = 0;
  TDataSet* lookupDataSet_ = nullptr;
  std::string keyFields_;
  std::string lookupKeyFields_;
  std::string lookupResultField_;

  // Set by the dataset.
  TDataSet* dataSet_ = nullptr;
  int fieldNo_ = -1;
  int index_ = -1;
  int offset_ = 0;
};

//! Makes the field object of a type (the classes of field_types.h and blob_field.h) with the declared
//! size. Raises "Field 'name' is of an unsupported type (n)" for types without a field class.
std::unique_ptr<TField> CreateField(TFieldType type, const std::string& name, int size = 0);

}  // namespace viz
