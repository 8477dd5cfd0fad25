// Data sources and data links: how data-aware controls follow a dataset. A TDataSource joins one
// dataset to any number of TDataLinks; each link turns the dataset's events into the few
// notifications a control needs, and gives a control its own view of the record window: a grid of
// 20 rows sets its link's buffer count to 20 and reads row i through SetActiveRecord(i).
//
// Notifications, by event:
//   dataset opened or closed, source enabled or changed    ActiveChanged
//   edit, insert or set-key state begun or ended          EditingChanged
//   one field changed / the record changed as a whole      RecordChanged(field / null)
//   the window was rebuilt (open, first, last, post ...)   DataSetChanged
//   the window moved (next, prior, move-by)                DataSetScrolled(distance)
//   fields or their display properties changed            LayoutChanged
//   the dataset posts: write pending edits now            UpdateData
// The defaults pass DataSetScrolled and LayoutChanged on to DataSetChanged, and DataSetChanged to
// RecordChanged(null), so a simple control overrides RecordChanged alone.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "framework/data/db_types.h"

namespace viz {

class TDataLink;
class TDataSet;
class TField;

class TDataSource {
 public:
  TDataSource() = default;
  TDataSource(const TDataSource&) = delete;
  TDataSource& operator=(const TDataSource&) = delete;
  ~TDataSource();

  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }
  TDataSet* DataSet() const { return dataSet_; }
  //! Raises "Circular datalinks are not allowed" when the dataset follows this source through its
  //! master sources.
  void SetDataSet(TDataSet* dataSet);
  //! A disabled source tells its links the dataset is inactive.
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  //! Whether controls may put the dataset into edit state when the user starts typing.
  bool AutoEdit() const { return autoEdit_; }
  void SetAutoEdit(bool autoEdit) { autoEdit_ = autoEdit; }
  //! The dataset's state as the links see it: inactive without a dataset or when disabled.
  TDataSetState State() const;
  //! Puts the dataset into edit state when AutoEdit allows and it is browsing.
  void Edit();
  //! True when `dataSet` is this source's dataset or one of the masters it follows.
  bool IsLinkedTo(const TDataSet* dataSet) const;

  std::function<void(TDataSource&)> OnStateChange;
  std::function<void(TDataSource&, TField*)> OnDataChange;
  std::function<void(TDataSource&)> OnUpdateData;

 private:
  friend class TDataSet;
  friend class TDataLink;

  void DataEvent(TDataEvent event, intptr_t info);
  void NotifyLinks(TDataEvent event, intptr_t info);
  void AddLink(TDataLink* link);
  void RemoveLink(TDataLink* link);

  std::string name_;
  TDataSet* dataSet_ = nullptr;
  bool enabled_ = true;
  bool autoEdit_ = true;
  TDataSetState lastState_ = dsInactive;
  std::vector<TDataLink*> links_;
};

class TDataLink {
 public:
  TDataLink() = default;
  TDataLink(const TDataLink&) = delete;
  TDataLink& operator=(const TDataLink&) = delete;
  virtual ~TDataLink();

  TDataSource* DataSource() const { return dataSource_; }
  void SetDataSource(TDataSource* source);
  TDataSet* DataSet() const;
  //! True while the source is enabled and its dataset open.
  bool Active() const { return active_; }
  //! True while the dataset is in edit, insert or set-key state and the link is not read-only.
  bool Editing() const { return editing_; }
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool readOnly);

  //! Rows of the window this link shows (a grid's visible rows); 1 for single-record controls.
  int BufferCount() const { return bufferCount_; }
  void SetBufferCount(int count);
  //! Rows this link can show now (at most BufferCount).
  int RecordCount() const;
  //! The active record's row in this link's view.
  int ActiveRecord() const;
  //! Makes a row of the view the dataset's active record, so that its fields read that row. For
  //! drawing rows: put the old row back afterwards. No events are sent.
  void SetActiveRecord(int row);
  bool Bof() const;
  bool Eof() const;

  //! Asks the data source to begin editing (AutoEdit); returns whether the link is editing then.
  bool Edit();
  //! Has the control write its pending edit (UpdateData), once even when re-entered.
  void UpdateRecord();

 protected:
  virtual void ActiveChanged() {}
  virtual void EditingChanged() {}
  virtual void RecordChanged(TField*) {}
  virtual void DataSetChanged() { RecordChanged(nullptr); }
  virtual void DataSetScrolled(int) { DataSetChanged(); }
  virtual void LayoutChanged() { DataSetChanged(); }
  virtual void UpdateData() {}
  //! The dataset is about to post or cancel: a control may finish its edit.
  virtual void CheckBrowseMode() {}

  //! The row in the dataset's window where this link's view begins.
  int FirstRecord() const { return firstRecord_; }

 private:
  friend class TDataSet;
  friend class TDataSource;

  void DataEvent(TDataEvent event, intptr_t info);
  void UpdateState();
  //! Keeps the active record inside the view and the view inside the window.
  void UpdateRange();
  void Detach();

  TDataSource* dataSource_ = nullptr;
  bool active_ = false;
  bool editing_ = false;
  bool readOnly_ = false;
  bool updating_ = false;
  int bufferCount_ = 1;
  int firstRecord_ = 0;
};

//! The link of a control that shows one field of the active record (an edit, a memo).
class TFieldDataLink : public TDataLink {
 public:
  const std::string& FieldName() const { return fieldName_; }
  void SetFieldName(std::string name);
  //! The field while the link is active and the dataset has a field of that name; else null.
  TField* Field() const { return field_; }
  //! Whether the control may change the field.
  bool CanModify() const;
  //! The control calls Modified when the user changed its text; Reset drops that and re-reads.
  void Modified() { modified_ = true; }
  bool IsModified() const { return modified_; }
  void Reset();

  std::function<void()> OnDataChange;     //!< show the field's value again
  std::function<void()> OnEditingChange;  //!< the control's editable state may differ
  std::function<void()> OnUpdateData;     //!< write the control's text into the field
  std::function<void()> OnActiveChange;   //!< the field may be another one, or none

 protected:
  void ActiveChanged() override;
  void EditingChanged() override;
  void RecordChanged(TField* field) override;
  void LayoutChanged() override;
  void UpdateData() override;

 private:
  void UpdateField();

  std::string fieldName_;
  TField* field_ = nullptr;
  bool modified_ = false;
};

//! The link of a detail dataset to its master: it tells the detail when the master's record
//! changes (the whole record, or one of FieldNames' fields) and when the master goes away.
class TMasterDataLink : public TDataLink {
 public:
  explicit TMasterDataLink(TDataSet* detail) : detail_(detail) {}

  TDataSet* Detail() const { return detail_; }
  //! The master fields (";"-separated), matched to the detail's key fields in order.
  const std::string& FieldNames() const { return fieldNames_; }
  void SetFieldNames(std::string names);
  //! The master's fields of FieldNames while the link is active.
  const std::vector<TField*>& Fields() const { return fields_; }

  std::function<void()> OnMasterChange;
  std::function<void()> OnMasterDisable;

 protected:
  void ActiveChanged() override;
  void RecordChanged(TField* field) override;
  void LayoutChanged() override { ActiveChanged(); }

 private:
  TDataSet* detail_;
  std::string fieldNames_;
  std::vector<TField*> fields_;
};

}  // namespace viz
