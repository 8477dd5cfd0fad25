#include "framework/ui/db_grid.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QWheelEvent>
#include <algorithm>
#include <utility>

#include "framework/data/dataset.h"
#include "framework/data/field.h"
#include "framework/ui/field_text.h"
#include "framework/ui/user_messages.h"

namespace viz::ui {

namespace {

// Marks an editor whose text the user changed: the grid's refreshes must not overwrite it.
constexpr const char* kDirtyProperty = "vizDirty";

// Widest column, in characters, that a field's display width may ask for.
constexpr int kMaxColumnChars = 40;

// The cell editor: a line edit that starts the dataset's edit at the first change and keeps the
// user's text while the rows refresh.
class TGridDelegate : public QStyledItemDelegate {
 public:
  TGridDelegate(TDBGrid& grid, QWidget*& editor) : QStyledItemDelegate(&grid), grid_(grid), editor_(editor) {
    // A closed editor is deleted later; from now on it is not the grid's editor any more.
    connect(this, &QAbstractItemDelegate::closeEditor, this, [this](QWidget* closed) {
      if (editor_ == closed) editor_ = nullptr;
    });
  }

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
      const std::vector<TField*>& columns = grid_.Columns();
      if (index.column() < static_cast<int>(columns.size())) {
        TField* field = columns[index.column()];
        if (field->DataType() == ftString || field->DataType() == ftWideString ||
            field->DataType() == ftFixedChar) {
          if (field->Size() > 0) line->setMaxLength(field->Size());
        }
      }
      QObject::connect(line, &QLineEdit::textEdited, line, [this, line] { EditorChanged(line); });
    }
    editor_ = editor;
    QObject::connect(editor, &QObject::destroyed, &grid_, [this, editor] {
      if (editor_ == editor) editor_ = nullptr;
    });
    return editor;
  }

  void setEditorData(QWidget* editor, const QModelIndex& index) const override {
    if (editor->property(kDirtyProperty).toBool()) return;
    QStyledItemDelegate::setEditorData(editor, index);
  }

 private:
  void EditorChanged(QLineEdit* line) const {
    if (line->property(kDirtyProperty).toBool()) return;
    line->setProperty(kDirtyProperty, true);
    TGridDataLink& link = grid_.Link();
    if (link.Editing()) return;
    const QString typed = line->text();
    bool editing = false;
    RunReported(&grid_, [&] { editing = link.Edit(); });
    if (!editing) {
      // The dataset cannot be edited (AutoEdit off, a locked record): the change is dropped.
      line->setProperty(kDirtyProperty, false);
      emit const_cast<TGridDelegate*>(this)->closeEditor(line, QAbstractItemDelegate::RevertModelCache);
      return;
    }
    if (editor_ == line && line->text() != typed) line->setText(typed);
  }

  TDBGrid& grid_;
  QWidget*& editor_;
};

}  // namespace

// ---- TGridDataLink

void TGridDataLink::ActiveChanged() {
  grid_.LinkActiveChanged();
}
void TGridDataLink::EditingChanged() {
  grid_.LinkEditingChanged();
}
void TGridDataLink::RecordChanged(TField* field) {
  grid_.LinkRecordChanged(field);
}
void TGridDataLink::DataSetChanged() {
  grid_.LinkDataChanged();
}
void TGridDataLink::DataSetScrolled(int distance) {
  grid_.LinkDataChanged(distance);
}
void TGridDataLink::LayoutChanged() {
  grid_.LinkActiveChanged();
}
void TGridDataLink::UpdateData() {
  grid_.LinkUpdateData();
}
void TGridDataLink::CheckBrowseMode() {
  // Sent before every move and edit; only an edit in progress has an editor to finish.
  if (!IsEditState(DataSet()->State())) return;
  grid_.LinkUpdateData();
  grid_.CloseEditor();
}

// ---- TDBGridModel

TDBGridModel::TDBGridModel(TDBGrid& grid) : QAbstractTableModel(&grid), grid_(grid) {}

int TDBGridModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rows_;
}

int TDBGridModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(grid_.columns_.size());
}

QVariant TDBGridModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
  TGridDataLink& link = grid_.link_;
  if (!link.Active() || index.row() >= link.RecordCount() || index.column() >= columnCount()) return {};
  TField* field = grid_.columns_[index.column()];
  const int active = link.ActiveRecord();
  QString text;
  try {
    link.SetActiveRecord(index.row());
    text = role == Qt::EditRole && !field->IsBlob() ? FieldText(*field) : FieldDisplayText(*field);
  } catch (...) {
    text.clear();  // a value that cannot be shown leaves its cell empty; painting must go on
  }
  link.SetActiveRecord(active);
  return text;
}

bool TDBGridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || grid_.syncing_) return false;
  TGridDataLink& link = grid_.link_;
  if (!link.Active() || index.column() >= columnCount()) return false;
  // A cell of another row is written only after the dataset stands on that row.
  if (index.row() != link.ActiveRecord()) grid_.MoveToRow(index.row());
  if (index.row() != link.ActiveRecord()) return false;
  TField* field = grid_.columns_[index.column()];
  const QString text = value.toString();
  return grid_.Run([&] {
    if (!link.Editing() && FieldText(*field) == text) return;  // nothing changed: no edit
    if (!link.Edit()) return;
    SetFieldText(*field, text);
  });
}

QVariant TDBGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  const TGridDataLink& link = grid_.link_;
  if (orientation == Qt::Horizontal) {
    if (section >= columnCount()) return {};
    return QString::fromStdString(grid_.columns_[section]->DisplayName());
  }
  // The row indicator: the current record, marked by the state of its edit.
  if (!link.Active() || section != link.ActiveRecord()) return QString();
  switch (link.DataSet()->State()) {
    case dsEdit:
      return QStringLiteral("I");
    case dsInsert:
      return QStringLiteral("*");
    default:
      return QString(QChar(0x25B6));
  }
}

Qt::ItemFlags TDBGridModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (!index.isValid() || index.column() >= columnCount()) return flags;
  const TField* field = grid_.columns_[index.column()];
  if (!grid_.link_.ReadOnly() && !field->IsBlob() && field->CanModify()) flags |= Qt::ItemIsEditable;
  return flags;
}

void TDBGridModel::ResetColumns() {
  beginResetModel();
  grid_.BuildColumns();
  rows_ = grid_.link_.RecordCount();
  endResetModel();
}

void TDBGridModel::RowsChanged() {
  const int rows = grid_.link_.RecordCount();
  if (rows > rows_) {
    beginInsertRows({}, rows_, rows - 1);
    rows_ = rows;
    endInsertRows();
  } else if (rows < rows_) {
    beginRemoveRows({}, rows, rows_ - 1);
    rows_ = rows;
    endRemoveRows();
  }
  if (rows_ > 0 && columnCount() > 0) emit dataChanged(index(0, 0), index(rows_ - 1, columnCount() - 1));
  if (rows_ > 0) emit headerDataChanged(Qt::Vertical, 0, rows_ - 1);
}

void TDBGridModel::RowChanged(int row) {
  if (row < 0 || row >= rows_ || columnCount() == 0) return;
  emit dataChanged(index(row, 0), index(row, columnCount() - 1));
  emit headerDataChanged(Qt::Vertical, row, row);
}

// ---- TDBGrid

