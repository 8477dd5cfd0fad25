// Holds one page of a page manager for a scope: the page is released when the holder ends, also
// when an exception leaves the scope.
#pragma once

#include "engine/storage/VIZPage.h"

namespace viz {

class TABSPageUse {
 public:
  //! Takes over one use of `page` (may be null).
  TABSPageUse(TABSPageManager& manager, TABSPage* page) : manager_(manager), page_(page) {}
  ~TABSPageUse() { Reset(nullptr); }
  TABSPageUse(const TABSPageUse&) = delete;
  TABSPageUse& operator=(const TABSPageUse&) = delete;

  TABSPage* get() const { return page_; }
  TABSPage* operator->() const { return page_; }
  //! Releases the page held and takes over `page`.
  void Reset(TABSPage* page) {
    if (page_ != nullptr) manager_.ReleasePage(page_);
    page_ = page;
  }
  //! Gives up the page without releasing it.
  TABSPage* Release() {
    TABSPage* page = page_;
    page_ = nullptr;
    return page;
  }

 private:
  TABSPageManager& manager_;
  TABSPage* page_;
};

}  // namespace viz
