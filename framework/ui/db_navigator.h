// TDBNavigator: the bar of ten buttons that moves through a dataset and edits it: first, prior,
// next, last, insert, delete, edit, post, cancel and refresh. The buttons enable and disable with
// the dataset's state: the moves toward the start while it is not at its first record, the moves
// toward the end while it is not at its last, delete while it has a record, edit while it browses,
// post and cancel while it edits or inserts, and none while it is closed or cannot be changed.
// Delete asks "Delete record?" first unless ConfirmDelete is turned off. Each button carries a hint.
#pragma once

#include <QString>
#include <QWidget>
#include <array>
#include <functional>

#include "framework/data/data_source.h"

class QToolButton;

namespace viz::ui {

enum TNavigateBtn {
  nbFirst,
  nbPrior,
  nbNext,
  nbLast,
  nbInsert,
  nbDelete,
  nbEdit,
  nbPost,
  nbCancel,
  nbRefresh
};
inline constexpr int kNavigateButtonCount = 10;

//! The hint of each button, in button order.
inline constexpr std::array<const char*, kNavigateButtonCount> kDefaultNavigatorHints = {
    "First record",  "Prior record", "Next record", "Last record", "Insert record",
    "Delete record", "Edit record",  "Post edit",   "Cancel edit", "Refresh data"};

class TDBNavigator;

class TNavDataLink : public TDataLink {
 public:
  explicit TNavDataLink(TDBNavigator& navigator) : navigator_(navigator) {}

 protected:
  void ActiveChanged() override;
  void EditingChanged() override;
  void DataSetChanged() override;

 private:
  TDBNavigator& navigator_;
};

class TDBNavigator : public QWidget {
  Q_OBJECT

 public:
  explicit TDBNavigator(QWidget* parent = nullptr);
  ~TDBNavigator() override;

  TDataSource* DataSource() const { return link_.DataSource(); }
  void SetDataSource(TDataSource* source);

  //! Ask before deleting (true at creation).
  bool ConfirmDelete() const { return confirmDelete_; }
  void SetConfirmDelete(bool confirm) { confirmDelete_ = confirm; }
  //! Show the buttons' hints as tool tips (true at creation).
  bool ShowHint() const { return showHint_; }
  void SetShowHint(bool show);
  //! The hints, in button order; an empty text keeps the button's default hint.
  QString Hint(TNavigateBtn button) const;
  void SetHints(const std::array<QString, kNavigateButtonCount>& hints);
  //! Which buttons the bar shows (all at creation).
  bool ButtonVisible(TNavigateBtn button) const;
  void SetButtonVisible(TNavigateBtn button, bool visible);

  QToolButton* Button(TNavigateBtn button) const { return buttons_[button]; }
  //! Presses a button as a click would (nothing when it is disabled).
  void BtnClick(TNavigateBtn button);

  //! Before a button's action; raising EAbort stops it.
  std::function<void(TNavigateBtn)> BeforeAction;
  //! After a button's action (also when it failed).
  std::function<void(TNavigateBtn)> OnClick;

 protected:
  void changeEvent(QEvent* event) override;

 private:
  friend class TNavDataLink;

  void UpdateButtons();
  void ApplyHints();
  void DoAction(TNavigateBtn button);

  TNavDataLink link_;
  std::array<QToolButton*, kNavigateButtonCount> buttons_{};
  std::array<QString, kNavigateButtonCount> hints_;
  bool confirmDelete_ = true;
  bool showHint_ = true;
};

}  // namespace viz::ui
