// What the subqueries of an expression need of the query executor. A subquery (EXISTS (SELECT ...),
// x IN (SELECT ...), x > ALL | ANY | SOME (SELECT ...), a scalar (SELECT ...)) is parsed once when
// the expression is built, only to check it and step over its tokens, and run when the expression
// is evaluated: once when it does not read the outer row, else again for every outer row. The SQL
// processor that owns the expression's query implements this interface; the subquery node that uses
// it comes with the executor.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/sql/VIZLexer.h"
#include "engine/sql/expressions/row_source.h"
#include "engine/types/VIZVariant.h"

namespace viz {

//! The rows of one run of a subquery.
class TABSExprSubqueryRows {
 public:
  virtual ~TABSExprSubqueryRows() = default;
  //! The number of result fields (a scalar or IN subquery must have 1: 20246 "Subquery must have
  //! only one result field, but subquery's FieldCount=%d").
  virtual int32_t FieldCount() const = 0;
  //! Moves to the next row (the first at the first call); false after the last.
  virtual bool Next() = 0;
  //! REQUIRES: Next returned true. The value of result field `fieldNo` of the current row; valid
  //! until the next call of Next.
  virtual const TABSVariant& Value(int32_t fieldNo) = 0;
};

class TABSExprSubqueryExecutor {
 public:
  virtual ~TABSExprSubqueryExecutor() = default;
  //! Parses the SELECT that starts at the lexer's current token, raising its parse errors, and
  //! leaves the lexer on the token after it. Returns the number by which the subquery is run.
  virtual int32_t Compile(TABSLexer& lexer) = 0;
  //! Whether the subquery reads fields of the outer row (then each outer row runs it again).
  virtual bool IsCorrelated(int32_t subquery) const = 0;
  //! Runs the subquery on the outer row source's current row (`outer` may be null for a subquery
  //! that is not correlated).
  virtual std::unique_ptr<TABSExprSubqueryRows> Run(int32_t subquery, TABSExprRowSource* outer) = 0;
};

}  // namespace viz