TDBGrid::TDBGrid(QWidget* parent) : QWidget(parent), link_(*this) {
  view_ = new QTableView(this);
  scrollBar_ = new QScrollBar(Qt::Vertical, this);
  model_ = new TDBGridModel(*this);
  delegate_ = new TGridDelegate(*this, editor_);
  view_->setModel(model_);
  view_->setItemDelegate(delegate_);
  // The rows in view are all the model has: the grid's own scroll bar stands for the dataset.
  view_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  view_->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  view_->setSelectionMode(QAbstractItemView::SingleSelection);
  view_->setSelectionBehavior(QAbstractItemView::SelectItems);
  view_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                         QAbstractItemView::AnyKeyPressed);
  view_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  // Rows as tall as a line of text with a little room, as database grids have them.
  view_->verticalHeader()->setMinimumSectionSize(view_->fontMetrics().height() + 4);
  view_->verticalHeader()->setDefaultSectionSize(view_->fontMetrics().height() + 6);
  view_->verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
  view_->verticalHeader()->setMinimumWidth(view_->fontMetrics().height() + 4);
  view_->horizontalHeader()->setHighlightSections(false);
  view_->setFocusProxy(nullptr);
  setFocusProxy(view_);
  view_->installEventFilter(this);
  view_->viewport()->installEventFilter(this);

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(view_);
  layout->addWidget(scrollBar_);

  scrollBar_->setEnabled(false);
  connect(scrollBar_, &QScrollBar::actionTriggered, this, &TDBGrid::ScrollAction);
  connect(view_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current, const QModelIndex& previous) {
            if (syncing_ || !current.isValid() || current.row() == previous.row()) return;
            MoveToRow(current.row());
            SyncCurrentCell();
          });
}

TDBGrid::~TDBGrid() {
  link_.SetDataSource(nullptr);
}

void TDBGrid::SetDataSource(TDataSource* source) {
  link_.SetDataSource(source);
  // An inactive source sends nothing: the grid shows its (empty) state now.
  LinkActiveChanged();
}

void TDBGrid::SetReadOnly(bool readOnly) {
  link_.SetReadOnly(readOnly);
}

int TDBGrid::SelectedIndex() const {
  const QModelIndex current = view_->currentIndex();
  return current.isValid() ? current.column() : (columns_.empty() ? -1 : 0);
}

void TDBGrid::SetSelectedIndex(int column) {
  if (column < 0 || column >= static_cast<int>(columns_.size()) || model_->rowCount() == 0) return;
  syncing_ = true;
  view_->setCurrentIndex(model_->index(link_.ActiveRecord(), column));
  syncing_ = false;
}

TField* TDBGrid::SelectedField() const {
  const int column = SelectedIndex();
  return column >= 0 && column < static_cast<int>(columns_.size()) ? columns_[column] : nullptr;
}

bool TDBGrid::Run(const std::function<void()>& operation) {
  return RunReported(this, operation);
}

// ---- Link notifications

void TDBGrid::LinkActiveChanged() {
  model_->ResetColumns();
  SyncCurrentCell();
  LocateTopRow();
  UpdateScrollBar();
}

void TDBGrid::LinkDataChanged(std::optional<int> scroll) {
  model_->RowsChanged();
  SyncCurrentCell();
  if (scroll && topRecNo_ > 0) {
    topRecNo_ += *scroll;
  } else {
    LocateTopRow();
  }
  UpdateScrollBar();
}

void TDBGrid::LocateTopRow() {
  topRecNo_ = 0;
  const int expected = std::exchange(expectedRecNo_, 0);
  if (!link_.Active()) return;
  TDataSet& dataSet = *link_.DataSet();
  if (dataSet.State() == dsInsert || dataSet.IsEmpty()) return;
  const int active = link_.ActiveRecord();
  try {
    if (dataSet.Bof() && active == 0) {
      topRecNo_ = 1;
    } else if (dataSet.Eof() && active == link_.RecordCount() - 1) {
      topRecNo_ = dataSet.RecordCount() - active;
    } else if (expected > 0) {
      topRecNo_ = expected - active;
    } else {
      const int recNo = dataSet.RecNo();
      topRecNo_ = recNo > 0 ? recNo - active : 0;
    }
  } catch (...) {
    topRecNo_ = 0;  // a dataset that cannot number its records shows a scroll bar without a position
  }
  if (topRecNo_ < 1) topRecNo_ = 0;
}

void TDBGrid::LinkEditingChanged() {
  if (!link_.Editing()) CloseEditor();
  model_->RowChanged(link_.ActiveRecord());
}

