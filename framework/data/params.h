// Parameters of a query: named values with a field type, filled by the program or, for parameters
// the program did not bind, from the fields of a master dataset.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "framework/data/date_time.h"
#include "framework/data/db_types.h"
#include "framework/data/variant.h"

namespace viz {

class TField;

class TParam {
 public:
  explicit TParam(std::string name = {}, TFieldType dataType = ftUnknown)
      : name_(std::move(name)), dataType_(dataType) {}

  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }
  //! The type the value is handed over as; ftUnknown until a typed setter or SetDataType names one.
  TFieldType DataType() const { return dataType_; }
  void SetDataType(TFieldType type) { dataType_ = type; }
  //! Set when the program gave the value (every setter sets it); a query takes the values of
  //! unbound parameters from its master.
  bool Bound() const { return bound_; }
  void SetBound(bool bound) { bound_ = bound; }

  bool IsNull() const { return value_.IsNull(); }
  //! Makes the value NULL; the type stays.
  void Clear();
  const Variant& Value() const { return value_; }
  //! Takes a variant; an unknown type becomes the type of the variant's kind.
  void SetValue(const Variant& value);

  // Typed access. Getters convert the value ("Cannot access parameter 'X' as type Y" when it
  // cannot be); setters also set the type named in their comment.
  std::string AsString() const;
  void SetAsString(const std::string& value);  //!< ftString
  std::u16string AsWideString() const;
  void SetAsWideString(const std::u16string& value);  //!< ftWideString
  int32_t AsInteger() const;
  void SetAsInteger(int32_t value);  //!< ftInteger
  int64_t AsLargeInt() const;
  void SetAsLargeInt(int64_t value);  //!< ftLargeint
  double AsFloat() const;
  void SetAsFloat(double value);     //!< ftFloat
  void SetAsCurrency(double value);  //!< ftCurrency
  bool AsBoolean() const;
  void SetAsBoolean(bool value);  //!< ftBoolean
  TDateTime AsDateTime() const;
  void SetAsDateTime(TDateTime value);       //!< ftDateTime
  void SetAsDate(TDateTime value);           //!< ftDate
  void SetAsTime(TDateTime value);           //!< ftTime
  void SetAsMemo(const std::string& value);  //!< ftMemo
  void SetAsBlob(const std::string& bytes);  //!< ftBlob

  //! Takes the type and the value of a field of the record in use.
  void AssignField(const TField& field);
  //! Copies name, type, value and bound flag.
  void Assign(const TParam& other) { *this = other; }
  bool operator==(const TParam& other) const;

 private:
  void Set(TFieldType type, Variant value);
  [[noreturn]] void AccessError(const char* typeName) const;

  std::string name_;
  TFieldType dataType_;
  Variant value_ = Variant::Null();
  bool bound_ = false;
};

class TParams {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  TParam& operator[](int index) { return items_.at(index); }
  const TParam& operator[](int index) const { return items_.at(index); }
  TParam& CreateParam(TFieldType type, const std::string& name);
  //! The first parameter of that name (ignoring case), or null.
  TParam* FindParam(const std::string& name);
  //! Raises "Parameter 'X' not found" when absent.
  TParam& ParamByName(const std::string& name);
  void Clear() { items_.clear(); }
  //! For every parameter, the value, type and bound flag of the first one of `source` with its name.
  void AssignValues(const TParams& source);
  bool operator==(const TParams& other) const { return items_ == other.items_; }

  //! The parameter markers of an SQL text, in order, one per marker: ":name" (the name ends at a
  //! blank or at one of ; , ( ) = < > + - * / | : ? .), ":"name"", ":'name'" and ":[name]", and "?"
  //! (named Param1, Param2 ... in order). Quoted texts, bracketed and backtick names and comments
  //! hold no markers; "::" is none either. With `create` a parameter of unknown type is added for
  //! each marker.
  std::vector<std::string> ParseSQL(const std::string& sql, bool create);

  //! The component name put in front of errors.
  void SetOwnerName(std::string name) { ownerName_ = std::move(name); }

 private:
  std::vector<TParam> items_;
  std::string ownerName_;
};

}  // namespace viz
