// Lists the media files of a folder.
#pragma once

#include <string>
#include <vector>

namespace sonvale {

//! Returns the names (without path) of the entries of `folder` whose name ends with `extension`
//! (for example ".mp3"), compared without case, so "SONG.MP3" is found too. Entries of any kind
//! match, as a wildcard listing would; a folder that is missing or unreadable gives an empty list.
//! The names are sorted ignoring case so that the order, and with it every random pick, is the
//! same on every start whatever order the file system returns.
std::vector<std::string> ListMatching(const std::string& folder, const std::string& extension);

}  // namespace sonvale
