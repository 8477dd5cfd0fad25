// Names of tables, fields, indexes and constraints compare case-insensitively: both sides are
// upper-cased in the engine's single-byte character set before comparing.
#pragma once

#include <string>
#include <string_view>

namespace viz {

//! Returns the name upper-cased (Windows-1252 letters, accented ones included).
std::string UpperName(std::string_view name);
//! Returns whether two names are equal when both are upper-cased.
bool SameName(std::string_view a, std::string_view b);

}  // namespace viz
