// The record window of a dataset and the moves over it: first, last, move-by, bookmarks, record
// numbers, resynchronisation and the window's size.
#include <algorithm>

#include "framework/data/data_source.h"
#include "framework/data/dataset.h"
#include "framework/data/exceptions.h"
#include "framework/data/messages.h"

namespace viz {

// ---- Buffers

void TDataSet::AllocateBuffers(int count) {
  FreeBuffers();
  buffers_.reserve(count + 1);
  for (int index = 0; index <= count; ++index) buffers_.push_back(AllocRecordBuffer());
  bufferCount_ = count;
}

void TDataSet::FreeBuffers() {
  for (TRecordBuffer& buffer : buffers_) FreeRecordBuffer(buffer);
  buffers_.clear();
  bufferCount_ = 0;
  ClearBuffers();
}

void TDataSet::ClearBuffers() {
  recordCount_ = 0;
  activeRecord_ = 0;
  currentRecord_ = -1;
  bof_ = true;
  eof_ = true;
}

void TDataSet::ActivateBuffers() {
  recordCount_ = 1;
  activeRecord_ = 0;
  currentRecord_ = 0;
  bof_ = false;
  eof_ = false;
}

void TDataSet::MoveBuffer(int from, int to) {
  if (from < to) {
    std::rotate(buffers_.begin() + from, buffers_.begin() + from + 1, buffers_.begin() + to + 1);
  } else if (from > to) {
    std::rotate(buffers_.begin() + to, buffers_.begin() + from, buffers_.begin() + from + 1);
  }
}

void TDataSet::InitRecord(TRecordBuffer buffer) {
  InternalInitRecord(buffer);
  ClearCalcFields(buffer);
  SetBookmarkFlag(buffer, bfInserted);
}

void TDataSet::SetCurrentRecord(int index) {
  if (currentRecord_ == index) return;
  TRecordBuffer buffer = buffers_[index];
  switch (GetBookmarkFlag(buffer)) {
    case bfCurrent:
    case bfInserted:
      InternalSetToRecord(buffer);
      break;
    case bfBOF:
      InternalFirst();
      break;
    case bfEOF:
      InternalLast();
      break;
  }
  currentRecord_ = index;
}

void TDataSet::UpdateCursorPos() {
  if (recordCount_ > 0) SetCurrentRecord(activeRecord_);
}

bool TDataSet::GetNextRecord() {
  if (recordCount_ > 0) SetCurrentRecord(recordCount_ - 1);
  if (GetRecord(buffers_[recordCount_], gmNext, true) != grOK) {
    CursorPosChanged();
    return false;
  }
  if (recordCount_ == 0) {
    ActivateBuffers();
  } else if (recordCount_ < bufferCount_) {
    ++recordCount_;
  } else {
    MoveBuffer(0, recordCount_);  // the first record leaves the full window
    if (activeRecord_ > 0) --activeRecord_;
  }
  currentRecord_ = recordCount_ - 1;
  return true;
}

bool TDataSet::GetPriorRecord() {
  if (recordCount_ > 0) SetCurrentRecord(0);
  if (GetRecord(buffers_[recordCount_], gmPrior, true) != grOK) {
    CursorPosChanged();
    return false;
  }
  if (recordCount_ == 0) {
    ActivateBuffers();
  } else {
    MoveBuffer(recordCount_, 0);  // in a full window the last record leaves it
    if (recordCount_ < bufferCount_) {
      ++recordCount_;
      ++activeRecord_;
    } else if (activeRecord_ < recordCount_ - 1) {
      ++activeRecord_;
    }
  }
  currentRecord_ = 0;
  return true;
}

void TDataSet::GetNextRecords() {
  while (recordCount_ < bufferCount_ && GetNextRecord()) {
  }
}

void TDataSet::GetPriorRecords() {
  while (recordCount_ < bufferCount_ && GetPriorRecord()) {
  }
}

// ---- Moves

void TDataSet::First() {
  CheckBrowseMode();
  DoBeforeScroll();
  ClearBuffers();
  try {
    InternalFirst();
    GetNextRecord();
    GetNextRecords();
  } catch (...) {
    DataEvent(deDataSetChange);
    throw;
  }
  bof_ = true;
  eof_ = recordCount_ == 0;
  DataEvent(deDataSetChange);
  DoAfterScroll();
}

void TDataSet::Last() {
  CheckBrowseMode();
  DoBeforeScroll();
  ClearBuffers();
  try {
    InternalLast();
    GetPriorRecord();
    GetPriorRecords();
  } catch (...) {
    DataEvent(deDataSetChange);
    throw;
  }
  eof_ = true;
  bof_ = recordCount_ == 0;
  DataEvent(deDataSetChange);
  DoAfterScroll();
}

int TDataSet::MoveBy(int distance) {
  CheckBrowseMode();
  if (!((distance > 0 && !eof_) || (distance < 0 && !bof_))) return 0;
  bof_ = false;
  eof_ = false;
  const int oldRecordCount = recordCount_;
  int moved = 0;
  int shifted = 0;  // records that left the window at the top (negative: at the bottom)
  DoBeforeScroll();
  auto notify = [&] {
    if (recordCount_ != oldRecordCount) {
      DataEvent(deDataSetChange);
    } else {
      DataEvent(deDataSetScroll, shifted);
    }
  };
  try {
    for (; distance > 0; --distance, ++moved) {
      if (activeRecord_ < recordCount_ - 1) {
        ++activeRecord_;
        continue;
      }
      bool full = recordCount_ == bufferCount_;
      if (!GetNextRecord()) {
        eof_ = true;
        break;
      }
      if (full) ++shifted;
      activeRecord_ = recordCount_ - 1;
    }
    for (; distance < 0; ++distance, --moved) {
      if (activeRecord_ > 0) {
        --activeRecord_;
        continue;
      }
      bool full = recordCount_ == bufferCount_;
      if (!GetPriorRecord()) {
        bof_ = true;
        break;
      }
      if (full) --shifted;
      activeRecord_ = 0;
    }
  } catch (...) {
    notify();
    throw;
  }
  notify();
  DoAfterScroll();
  return moved;
}

void TDataSet::SetRecNo(int recNo) {
  CheckBrowseMode();
  DoBeforeScroll();
  InternalSetRecNo(recNo);
  Resync(false, true);
  DoAfterScroll();
}

void TDataSet::Resync(bool exact, bool center) {
  TRecordBuffer spare = buffers_[recordCount_];
  CursorPosChanged();
  if (exact) {
    if (GetRecord(spare, gmCurrent, true) != grOK) DatabaseError(fmsg::kRecordNotFound, name_);
  } else if (GetRecord(spare, gmCurrent, false) != grOK && GetRecord(spare, gmNext, false) != grOK &&
             GetRecord(spare, gmPrior, false) != grOK) {
    ClearBuffers();
    DataEvent(deDataSetChange);
    return;
  }
  int before = center ? (bufferCount_ - 1) / 2 : std::min(activeRecord_, bufferCount_ - 1);
  MoveBuffer(recordCount_, 0);
  ActivateBuffers();
  try {
    while (before > 0 && GetPriorRecord()) --before;
    GetNextRecords();
    GetPriorRecords();
  } catch (...) {
    DataEvent(deDataSetChange);
    throw;
  }
  DataEvent(deDataSetChange);
}

// ---- Bookmarks

TBookmark TDataSet::GetBookmark() {
  TRecordBuffer buffer = ActiveBuffer();
  if (!Active() || !buffer || bookmarkSize_ <= 0 || GetBookmarkFlag(buffer) != bfCurrent) return {};
  TBookmark bookmark(bookmarkSize_);
  GetBookmarkData(buffer, bookmark.data());
  return bookmark;
}

void TDataSet::GotoBookmark(const TBookmark& bookmark) {
  if (bookmark.empty()) return;
  CheckBrowseMode();
  DoBeforeScroll();
  InternalGotoBookmark(bookmark.data());
  Resync(true, true);
  DoAfterScroll();
}

// ---- The window's size

int TDataSet::LinkBufferCount() const {
  int count = 1;
  for (const TDataSource* source : dataSources_) {
    for (const TDataLink* link : source->links_) count = std::max(count, link->bufferCount_);
  }
  return count;
}

void TDataSet::UpdateBufferCount() {
  if (!Active() || buffers_.empty()) return;
  const int wanted = LinkBufferCount();
  if (wanted == bufferCount_) return;
  if (wanted > bufferCount_) {
    for (int index = bufferCount_; index < wanted; ++index) buffers_.push_back(AllocRecordBuffer());
    bufferCount_ = wanted;
    GetNextRecords();
    GetPriorRecords();
  } else {
    // The active record stays in the window: records go from the top first, then from the bottom.
    int drop = std::max(0, activeRecord_ - wanted + 1);
    if (drop > 0) {
      std::rotate(buffers_.begin(), buffers_.begin() + drop, buffers_.end());
      recordCount_ -= drop;
      activeRecord_ -= drop;
      currentRecord_ = currentRecord_ >= drop ? currentRecord_ - drop : -1;
    }
    if (recordCount_ > wanted) {
      recordCount_ = wanted;
      if (currentRecord_ >= wanted) currentRecord_ = -1;
    }
    for (size_t index = wanted + 1; index < buffers_.size(); ++index) FreeRecordBuffer(buffers_[index]);
    buffers_.resize(wanted + 1);
    bufferCount_ = wanted;
  }
  DataEvent(deDataSetChange);
}

}  // namespace viz
