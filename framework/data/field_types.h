// The field classes of the non-BLOB field types (native forms in field.h).
#pragma once

#include "framework/data/field.h"

namespace viz {

//! ftString, ftFixedChar and (as TGuidField) ftGuid: single-byte text of at most Size characters.
//! A longer text goes to the dataset whole; the dataset cuts it to Size or refuses it.
class TStringField : public TField {
 public:
  explicit TStringField(TFieldType type = ftString, int size = 20) : TField(type, size) {}
  int DataSize() const override { return Size() + 1; }

 protected:
  std::string GetAsString() const override;
  void SetAsStringValue(const std::string& value) override;
  int64_t GetAsLargeInt() const override;
  void SetAsLargeIntValue(int64_t value) override;
  double GetAsFloat() const override;
  void SetAsFloatValue(double value) override;
  bool GetAsBoolean() const override;
  void SetAsBooleanValue(bool value) override;
  TDateTime GetAsDateTime() const override;
  void SetAsDateTimeValue(TDateTime value) override;
  Variant GetAsVariant() const override;
  int DefaultDisplayWidth() const override { return Size(); }
};

//! A globally unique identifier in its 38-character text form.
class TGuidField : public TStringField {
 public:
  TGuidField() : TStringField(ftGuid, 38) {}
};

//! ftWideString: UTF-16 text of at most Size characters; AsString gives it in single-byte form.
class TWideStringField : public TStringField {
 public:
  explicit TWideStringField(int size = 20) : TStringField(ftWideString, size) {}
  int DataSize() const override { return 2 * (Size() + 1); }

 protected:
  std::string GetAsString() const override;
  void SetAsStringValue(const std::string& value) override;
  std::u16string GetAsWideString() const override;
  void SetAsWideStringValue(const std::u16string& value) override;
  Variant GetAsVariant() const override;
};

//! ftSmallint, ftWord, ftInteger, ftAutoInc and ftLargeint. Values outside the type's range are
//! refused: "N is not a valid value for field 'X'. The allowed range is A to B".
class TIntegerField : public TField {
 public:
  explicit TIntegerField(TFieldType type = ftInteger) : TField(type, 0) {}
  int DataSize() const override;
  int64_t MinValue() const;
  int64_t MaxValue() const;

 protected:
  std::string GetAsString() const override;
  void SetAsStringValue(const std::string& value) override;
  int64_t GetAsLargeInt() const override;
  void SetAsLargeIntValue(int64_t value) override;
  double GetAsFloat() const override;
  void SetAsFloatValue(double value) override;
  Variant GetAsVariant() const override;
  int DefaultDisplayWidth() const override;
};

//! ftFloat, ftCurrency and ftBCD: a double.
class TFloatField : public TField {
 public:
  explicit TFloatField(TFieldType type = ftFloat) : TField(type, 0) {}
  int DataSize() const override { return sizeof(double); }

 protected:
  std::string GetAsString() const override;
  void SetAsStringValue(const std::string& value) override;
  int64_t GetAsLargeInt() const override;
  void SetAsLargeIntValue(int64_t value) override;
  double GetAsFloat() const override;
  void SetAsFloatValue(double value) override;
  Variant GetAsVariant() const override;
};

//! ftBoolean: texts "True" and "False"; reading a text accepts True/False, T/F, Yes/No, Y/N, 1/0.
class TBooleanField : public TField {
 public:
  TBooleanField() : TField(ftBoolean, 0) {}
  int DataSize() const override { return sizeof(int16_t); }

 protected:
  std::string GetAsString() const override;
  void SetAsStringValue(const std::string& value) override;
  bool GetAsBoolean() const override;
  void SetAsBooleanValue(bool value) override;
  Variant GetAsVariant() const override;
  int DefaultDisplayWidth() const override { return 5; }
};

//! ftDate, ftTime and ftDateTime: the framework's date-time value; the text shows the part the
//! type keeps.
class TDateTimeField : public TField {
 public:
  explicit TDateTimeField(TFieldType type = ftDateTime) : TField(type, 0) {}
  int DataSize() const override { return sizeof(double); }

 protected:
  std::string GetAsString() const override;
  void SetAsStringValue(const std::string& value) override;
  double GetAsFloat() const override { return GetAsDateTime(); }
  void SetAsFloatValue(double value) override { SetAsDateTimeValue(value); }
  TDateTime GetAsDateTime() const override;
  void SetAsDateTimeValue(TDateTime value) override;
  Variant GetAsVariant() const override;
  int DefaultDisplayWidth() const override;
};

//! ftTimeStamp: the SQL-timestamp record.
class TSQLTimeStampField : public TDateTimeField {
 public:
  TSQLTimeStampField();
  int DataSize() const override { return sizeof(TSQLTimeStamp); }

 protected:
  TDateTime GetAsDateTime() const override;
  void SetAsDateTimeValue(TDateTime value) override;
};

//! ftBytes (Size bytes) and ftVarBytes (up to Size bytes); AsString gives the bytes.
class TBytesField : public TField {
 public:
  TBytesField(TFieldType type, int size) : TField(type, size) {}
  int DataSize() const override { return DataType() == ftVarBytes ? Size() + 2 : Size(); }

 protected:
  std::string GetAsString() const override;
  void SetAsStringValue(const std::string& value) override;
  Variant GetAsVariant() const override;
  std::string GetDisplayText() const override { return DataType() == ftVarBytes ? "(VarBytes)" : "(Bytes)"; }
};

}  // namespace viz
