// The window's rules that need no widgets: the access code of the manual panel, the layout
// arithmetic on resize, the search box texts and the web search address.
#pragma once

#include <optional>
#include <string>

namespace sonvale {

// ---- Manual control panel
inline constexpr const char* kAccessCode = "ZUMA";

//! Returns whether the manual panel is visible after the code box lost the focus holding `text`:
//! the trimmed access code (case-sensitive) toggles it, anything else hides it.
bool ManualPanelVisibleAfterCode(const std::string& text, bool panelVisible);

// ---- Layout
inline constexpr int kWindowWidth = 950;
inline constexpr int kWindowHeight = 667;

//! Width of the picture side: (window width div 8) × 5.
int PhotoSideWidth(int windowWidth);
//! Width of the search box: half the width of its strip.
int SearchBoxWidth(int stripWidth);
//! Left edge of the search button: just right of the search box.
int SearchButtonLeft(int searchBoxWidth);
//! Left edge of the help panel: (window width div 8) × 2.
int HelpPanelLeft(int windowWidth);

//! A panel's place inside the window, in window coordinates.
struct PanelPlace {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool operator==(const PanelPlace&) const = default;
};
//! Returns the wanted place of a panel moved and, where the window is smaller, shrunk so that it lies
//! wholly inside a window of `windowWidth` × `windowHeight`.
PanelPlace FitInside(PanelPlace wanted, int windowWidth, int windowHeight);
inline constexpr int kHelpPanelTop = 48;
inline constexpr int kHelpPanelWidth = 493;
inline constexpr int kHelpPanelHeight = 546;
//! Place of the help panel: 493 × 546 at (HelpPanelLeft, 48), fitted inside the window.
PanelPlace HelpPanelPlace(int windowWidth, int windowHeight);

// ---- Search box and web search
inline constexpr const char* kSearchEndpoint = "https://www.google.com/custom?q=";
inline constexpr const char* kSearchSuffix = "&sa=Search&client=";
inline constexpr const char* kSearchPublisher = "pub-sonvale-player";
inline constexpr const char* kSearchBoxInitialText = "Lyric";
inline constexpr const char* kEmptySearchMessage = "Type anything into the template, what you wont to ask.";

//! Returns the address opened for a search of `query` (taken as it is, without percent-encoding),
//! or nothing when the trimmed query is empty.
std::optional<std::string> WebSearchAddress(const std::string& query);
//! Returns true when the search box should be emptied as it gets the focus.
bool ClearSearchBoxOnFocus(const std::string& text);
//! Search box text when the lyric editor opens: Lyric "<file name without its last 4 characters>".
std::string EditorSearchText(const std::string& fileName);
//! Search box text when the help panel opens.
std::string HelpSearchText(const std::string& trackCaption);

// ---- File name check of the lyric editor
//! The two lines are joined by a carriage return.
inline constexpr const char* kFileNameCheckMessage =
    "Please make sure, FieldName used for Index\rshould be the same with the MP3 file name.";
//! Returns the warning when the trimmed track name and the trimmed file name text differ (exactly).
std::optional<std::string> FileNameCheck(const std::string& trackName, const std::string& fileNameText);

}  // namespace sonvale
