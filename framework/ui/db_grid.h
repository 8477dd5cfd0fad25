// TDBGrid: a data-aware grid. It shows the visible fields of its data source's dataset in columns
// and as many records as fit its height, and it never holds more than those: its Qt model is a view
// of the dataset's record window (the grid's data link asks for one buffer per visible row), so a
// grid over a table of any length reads only the records in view. Scrolling moves the dataset: the
// arrow keys, page keys, the wheel and the scroll bar call Next, Prior, MoveBy, First, Last and
// RecNo, and the rows follow.
//
// Editing a cell puts the dataset into edit mode (when the source's AutoEdit allows it) and writes
// the cell's text into the field; moving to another row posts the change, Escape cancels it. Insert
// starts a new record, and so does Down on the last one (a new record left unchanged goes again at
// the next move); Ctrl+Delete deletes the current record after a confirmation.
#pragma once

#include <QAbstractTableModel>
#include <QWidget>
#include <memory>
#include <optional>
#include <vector>

#include "framework/data/data_source.h"

class QScrollBar;
class QStyledItemDelegate;
class QTableView;

namespace viz {
class TField;
}

namespace viz::ui {

class TDBGrid;

//! The grid's link: one buffer per visible row, and every notification passed on to the grid.
class TGridDataLink : public TDataLink {
 public:
  explicit TGridDataLink(TDBGrid& grid) : grid_(grid) {}
  using TDataLink::FirstRecord;

 protected:
  void ActiveChanged() override;
  void EditingChanged() override;
  void RecordChanged(TField* field) override;
  void DataSetChanged() override;
  void DataSetScrolled(int distance) override;
  void LayoutChanged() override;
  void UpdateData() override;
  void CheckBrowseMode() override;

 private:
  TDBGrid& grid_;
};

//! The Qt model of the rows in view: row i is row i of the grid's link, column j the j-th visible
//! field. Reading a cell makes its row the dataset's active record for the moment of the read and
//! puts the old one back; nothing is read from the dataset's storage.
class TDBGridModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit TDBGridModel(TDBGrid& grid);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  //! The columns changed (opened, closed, fields added): rebuilds the model.
  void ResetColumns();
  //! The rows may all differ: a new row count or new values.
  void RowsChanged();
  //! One row's values changed.
  void RowChanged(int row);

 private:
  TDBGrid& grid_;
  int rows_ = 0;
};

class TDBGrid : public QWidget {
  Q_OBJECT

 public:
  explicit TDBGrid(QWidget* parent = nullptr);
  ~TDBGrid() override;

  TDataSource* DataSource() const { return link_.DataSource(); }
  void SetDataSource(TDataSource* source);
  bool ReadOnly() const { return link_.ReadOnly(); }
  void SetReadOnly(bool readOnly);
  //! Ask before deleting a record with Ctrl+Delete (true at creation).
  bool ConfirmDelete() const { return confirmDelete_; }
  void SetConfirmDelete(bool confirm) { confirmDelete_ = confirm; }

  //! The fields shown, one per column (the dataset's visible fields).
  const std::vector<TField*>& Columns() const { return columns_; }
  //! The column of the current cell; its field is SelectedField.
  int SelectedIndex() const;
  void SetSelectedIndex(int column);
  TField* SelectedField() const;
  //! Rows the grid can show at its present height.
  int VisibleRowCount() const { return link_.BufferCount(); }

  QTableView* View() const { return view_; }
  QScrollBar* ScrollBar() const { return scrollBar_; }
  TDBGridModel* Model() const { return model_; }
  TGridDataLink& Link() { return link_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  friend class TGridDataLink;
  friend class TDBGridModel;

  // Notifications of the link.
  void LinkActiveChanged();
  //! `scroll`: the view's first row moved by that many records (a scroll), else unknown (a rebuild).
  void LinkDataChanged(std::optional<int> scroll = std::nullopt);
  void LinkEditingChanged();
  void LinkRecordChanged(TField* field);
  void LinkUpdateData();

  void BuildColumns();
  void UpdateRowCount();
  void SyncCurrentCell();
  //! Finds where the view's first row stands in the dataset after a rebuild.
  void LocateTopRow();
  void UpdateScrollBar();
  void CommitEditor();
  void CloseEditor();
  // Moves the dataset to a row of the view (posting an edit on the way).
  void MoveToRow(int row);
  void ScrollAction(int action);
  bool HandleKey(QKeyEvent* event);
  void DeleteCurrent();
  // Runs a dataset operation, reporting what it raises; returns whether it succeeded.
  bool Run(const std::function<void()>& operation);

  TGridDataLink link_;
  QTableView* view_ = nullptr;
  QScrollBar* scrollBar_ = nullptr;
  TDBGridModel* model_ = nullptr;
  QStyledItemDelegate* delegate_ = nullptr;
  QWidget* editor_ = nullptr;
  std::vector<TField*> columns_;
  bool confirmDelete_ = true;
  bool syncing_ = false;
  // The record number of the view's first row, kept across scrolls so that the scroll bar needs no
  // record number from the dataset (which may have to count its way there); 0 while unknown. A move
  // to a record number of the grid's own sets the number the next rebuild will find.
  int topRecNo_ = 0;
  int expectedRecNo_ = 0;
};

}  // namespace viz::ui
