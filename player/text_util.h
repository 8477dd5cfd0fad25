// Small text helpers shared by the player's rules.
#pragma once

#include <string>
#include <string_view>

namespace sonvale {

//! Returns `text` without leading and trailing blanks and control characters (bytes up to 0x20).
std::string Trim(std::string_view text);

//! Returns true when `a` sorts before `b` ignoring ASCII case; names equal that way fall back to
//! their byte order, so the order is total and the same on every start.
bool LessIgnoringCase(std::string_view a, std::string_view b);

//! Returns true when `name` ends with `suffix`, comparing ASCII letters without case.
bool EndsWithIgnoringCase(std::string_view name, std::string_view suffix);

}  // namespace sonvale
