// Shared pieces of the framework tests: a table of numbered rows, an event recorder for datasets
// and a data link that records its notifications.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/data/data_source.h"
#include "framework/data/exceptions.h"
#include "memory_dataset.h"

namespace viz::test {

//! A table with ID (integer), Name (string 20) and Notes (memo); row i (from 1) has ID i, Name
//! "Name<i>" and Notes "Note <i>".
inline std::shared_ptr<MemoryTable> NumberedTable(int rows) {
  auto table = std::make_shared<MemoryTable>();
  table->AddColumn("ID", ftInteger);
  table->AddColumn("Name", ftString, 20);
  table->AddColumn("Notes", ftMemo);
  for (int id = 1; id <= rows; ++id) {
    table->AddRow({Variant::FromInteger(id), Variant::FromString("Name" + std::to_string(id)),
                   Variant::FromString("Note " + std::to_string(id))});
  }
  return table;
}

//! The IDs of the table's rows in order.
inline std::vector<int> Ids(MemoryDataSet& dataSet) {
  std::vector<int> ids;
  for (const MemoryRow& row : dataSet.Table().rows) {
    ids.push_back(row.values[0] ? *reinterpret_cast<const int32_t*>(row.values[0]->data()) : 0);
  }
  return ids;
}

//! Records every event of a dataset by name, with the state at that moment for state-sensitive ones.
struct EventLog {
  std::vector<std::string> events;

  TDataSet& dataSet;

  explicit EventLog(TDataSet& watched) : dataSet(watched) {
    auto on = [this](const char* name) { return [this, name](TDataSet&) { events.push_back(name); }; };
    dataSet.BeforeOpen = on("BeforeOpen");
    dataSet.AfterOpen = on("AfterOpen");
    dataSet.BeforeClose = on("BeforeClose");
    dataSet.AfterClose = on("AfterClose");
    dataSet.BeforeInsert = on("BeforeInsert");
    dataSet.AfterInsert = on("AfterInsert");
    dataSet.BeforeEdit = on("BeforeEdit");
    dataSet.AfterEdit = on("AfterEdit");
    dataSet.BeforePost = on("BeforePost");
    dataSet.AfterPost = on("AfterPost");
    dataSet.BeforeCancel = on("BeforeCancel");
    dataSet.AfterCancel = on("AfterCancel");
    dataSet.BeforeDelete = on("BeforeDelete");
    dataSet.AfterDelete = on("AfterDelete");
    dataSet.BeforeScroll = on("BeforeScroll");
    dataSet.AfterScroll = on("AfterScroll");
    dataSet.OnNewRecord = on("OnNewRecord");
  }
  EventLog(const EventLog&) = delete;
  ~EventLog() {
    for (TDataSetNotifyEvent* event :
         {&dataSet.BeforeOpen, &dataSet.AfterOpen, &dataSet.BeforeClose, &dataSet.AfterClose,
          &dataSet.BeforeInsert, &dataSet.AfterInsert, &dataSet.BeforeEdit, &dataSet.AfterEdit,
          &dataSet.BeforePost, &dataSet.AfterPost, &dataSet.BeforeCancel, &dataSet.AfterCancel,
          &dataSet.BeforeDelete, &dataSet.AfterDelete, &dataSet.BeforeScroll, &dataSet.AfterScroll,
          &dataSet.OnNewRecord}) {
      *event = nullptr;
    }
  }
  //! Returns the events since the last call and forgets them.
  std::vector<std::string> Take() { return std::exchange(events, {}); }
};

//! A data link that records each notification, as a grid would receive it.
class RecordingLink : public TDataLink {
 public:
  std::vector<std::string> calls;
  std::vector<std::string> Take() { return std::exchange(calls, {}); }

 protected:
  void ActiveChanged() override { calls.push_back(Active() ? "ActiveChanged(on)" : "ActiveChanged(off)"); }
  void EditingChanged() override {
    calls.push_back(Editing() ? "EditingChanged(on)" : "EditingChanged(off)");
  }
  void RecordChanged(TField* field) override {
    calls.push_back(field ? "RecordChanged(" + field->FieldName() + ")" : "RecordChanged");
  }
  void DataSetChanged() override { calls.push_back("DataSetChanged"); }
  void DataSetScrolled(int distance) override {
    calls.push_back("DataSetScrolled(" + std::to_string(distance) + ")");
  }
  void LayoutChanged() override { calls.push_back("LayoutChanged"); }
  void UpdateData() override { calls.push_back("UpdateData"); }
};

//! Returns the text of the EDatabaseError `action` raises, or "<none>".
template <typename Action>
std::string ErrorOf(Action&& action) {
  try {
    action();
  } catch (const EDatabaseError& error) {
    return error.what();
  }
  return "<none>";
}

}  // namespace viz::test
