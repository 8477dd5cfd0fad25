// The expression node classes. Each family's operations live in a file of its own:
//   nodes_basic.cpp        constants and field references
//   nodes_logic.cpp        comparisons and the Boolean operators (NOT, AND, OR, IN, BETWEEN, LIKE, IS NULL)
//   nodes_arithmetic.cpp   + - * / and the numeric functions
//   nodes_string.cpp       concatenation and the string functions
//   nodes_aggregate.cpp    SUM, AVG, MIN, MAX, COUNT
//   nodes_date.cpp         the date functions
//   nodes_conversion.cpp   CAST, CASE and COALESCE, MIMETOBIN, ROWNUM
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>

#include "engine/sql/VIZDateFormat.h"
#include "engine/sql/expressions/node.h"
#include "engine/sql/expressions/table_access.h"
#include "engine/sql/expressions/values.h"

namespace viz {

//! A literal or a parameter's value. The value lives in the node's result variant.
class TABSExprNodeConst : public TABSExprNode {
 public:
  //! A NULL without a type (the literal NULL).
  TABSExprNodeConst() : TABSExprNode(TABSExprNodeKind::Const, eoNone) {}
  //! A copy of `value`; an empty text stays an empty text.
  explicit TABSExprNodeConst(const TABSVariant& value);

  //! For the preparation of the node that owns the constant (a conversion into the type it meets).
  TABSVariant& MutableValue() { return value_; }

  const TABSVariant& Evaluate() override { return value_; }
  TABSDataType GetDataType() override;
  int32_t GetSize() override;
};

//! A reference to a field of the row source the tree is bound to.
class TABSExprNodeField : public TABSExprNode {
 public:
  TABSExprNodeField(std::string tableName, std::string fieldName);

  //! The qualifier as written ("" when none) and the field name.
  const std::string& TableName() const { return tableName_; }
  const std::string& FieldName() const { return fieldName_; }
  bool IsBound() const { return source_ != nullptr; }
  //! True when the field was found in the outer source (a correlated reference).
  bool IsOuterReference() const { return outer_; }
  //! REQUIRES: IsBound().
  const TABSExprFieldInfo& Info() const { return info_; }

  //! Raises "Field '%s' not found" (30115 for a cursor, 30197 for an operator) when neither
  //! source has the field.
  void Bind(TABSExprRowSource* source, TABSExprRowSource* outer) override;
  //! Raises 30196 "Dataset and AO not assigned" when unbound.
  const TABSVariant& Evaluate() override;
  //! The field's stored bytes in the current row, when the source gives them in place.
  TABSFieldBytes Bytes() const { return source_ ? source_->FieldBytes(fieldNo_) : TABSFieldBytes{}; }
  TABSDataType GetDataType() override;
  int32_t GetSize() override;
  int32_t GetPrecision() override;
  bool IsApplicable(const TABSExprRowSource& source) const override;
  bool ReferencesOnlyTable(std::string_view name) const override;

 private:
  void CheckBound() const;

  std::string tableName_;
  std::string fieldName_;
  TABSExprRowSource* source_ = nullptr;
  int32_t fieldNo_ = -1;
  bool outer_ = false;
  TABSExprFieldInfo info_;
};

//! = <> > < >= <= between two values. The result is TRUE or FALSE, never NULL.
class TABSExprNodeComparison : public TABSExprNode {
 public:
  TABSExprNodeComparison(TABSExprOperator op, Ptr left, Ptr right);

  //! Null-strict (the default): a NULL operand makes every operator FALSE. Null-ordered, when one
  //! side is a field and the other a constant that is NULL or text or a date: NULL equals NULL and
  //! is less than every value.
  bool NullStrict() const { return nullStrict_; }
  //! Characters a partial compare compares (the constant's length without its '*'), or −1.
  int32_t PrefixLength() const { return prefixLength_; }
  //! Makes the comparison look only at as many characters as its text constant has (a key search
  //! for the beginning of a text).
  void CompareByPrefixOfConstant();

  void Prepare() override;
  const TABSVariant& Evaluate() override;
  int EvaluateTruth() override;
  TABSDataType GetDataType() override { return dt::kLogical; }
  int32_t GetSize() override { return 0; }