void TDBGrid::LinkRecordChanged(TField* field) {
  const int row = link_.ActiveRecord();
  if (!field) {
    model_->RowChanged(row);
    return;
  }
  const auto it = std::find(columns_.begin(), columns_.end(), field);
  if (it == columns_.end() || row >= model_->rowCount()) return;
  const QModelIndex cell = model_->index(row, static_cast<int>(it - columns_.begin()));
  emit model_->dataChanged(cell, cell);
}

void TDBGrid::LinkUpdateData() {
  CommitEditor();
}

void TDBGrid::CommitEditor() {
  if (editor_ && editor_->property(kDirtyProperty).toBool()) emit delegate_->commitData(editor_);
}

void TDBGrid::CloseEditor() {
  if (!editor_) return;
  QWidget* editor = editor_;
  editor_ = nullptr;  // the view deletes it later
  editor->setProperty(kDirtyProperty, false);
  emit delegate_->closeEditor(editor, QAbstractItemDelegate::NoHint);
}

// ---- Layout of the rows and columns

void TDBGrid::BuildColumns() {
  columns_.clear();
  if (!link_.Active()) return;
  const TFields& fields = link_.DataSet()->Fields();
  for (int index = 0; index < fields.Count(); ++index) {
    if (fields[index].Visible()) columns_.push_back(&fields[index]);
  }
}

void TDBGrid::UpdateRowCount() {
  const int rowHeight = std::max(1, view_->verticalHeader()->defaultSectionSize());
  link_.SetBufferCount(std::max(1, view_->viewport()->height() / rowHeight));
}

void TDBGrid::SyncCurrentCell() {
  // Column widths follow the fields' display widths, once per column set.
  QHeaderView* header = view_->horizontalHeader();
  if (header->count() == static_cast<int>(columns_.size())) {
    const QFontMetrics metrics = view_->fontMetrics();
    for (int column = 0; column < header->count(); ++column) {
      if (header->sectionSize(column) != header->defaultSectionSize()) continue;
      const TField* field = columns_[column];
      const int chars = std::min(std::max(field->DisplayWidth(), 1), kMaxColumnChars);
      const int byData = chars * metrics.averageCharWidth() + 8;
      const int byTitle = metrics.horizontalAdvance(QString::fromStdString(field->DisplayName())) + 12;
      header->resizeSection(column, std::max(byData, byTitle));
    }
  }
  if (model_->rowCount() == 0 || model_->columnCount() == 0) return;
  const int row = std::clamp(link_.ActiveRecord(), 0, model_->rowCount() - 1);
  const int column = std::clamp(SelectedIndex(), 0, model_->columnCount() - 1);
  const QModelIndex cell = model_->index(row, column);
  if (view_->currentIndex() == cell) return;
  syncing_ = true;
  view_->selectionModel()->setCurrentIndex(cell, QItemSelectionModel::ClearAndSelect);
  syncing_ = false;
}

void TDBGrid::UpdateScrollBar() {
  QSignalBlocker block(scrollBar_);
  if (!link_.Active()) {
    scrollBar_->setRange(0, 0);
    scrollBar_->setEnabled(false);
    return;
  }
  TDataSet& dataSet = *link_.DataSet();
  int count = 0;
  try {
    count = dataSet.RecordCount();
  } catch (...) {
    count = 0;
  }
  const int recNo = topRecNo_ > 0 ? topRecNo_ + link_.ActiveRecord() : -1;
  scrollBar_->setEnabled(true);
  scrollBar_->setRange(0, std::max(0, count - 1));
  scrollBar_->setPageStep(std::max(1, link_.BufferCount()));
  if (recNo > 0) {
    scrollBar_->setSliderPosition(recNo - 1);
  } else if (dataSet.Bof()) {
    scrollBar_->setSliderPosition(0);
  } else if (dataSet.Eof()) {
    scrollBar_->setSliderPosition(scrollBar_->maximum());
  }
}

// ---- Moving

