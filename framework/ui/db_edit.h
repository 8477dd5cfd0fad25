// TDBEdit and TDBMemo: a line edit and a plain-text memo that show one field of the active record
// and write it back. The text is shown as the field's code page says (field_text.h), so accented
// letters of single-byte fields and any character of wide ones appear as they are.
//
// The first change the user makes puts the dataset into edit mode (when the source's AutoEdit
// allows it; otherwise the control stays read-only in effect and the change is dropped). A changed
// text goes into the field when the control loses the focus and whenever the dataset posts; Escape
// puts the field's value back. A text set by the program counts as a change too, so that a program
// can fill a record it put into edit mode through the controls.
#pragma once

#include <QLineEdit>
#include <QPlainTextEdit>
#include <functional>

#include "framework/data/data_source.h"

namespace viz::ui {

//! The link of a control that shows one field as text: it loads the field's text into the control,
//! writes the control's text back, and begins the dataset's edit for a change by the user.
class TFieldControlLink : public TFieldDataLink {
 public:
  //! `text` reads the control's text, `show` puts a text into it, `editable` updates its read-only
  //! state and limits after the field or the state changed.
  TFieldControlLink(QWidget& control, std::function<QString()> text, std::function<void(const QString&)> show,
                    std::function<void()> editable);
  ~TFieldControlLink() override;

  void Attach(TDataSource* source);
  void SetControlReadOnly(bool readOnly);
  //! Shows the field's text (nothing while there is no field).
  void Load();
  //! The control's text changed: a change to write unless it is the field's own text being loaded.
  void TextChanged();
  //! Before a change by the user: puts the dataset into edit mode; false when it cannot be.
  bool BeginChange();
  //! The control loses the focus: writes a pending change into the field. False when the field
  //! refused it (the error was reported and the control should keep the focus).
  bool Exit();

 private:
  QWidget& control_;
  std::function<QString()> text_;
  std::function<void(const QString&)> show_;
  std::function<void()> editable_;
  bool loading_ = false;
};

class TDBEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit TDBEdit(QWidget* parent = nullptr);

  TDataSource* DataSource() const { return link_.DataSource(); }
  void SetDataSource(TDataSource* source) { link_.Attach(source); }
  const std::string& DataField() const { return link_.FieldName(); }
  void SetDataField(const std::string& name) { link_.SetFieldName(name); }
  //! The field shown, or null while there is none.
  TField* Field() const { return link_.Field(); }
  //! A read-only control never changes its field.
  bool ReadOnly() const { return link_.ReadOnly(); }
  void SetReadOnly(bool readOnly) { link_.SetControlReadOnly(readOnly); }
  //! Writes a changed text into the field now (the dataset must be editing).
  void UpdateRecord() { link_.UpdateRecord(); }

 signals:
  //! The control lost the focus after its text went into the field.
  void exited();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  void UpdateEditable();
  void UserEdited();

  TFieldControlLink link_;
};

class TDBMemo : public QPlainTextEdit {
  Q_OBJECT

 public:
  explicit TDBMemo(QWidget* parent = nullptr);

  TDataSource* DataSource() const { return link_.DataSource(); }
  void SetDataSource(TDataSource* source) { link_.Attach(source); }
  const std::string& DataField() const { return link_.FieldName(); }
  void SetDataField(const std::string& name) { link_.SetFieldName(name); }
  TField* Field() const { return link_.Field(); }
  bool ReadOnly() const { return link_.ReadOnly(); }
  void SetReadOnly(bool readOnly) { link_.SetControlReadOnly(readOnly); }
  void UpdateRecord() { link_.UpdateRecord(); }

 signals:
  void exited();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void insertFromMimeData(const QMimeData* source) override;

 private:
  //! BeginChange, with the text cursor kept where the user left it.
  bool BeginUserChange();

  TFieldControlLink link_;
};

}  // namespace viz::ui