 private:
  // A field compared with a constant of its own type reads the field's bytes in place.
  enum class Direct : uint8_t { None, Fixed, NarrowText };
  // Returns the order of the operands, or −1 when the field's bytes are not at hand.
  int DirectOrder();

  bool nullStrict_ = true;
  int32_t prefixLength_ = -1;
  Direct direct_ = Direct::None;
  bool fieldOnRight_ = false;
  TABSExprNodeField* directField_ = nullptr;
  TABSExprNodeConst* directConstant_ = nullptr;
};

//! NOT, AND, OR (any number of operands), [NOT] IN (value, list...), [NOT] BETWEEN (value, low,
//! high), [NOT] LIKE (value, pattern [, escape]), IS [NOT] NULL, with NULL as the third truth value.
class TABSExprNodeBoolean : public TABSExprNode {
 public:
  explicit TABSExprNodeBoolean(TABSExprOperator op) : TABSExprNode(TABSExprNodeKind::Boolean, op) {}

  const TABSVariant& Evaluate() override;
  int EvaluateTruth() override;
  TABSDataType GetDataType() override { return dt::kLogical; }
  int32_t GetSize() override { return 0; }

 private:
  int LikeTruth();
};

//! + (any number of operands; a subtracted one is wrapped in unary minus), unary -, * and /
//! (operands in order, applied from the left), and the numeric functions VIZ (ABS) ... SQRT.
class TABSExprNodeArithmetic : public TABSExprNode {
 public:
  explicit TABSExprNodeArithmetic(TABSExprOperator op) : TABSExprNode(TABSExprNodeKind::Arithmetic, op) {}

  const TABSVariant& Evaluate() override;
  TABSDataType GetDataType() override;
  int32_t GetSize() override;

 private:
  const TABSVariant& EvaluateFunction();
  void SetRounded(long double rounded);
};

//! || (any number of operands), UPPER, LOWER, TRIM, LTRIM, RTRIM, LENGTH, POSITION (sub, s),
//! SUBSTRING (s, start [, length]).
class TABSExprNodeStringFunction : public TABSExprNode {
 public:
  explicit TABSExprNodeStringFunction(TABSExprOperator op)
      : TABSExprNode(TABSExprNodeKind::StringFunction, op) {}

  const TABSVariant& Evaluate() override;
  TABSDataType GetDataType() override;
  int32_t GetSize() override;

 private:
  const TABSVariant& EvaluateConcat();
};

//! SUM, AVG, MIN, MAX, COUNT of one argument, COUNT(*) of none. With DISTINCT each distinct
//! non-NULL value counts once.
class TABSExprNodeAggregated : public TABSExprNode {
 public:
  TABSExprNodeAggregated(TABSExprOperator op, bool distinct);

  bool Distinct() const { return distinct_; }

  const TABSVariant& Evaluate() override;
  bool IsAggregated() const override { return true; }
  void ResetAggregate() override;
  void AccumulateAggregate() override;
  TABSDataType GetDataType() override;
  int32_t GetSize() override;
  bool IsApplicable(const TABSExprRowSource& source) const override;

 private:
  struct Less {
    bool ignoreCase;
    bool operator()(const TABSVariant& a, const TABSVariant& b) const {
      return CompareValues(a, b, ignoreCase) == 1;
    }
  };
  // Returns false when DISTINCT has seen the value before.
  bool FirstOccurrence(const TABSVariant& value);

  bool distinct_;
  int64_t count_ = 0;
  // SUM adds integers in 64 bits (wrapping as LARGEINT does) until a value of a floating type
  // arrives; from then on it adds in the variant `sum_`. AVG adds as a double.
  bool integerSum_ = true;
  uint64_t integerTotal_ = 0;
  double floatTotal_ = 0;
  TABSVariant sum_;
  std::set<TABSVariant, Less> seen_;
};

//! CURRENT_TIMESTAMP, CURRENT_DATE, CURRENT_TIME, TODATE (s, format), TOSTRING (x, format),
//! EXTRACT (part FROM x).
class TABSExprNodeDateFunction : public TABSExprNode {
 public:
  enum ExtractPart : uint8_t { kYear = 0, kMonth = 1, kDay = 2, kHour = 3, kMinute = 4, kSecond = 5 };

