// The base of every expression node: an owning, ordered list of children, an operator code, and the
// node's own result variant, which each evaluation overwrites (so evaluating allocates nothing
// beyond what the values themselves need).
//
// Life of a tree: the parser builds it; Bind attaches the field nodes to a row source and then
// prepares every node (types fixed, constants converted to the types they meet); Evaluate is called
// once per row. Aggregates are reset and accumulated per group instead of evaluated per row.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "engine/sql/expressions/row_source.h"
#include "engine/types/VIZVariant.h"
#include "engine/types/data_types.h"

namespace viz {

//! Operator codes (one byte). Nodes without a code of their own (constants, fields, CASE, COALESCE)
//! carry eoNone.
enum TABSExprOperator : uint8_t {
  eoNone = 0,
  eoEqual = 1,
  eoNotEqual = 2,
  eoGreater = 3,
  eoLess = 4,
  eoGreaterOrEqual = 5,
  eoLessOrEqual = 6,
  eoNot = 7,
  eoAnd = 8,
  eoOr = 9,
  eoIn = 10,
  eoNotIn = 11,
  eoExists = 12,
  eoBetween = 13,
  eoNotBetween = 14,
  eoLike = 15,
  eoNotLike = 16,
  eoIsNull = 17,
  eoIsNotNull = 18,
  eoAdd = 21,
  eoNegate = 22,
  eoMultiply = 23,
  eoDivide = 24,
  eoConcat = 25,
  eoUpper = 26,
  eoLower = 27,
  eoTrim = 28,
  eoLTrim = 29,
  eoRTrim = 30,
  eoLength = 31,
  eoPosition = 32,
  eoSubstring = 33,
  eoSum = 34,
  eoAvg = 35,
  eoMin = 36,
  eoMax = 37,
  eoCount = 38,
  eoCountAll = 39,
  eoCurrentTimestamp = 40,
  eoCurrentDate = 41,
  eoCurrentTime = 42,
  eoToDate = 43,
  eoToString = 44,
  eoExtract = 45,
  eoCast = 46,
  eoLastAutoInc = 47,
  eoMimeToBin = 48,
  eoRowNum = 49,
  eoAbs = 50,
  eoAcos = 51,
  eoAsin = 52,
  eoAtan = 53,
  eoCeil = 54,
  eoCos = 55,
  eoExp = 56,
  eoFloor = 57,
  eoLog = 58,
  eoPower = 59,
  eoRand = 60,
  eoRound = 61,
  eoSign = 62,
  eoSin = 63,
  eoSqr = 64,
  eoSqrt = 65,
};

//! Returns the name messages use for an operator ("=", "AND", "||", "COUNT(*)" ...), "unknown" for
//! the codes that have none.
std::string_view OperatorName(TABSExprOperator op);

//! The node classes.
enum class TABSExprNodeKind : uint8_t {
  Const,
  Field,
  Comparison,
  Boolean,
  Arithmetic,
  StringFunction,
  Aggregated,
  DateFunction,
  Cast,
  System,
  Blob,
  Case,
};

class TABSExprNode {
 public:
  using Ptr = std::unique_ptr<TABSExprNode>;

  TABSExprNode(TABSExprNodeKind kind, TABSExprOperator op) : kind_(kind), operator_(op) {}
  TABSExprNode(const TABSExprNode&) = delete;
  TABSExprNode& operator=(const TABSExprNode&) = delete;
  virtual ~TABSExprNode() = default;

  TABSExprNodeKind Kind() const { return kind_; }
  TABSExprOperator Operator() const { return operator_; }
  void SetOperator(TABSExprOperator op) { operator_ = op; }

  size_t ChildCount() const { return children_.size(); }
  TABSExprNode& Child(size_t index) const { return *children_[index]; }
  std::vector<Ptr>& Children() { return children_; }
  const std::vector<Ptr>& Children() const { return children_; }
  void AddChild(Ptr child) {
    if (child->height_ + 1 > height_) height_ = child->height_ + 1;
    children_.push_back(std::move(child));
  }

  //! The result of the last evaluation (for a constant: its value).
  const TABSVariant& Value() const { return value_; }

  //! Set from the expression's options when the node is made: strings compare without regard to
  //! case (filters), and a string constant ending in '*' compares by prefix (filters only).
  bool CaseInsensitive = false;
  bool PartialCompare = false;

  // ---- Virtual operations. Each default forwards to all children.

  //! After binding: fixes types (constants are converted to the type of the field they meet).
  virtual void Prepare();
  //! Computes the node's value for the current row and returns it.
  virtual const TABSVariant& Evaluate() = 0;
  //! Evaluates the node as a condition: 1 TRUE, 0 FALSE, −1 NULL. The Boolean nodes answer without
  //! writing their result variant (so Value() is then not updated); the default evaluates.
  virtual int EvaluateTruth();
  //! True when an aggregate stands at or below this node.
  virtual bool IsAggregated() const;
  //! Resets the aggregates at or below this node for a new group.
  virtual void ResetAggregate();
  //! Adds the current row to the aggregates at or below this node.
  virtual void AccumulateAggregate();
  //! Attaches the fields to `source` (and to `outer` for names `source` does not know).
  virtual void Bind(TABSExprRowSource* source, TABSExprRowSource* outer);
  //! The result's data type. The default is the common type of the children (those of no type
  //! left out); raises 30283 "Cannot determine expression type" when two of them have none.
  virtual TABSDataType GetDataType();
  //! The declared length of a string result; the default is the largest of the children's.
  virtual int32_t GetSize();
  virtual int32_t GetPrecision();
  //! Whether the node can be evaluated on `source`: all its fields found there, aggregates only on
  //! a grouping source.
  virtual bool IsApplicable(const TABSExprRowSource& source) const;
  //! Whether every field at or below the node belongs to table `name` (qualifier or bound table).
  virtual bool ReferencesOnlyTable(std::string_view name) const;

  //! Height of the subtree (a leaf is 1), kept as children are added so that the parser can bound
  //! it (evaluation and destruction recurse over it).
  uint32_t Height() const { return height_; }

 protected:
  //! Common type of the children's types, or dt::kNone when none has a type.
  TABSDataType CommonChildType();

  std::vector<Ptr> children_;
  TABSVariant value_;

 private:
  TABSExprNodeKind kind_;
  TABSExprOperator operator_;
  uint32_t height_ = 1;
};

}  // namespace viz
