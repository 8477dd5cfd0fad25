// The parameter values of one SQL request. The query dataset fills the list before each run; the
// lexer binds every parameter marker of the text to a copy of one of its values.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/types/VIZVariant.h"

namespace viz {

//! One parameter: a value with a name. A value without a data type (type 0) is of unknown type,
//! and a statement that uses it is refused.
class TABSSQLParam : public TABSVariant {
 public:
  std::string Name;
};

//! An ordered list that owns its parameters.
class TABSSQLParams {
 public:
  TABSSQLParams() = default;
  TABSSQLParams(const TABSSQLParams&) = delete;
  TABSSQLParams& operator=(const TABSSQLParams&) = delete;

  //! Frees every parameter.
  void Clear() { items_.clear(); }
  //! Appends an empty parameter (no name, no type, NULL) and returns it.
  TABSSQLParam& Add();
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  //! Returns parameter `index`. Raises EListError for an index outside 0 .. Count() − 1.
  TABSSQLParam& Item(int32_t index);
  const TABSSQLParam& Item(int32_t index) const;
  //! Returns the first parameter whose name equals `name` without regard to case, or null.
  TABSSQLParam* FindParam(std::string_view name);
  const TABSSQLParam* FindParam(std::string_view name) const;

 private:
  std::vector<std::unique_ptr<TABSSQLParam>> items_;
};

}  // namespace viz