  explicit TABSExprNodeDateFunction(TABSExprOperator op) : TABSExprNode(TABSExprNodeKind::DateFunction, op) {}
  //! TODATE and TOSTRING: the compiled format.
  void SetFormat(std::string_view format) { formatter_ = std::make_unique<TDateFormater>(format); }
  void SetExtractPart(ExtractPart part) { part_ = part; }

  const TABSVariant& Evaluate() override;
  TABSDataType GetDataType() override;
  int32_t GetSize() override;

 private:
  std::unique_ptr<TDateFormater> formatter_;
  ExtractPart part_ = kYear;
};

//! CAST (x AS type [(length)]).
class TABSExprNodeCast : public TABSExprNode {
 public:
  //! `length` may be null.
  TABSExprNodeCast(Ptr value, TABSDataType target, Ptr length);

  TABSDataType Target() const { return target_; }

  const TABSVariant& Evaluate() override;
  TABSDataType GetDataType() override { return target_; }
  int32_t GetSize() override;

 private:
  // The length given, or −1.
  int32_t GivenLength();

  TABSDataType target_;
  Ptr length_;
};

//! CASE x WHEN v THEN r ... [ELSE e] END, CASE WHEN c THEN r ... [ELSE e] END, COALESCE (a, b ...).
//! Children: [x], then WHEN/THEN pairs, then [e]; for COALESCE the arguments.
class TABSExprNodeCase : public TABSExprNode {
 public:
  TABSExprNodeCase(bool hasInput, bool coalesce)
      : TABSExprNode(TABSExprNodeKind::Case, eoNone), hasInput_(hasInput), coalesce_(coalesce) {}

  bool IsCoalesce() const { return coalesce_; }
  void SetHasElse() { hasElse_ = true; }

  const TABSVariant& Evaluate() override;
  TABSDataType GetDataType() override;
  int32_t GetSize() override;

 private:
  // The children whose values can be the result.
  template <class F>
  void ForEachResult(F f);
  const TABSVariant& TakeResult(const TABSVariant& result);

  bool hasInput_;
  bool coalesce_;
  bool hasElse_ = false;
};

//! MIMETOBIN (text): the bytes of a MIME Base64 text.
class TABSExprNodeBlob : public TABSExprNode {
 public:
  TABSExprNodeBlob() : TABSExprNode(TABSExprNodeKind::Blob, eoMimeToBin) {}

  //! A STRING, or a BLOB when the bytes hold a zero byte (a STRING would end there).
  const TABSVariant& Evaluate() override;
  TABSDataType GetDataType() override { return dt::kString; }
  int32_t GetSize() override;
};

//! ROWNUM: 1 at its first evaluation, then 2, 3, ... LASTAUTOINC (table [MEMORY], field): the last
//! value the session gave to the table's automatically incremented field, read through a table
//! reader opened when the expression is built.
class TABSExprNodeSystem : public TABSExprNode {
 public:
  //! ROWNUM.
  explicit TABSExprNodeSystem(TABSExprOperator op) : TABSExprNode(TABSExprNodeKind::System, op) {}
  //! LASTAUTOINC on `table`. Raises 30337 "Field '%s' not found" when the table has no such field.
  TABSExprNodeSystem(std::unique_ptr<TABSExprTableReader> table, std::string tableName, std::string fieldName,
                     bool inMemory);

  const TABSVariant& Evaluate() override;
  TABSDataType GetDataType() override;
  int32_t GetSize() override { return 0; }

  const std::string& TableName() const { return tableName_; }
  const std::string& FieldName() const { return fieldName_; }
  bool InMemory() const { return inMemory_; }

 private:
  int32_t rows_ = 0;
  std::unique_ptr<TABSExprTableReader> table_;
  std::string tableName_;
  std::string fieldName_;
  bool inMemory_ = false;
  int32_t fieldNo_ = -1;
  TABSDataType fieldType_ = dt::kNone;
};

//! Characters the node's value takes as text: its size for text, the display width of its type
//! otherwise, 0 for a value without a type.
int32_t TextWidth(TABSExprNode& node);

//! Decodes MIME Base64; characters outside the alphabet (line breaks, blanks) are skipped and the
//! text ends at the first '='.
std::string DecodeBase64(std::string_view text);

}  // namespace viz
