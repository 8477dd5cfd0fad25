#include "player/panel_rules.h"

#include <algorithm>

#include "player/text_util.h"

namespace sonvale {

bool ManualPanelVisibleAfterCode(const std::string& text, bool panelVisible) {
  return Trim(text) == kAccessCode ? !panelVisible : false;
}

int PhotoSideWidth(int windowWidth) {
  return (windowWidth / 8) * 5;
}

int SearchBoxWidth(int stripWidth) {
  return stripWidth / 2;
}

int SearchButtonLeft(int searchBoxWidth) {
  return searchBoxWidth + 2;
}

int HelpPanelLeft(int windowWidth) {
  return (windowWidth / 8) * 2;
}

PanelPlace FitInside(PanelPlace wanted, int windowWidth, int windowHeight) {
  PanelPlace place;
  place.width = std::clamp(wanted.width, 0, std::max(0, windowWidth));
  place.height = std::clamp(wanted.height, 0, std::max(0, windowHeight));
  place.left = std::clamp(wanted.left, 0, std::max(0, windowWidth - place.width));
  place.top = std::clamp(wanted.top, 0, std::max(0, windowHeight - place.height));
  return place;
}

PanelPlace HelpPanelPlace(int windowWidth, int windowHeight) {
  return FitInside({HelpPanelLeft(windowWidth), kHelpPanelTop, kHelpPanelWidth, kHelpPanelHeight},
                   windowWidth, windowHeight);
}

std::optional<std::string> WebSearchAddress(const std::string& query) {
  const std::string trimmed = Trim(query);
  if (trimmed.empty()) return std::nullopt;
  return std::string(kSearchEndpoint) + trimmed + kSearchSuffix + kSearchPublisher;
}

bool ClearSearchBoxOnFocus(const std::string& text) {
  return Trim(text) == "Google";
}

std::string EditorSearchText(const std::string& fileName) {
  const std::string stem = fileName.size() > 4 ? fileName.substr(0, fileName.size() - 4) : std::string();
  return "Lyric \"" + stem + "\"";
}

std::string HelpSearchText(const std::string& trackCaption) {
  return "lyric " + trackCaption;
}

std::optional<std::string> FileNameCheck(const std::string& trackName, const std::string& fileNameText) {
  if (Trim(trackName) == Trim(fileNameText)) return std::nullopt;
  return std::string(kFileNameCheckMessage);
}

}  // namespace sonvale
