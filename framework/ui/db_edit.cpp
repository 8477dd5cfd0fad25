#include "framework/ui/db_edit.h"

#include <QKeyEvent>
#include <QKeySequence>

#include "framework/data/dataset.h"
#include "framework/data/field.h"
#include "framework/ui/field_text.h"
#include "framework/ui/user_messages.h"

namespace viz::ui {

namespace {

// Whether a key press would change the text of an edit.
bool ChangesText(QKeyEvent* event) {
  if (event->matches(QKeySequence::Paste) || event->matches(QKeySequence::Cut) ||
      event->matches(QKeySequence::Undo) || event->matches(QKeySequence::Redo) ||
      event->matches(QKeySequence::Delete) || event->matches(QKeySequence::DeleteEndOfWord) ||
      event->matches(QKeySequence::DeleteStartOfWord) || event->matches(QKeySequence::DeleteEndOfLine)) {
    return true;
  }
  switch (event->key()) {
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return true;
    default:
      break;
  }
  const QString text = event->text();
  return !text.isEmpty() && text.at(0).isPrint() && !(event->modifiers() & Qt::ControlModifier);
}

// Memos show line breaks as typed on this system; a stored CR LF or lone CR is one break.
QString ShownLines(QString text) {
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QChar('\r'), QChar('\n'));
  return text;
}

}  // namespace

// ---- TFieldControlLink

TFieldControlLink::TFieldControlLink(QWidget& control, std::function<QString()> text,
                                     std::function<void(const QString&)> show, std::function<void()> editable)
    : control_(control), text_(std::move(text)), show_(std::move(show)), editable_(std::move(editable)) {
  OnDataChange = [this] { Load(); };
  OnEditingChange = [this] { editable_(); };
  OnActiveChange = [this] { editable_(); };
  OnUpdateData = [this] {
    if (TField* field = Field()) SetFieldText(*field, text_());
  };
}

TFieldControlLink::~TFieldControlLink() {
  // The control is being destroyed: leaving the source must not call back into it.
  OnDataChange = OnEditingChange = OnActiveChange = OnUpdateData = nullptr;
  SetDataSource(nullptr);
}

void TFieldControlLink::Attach(TDataSource* source) {
  SetDataSource(source);
  Load();
  editable_();
}

void TFieldControlLink::SetControlReadOnly(bool readOnly) {
  SetReadOnly(readOnly);
  editable_();
}

void TFieldControlLink::Load() {
  QString shown;
  if (TField* field = Field()) RunReported(&control_, [&] { shown = FieldText(*field); });
  loading_ = true;
  show_(shown);
  loading_ = false;
}

void TFieldControlLink::TextChanged() {
  if (!loading_) Modified();
}

bool TFieldControlLink::BeginChange() {
  if (!CanModify()) return false;
  if (Editing()) return true;
  bool editing = false;
  RunReported(&control_, [&] { editing = Edit(); });
  return editing;
}

bool TFieldControlLink::Exit() {
  if (!IsModified() || !Editing()) return true;
  return RunReported(&control_, [&] { UpdateRecord(); });
}

// ---- TDBEdit

TDBEdit::TDBEdit(QWidget* parent)
    : QLineEdit(parent),
      link_(
          *this, [this] { return text(); },
          [this](const QString& shown) {
            if (shown != text()) setText(shown);
          },
          [this] { UpdateEditable(); }) {
  connect(this, &QLineEdit::textChanged, this, [this] { link_.TextChanged(); });
  connect(this, &QLineEdit::textEdited, this, [this] { UserEdited(); });
  UpdateEditable();
}

void TDBEdit::UpdateEditable() {
  TField* field = link_.Field();
  setReadOnly(!link_.CanModify());
  const bool sized = field && (field->DataType() == ftString || field->DataType() == ftWideString ||
                               field->DataType() == ftFixedChar);
  // Setting the length, even to the same value, drops the selection: only a new one is set.
  const int length = sized && field->Size() > 0 ? field->Size() : 32767;
  if (maxLength() != length) setMaxLength(length);
}

void TDBEdit::UserEdited() {
  if (link_.Editing()) return;
  // A change that came without a key (a paste from the context menu): the edit begins now.
  // Beginning it re-reads the record into the control, so the user's text and cursor are put back.
  const QString typed = text();
  const int cursor = cursorPosition();
  if (!link_.BeginChange()) {
    link_.Load();
    return;
  }
  if (text() != typed) {
    setText(typed);
    setCursorPosition(cursor);
  }
  link_.Modified();
}

void TDBEdit::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && link_.IsModified()) {
    link_.Reset();
    selectAll();
    return;
  }
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    link_.Exit();
    QLineEdit::keyPressEvent(event);
    return;
  }
  if (ChangesText(event) && !link_.BeginChange()) {
    event->accept();  // a control whose dataset cannot be edited swallows the change
    return;
  }
  QLineEdit::keyPressEvent(event);
}

void TDBEdit::focusOutEvent(QFocusEvent* event) {
  const bool written = link_.Exit();
  QLineEdit::focusOutEvent(event);
  if (!written) {
    selectAll();
    setFocus();
    return;
  }
  emit exited();
}

// ---- TDBMemo

TDBMemo::TDBMemo(QWidget* parent)
    : QPlainTextEdit(parent),
      link_(
          *this, [this] { return toPlainText(); },
          [this](const QString& shown) {
            const QString lines = ShownLines(shown);
            if (lines != toPlainText()) setPlainText(lines);
          },
          [this] { setReadOnly(!link_.CanModify()); }) {
  connect(this, &QPlainTextEdit::textChanged, this, [this] { link_.TextChanged(); });
  setReadOnly(true);
}

bool TDBMemo::BeginUserChange() {
  if (link_.Editing()) return true;
  // Beginning the edit re-reads the record; the cursor is put back where the user left it.
  const int position = textCursor().position();
  const int anchor = textCursor().anchor();
  if (!link_.BeginChange()) return false;
  QTextCursor cursor = textCursor();
  const int end = static_cast<int>(toPlainText().size());
  cursor.setPosition(std::min(anchor, end));
  cursor.setPosition(std::min(position, end), QTextCursor::KeepAnchor);
  setTextCursor(cursor);
  return true;
}

void TDBMemo::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && link_.IsModified()) {
    link_.Reset();
    return;
  }
  if (ChangesText(event) && !BeginUserChange()) {
    event->accept();
    return;
  }
  QPlainTextEdit::keyPressEvent(event);
}

void TDBMemo::insertFromMimeData(const QMimeData* source) {
  if (!BeginUserChange()) return;
  QPlainTextEdit::insertFromMimeData(source);
}

void TDBMemo::focusOutEvent(QFocusEvent* event) {
  const bool written = link_.Exit();
  QPlainTextEdit::focusOutEvent(event);
  if (!written) {
    setFocus();
    return;
  }
  emit exited();
}

}  // namespace viz::ui