void TDBGrid::MoveToRow(int row) {
  if (!link_.Active()) return;
  const int distance = row - link_.ActiveRecord();
  if (distance != 0) Run([&] { link_.DataSet()->MoveBy(distance); });
}

void TDBGrid::ScrollAction(int action) {
  if (!link_.Active()) return;
  TDataSet& dataSet = *link_.DataSet();
  const int page = std::max(1, link_.BufferCount());
  const int position = scrollBar_->sliderPosition();
  Run([&] {
    switch (action) {
      case QAbstractSlider::SliderSingleStepAdd:
        dataSet.Next();
        break;
      case QAbstractSlider::SliderSingleStepSub:
        dataSet.Prior();
        break;
      case QAbstractSlider::SliderPageStepAdd:
        dataSet.MoveBy(page);
        break;
      case QAbstractSlider::SliderPageStepSub:
        dataSet.MoveBy(-page);
        break;
      case QAbstractSlider::SliderToMinimum:
        dataSet.First();
        break;
      case QAbstractSlider::SliderToMaximum:
        dataSet.Last();
        break;
      case QAbstractSlider::SliderMove:
        expectedRecNo_ = position + 1;
        dataSet.SetRecNo(position + 1);
        break;
      default:
        break;
    }
  });
  expectedRecNo_ = 0;
  UpdateScrollBar();
}

void TDBGrid::DeleteCurrent() {
  if (!link_.Active() || link_.ReadOnly() || !link_.DataSet()->CanModify() || link_.DataSet()->IsEmpty())
    return;
  if (confirmDelete_ && !ConfirmDeleteRecord(this)) return;
  Run([&] { link_.DataSet()->Delete(); });
}

bool TDBGrid::HandleKey(QKeyEvent* event) {
  if (!link_.Active()) return false;
  TDataSet& dataSet = *link_.DataSet();
  const bool control = event->modifiers() & Qt::ControlModifier;
  switch (event->key()) {
    case Qt::Key_Up:
      Run([&] { dataSet.Prior(); });
      return true;
    case Qt::Key_Down:
      Run([&] {
        // Down on the last record starts a new one at the end; left unchanged, the next move drops it.
        if (dataSet.MoveBy(1) == 0 && dataSet.Eof() && dataSet.State() == dsBrowse && !link_.ReadOnly() &&
            dataSet.CanModify()) {
          dataSet.Append();
        }
      });
      return true;
    case Qt::Key_PageUp:
      Run([&] { dataSet.MoveBy(-std::max(1, link_.BufferCount())); });
      return true;
    case Qt::Key_PageDown:
      Run([&] { dataSet.MoveBy(std::max(1, link_.BufferCount())); });
      return true;
    case Qt::Key_Home:
      if (!control) return false;
      Run([&] { dataSet.First(); });
      return true;
    case Qt::Key_End:
      if (!control) return false;
      Run([&] { dataSet.Last(); });
      return true;
    case Qt::Key_Insert:
      if (link_.ReadOnly() || !dataSet.CanModify()) return false;
      Run([&] { dataSet.Insert(); });
      return true;
    case Qt::Key_Delete:
      if (!control) return false;
      DeleteCurrent();
      return true;
    case Qt::Key_Escape:
      if (!IsEditState(dataSet.State())) return false;
      Run([&] { dataSet.Cancel(); });
      return true;
    default:
      return false;
  }
}

bool TDBGrid::eventFilter(QObject* watched, QEvent* event) {
  if (watched == view_ && event->type() == QEvent::KeyPress) {
    if (HandleKey(static_cast<QKeyEvent*>(event))) return true;
  } else if (watched == view_->viewport()) {
    if (event->type() == QEvent::Resize) {
      UpdateRowCount();
    } else if (event->type() == QEvent::Wheel) {
      auto* wheel = static_cast<QWheelEvent*>(event);
      const int steps = wheel->angleDelta().y() / 120;
      if (steps != 0 && link_.Active()) Run([&] { link_.DataSet()->MoveBy(-steps); });
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TDBGrid::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  UpdateRowCount();
}

}  // namespace viz::ui
