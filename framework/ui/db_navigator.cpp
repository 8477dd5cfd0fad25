#include "framework/ui/db_navigator.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>

#include "framework/data/dataset.h"
#include "framework/ui/user_messages.h"

namespace viz::ui {

namespace {

constexpr int kGlyphSize = 16;

const char* const kButtonNames[kNavigateButtonCount] = {"nbFirst",  "nbPrior",  "nbNext", "nbLast",
                                                        "nbInsert", "nbDelete", "nbEdit", "nbPost",
                                                        "nbCancel", "nbRefresh"};

// The picture of a button, drawn in `color` on a 16 × 16 square.
QPixmap Glyph(TNavigateBtn button, const QColor& color) {
  QPixmap pixmap(kGlyphSize, kGlyphSize);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(color);
  auto triangle = [&](double tipX, double baseX) {
    QPainterPath path;
    path.moveTo(tipX, 8);
    path.lineTo(baseX, 3);
    path.lineTo(baseX, 13);
    path.closeSubpath();
    painter.drawPath(path);
  };
  QPen line(color, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  switch (button) {
    case nbFirst:
      painter.drawRect(QRectF(3, 3, 2, 10));
      triangle(5, 12);
      break;
    case nbPrior:
      triangle(4, 11);
      break;
    case nbNext:
      triangle(12, 5);
      break;
    case nbLast:
      triangle(11, 4);
      painter.drawRect(QRectF(11, 3, 2, 10));
      break;
    case nbInsert:
      painter.drawRect(QRectF(7, 2, 2, 12));
      painter.drawRect(QRectF(2, 7, 12, 2));
      break;
    case nbDelete:
      painter.drawRect(QRectF(2, 7, 12, 2));
      break;
    case nbEdit: {
      QPainterPath path;
      path.moveTo(8, 3);
      path.lineTo(14, 12);
      path.lineTo(2, 12);
      path.closeSubpath();
      painter.drawPath(path);
      break;
    }
    case nbPost:
      painter.setPen(line);
      painter.setBrush(Qt::NoBrush);
      painter.drawPolyline(QPolygonF({QPointF(3, 8.5), QPointF(6.5, 12), QPointF(13, 4)}));
      break;
    case nbCancel:
      painter.setPen(line);
      painter.drawLine(QPointF(4, 4), QPointF(12, 12));
      painter.drawLine(QPointF(12, 4), QPointF(4, 12));
      break;
    case nbRefresh: {
      painter.setPen(line);
      painter.setBrush(Qt::NoBrush);
      painter.drawArc(QRectF(3, 3, 10, 10), 60 * 16, 290 * 16);
      painter.setPen(Qt::NoPen);
      painter.setBrush(color);
      QPainterPath head;
      head.moveTo(9.5, 0.5);
      head.lineTo(14, 3.5);
      head.lineTo(9.5, 6.5);
      head.closeSubpath();
      painter.drawPath(head);
      break;
    }
  }
  return pixmap;
}

QIcon ButtonIcon(TNavigateBtn button, const QPalette& palette) {
  QIcon icon;
  icon.addPixmap(Glyph(button, palette.color(QPalette::Active, QPalette::ButtonText)), QIcon::Normal);
  icon.addPixmap(Glyph(button, palette.color(QPalette::Disabled, QPalette::ButtonText)), QIcon::Disabled);
  return icon;
}

}  // namespace

// ---- TNavDataLink

void TNavDataLink::ActiveChanged() {
  navigator_.UpdateButtons();
}
void TNavDataLink::EditingChanged() {
  navigator_.UpdateButtons();
}
void TNavDataLink::DataSetChanged() {
  navigator_.UpdateButtons();
}

// ---- TDBNavigator

TDBNavigator::TDBNavigator(QWidget* parent) : QWidget(parent), link_(*this) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  for (int index = 0; index < kNavigateButtonCount; ++index) {
    const auto button = static_cast<TNavigateBtn>(index);
    auto* tool = new QToolButton(this);
    tool->setObjectName(QString::fromLatin1(kButtonNames[index]));
    tool->setIcon(ButtonIcon(button, palette()));
    tool->setIconSize(QSize(kGlyphSize, kGlyphSize));
    tool->setAutoRaise(false);
    tool->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    tool->setMinimumSize(24, 22);
    tool->setFocusPolicy(Qt::NoFocus);
    connect(tool, &QToolButton::clicked, this, [this, button] { BtnClick(button); });
    buttons_[index] = tool;
    layout->addWidget(tool);
  }
  // The bar is one row of buttons: as wide as it is given, as tall as a button.
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  ApplyHints();
  UpdateButtons();
}

TDBNavigator::~TDBNavigator() {
  link_.SetDataSource(nullptr);
}

void TDBNavigator::SetDataSource(TDataSource* source) {
  link_.SetDataSource(source);
  UpdateButtons();
}

void TDBNavigator::SetShowHint(bool show) {
  showHint_ = show;
  ApplyHints();
}

QString TDBNavigator::Hint(TNavigateBtn button) const {
  return hints_[button].isEmpty() ? QString::fromLatin1(kDefaultNavigatorHints[button]) : hints_[button];
}

void TDBNavigator::SetHints(const std::array<QString, kNavigateButtonCount>& hints) {
  hints_ = hints;
  ApplyHints();
}

void TDBNavigator::ApplyHints() {
  for (int index = 0; index < kNavigateButtonCount; ++index) {
    buttons_[index]->setToolTip(showHint_ ? Hint(static_cast<TNavigateBtn>(index)) : QString());
  }
}

bool TDBNavigator::ButtonVisible(TNavigateBtn button) const {
  return !buttons_[button]->isHidden();
}

void TDBNavigator::SetButtonVisible(TNavigateBtn button, bool visible) {
  buttons_[button]->setVisible(visible);
}

void TDBNavigator::UpdateButtons() {
  TDataSet* dataSet = link_.Active() ? link_.DataSet() : nullptr;
  const bool on = isEnabled() && dataSet;
  const bool up = on && !dataSet->Bof();
  const bool down = on && !dataSet->Eof();
  const bool canModify = on && !link_.ReadOnly() && dataSet->CanModify();
  const bool editing = link_.Editing();
  buttons_[nbFirst]->setEnabled(up);
  buttons_[nbPrior]->setEnabled(up);
  buttons_[nbNext]->setEnabled(down);
  buttons_[nbLast]->setEnabled(down);
  buttons_[nbInsert]->setEnabled(canModify);
  buttons_[nbDelete]->setEnabled(canModify && !dataSet->IsEmpty());
  buttons_[nbEdit]->setEnabled(canModify && !editing);
  buttons_[nbPost]->setEnabled(canModify && editing);
  buttons_[nbCancel]->setEnabled(canModify && editing);
  buttons_[nbRefresh]->setEnabled(on);
}

void TDBNavigator::BtnClick(TNavigateBtn button) {
  if (!buttons_[button]->isEnabled() || !link_.Active()) return;
  RunReported(this, [&] {
    if (BeforeAction) BeforeAction(button);
    DoAction(button);
  });
  if (OnClick) RunReported(this, [&] { OnClick(button); });
}

void TDBNavigator::DoAction(TNavigateBtn button) {
  TDataSet& dataSet = *link_.DataSet();
  switch (button) {
    case nbFirst:
      dataSet.First();
      break;
    case nbPrior:
      dataSet.Prior();
      break;
    case nbNext:
      dataSet.Next();
      break;
    case nbLast:
      dataSet.Last();
      break;
    case nbInsert:
      dataSet.Insert();
      break;
    case nbDelete:
      if (!confirmDelete_ || ConfirmDeleteRecord(this)) dataSet.Delete();
      break;
    case nbEdit:
      dataSet.Edit();
      break;
    case nbPost:
      dataSet.Post();
      break;
    case nbCancel:
      dataSet.Cancel();
      break;
    case nbRefresh:
      dataSet.Refresh();
      break;
  }
}

void TDBNavigator::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::EnabledChange) {
    UpdateButtons();
  } else if (event->type() == QEvent::PaletteChange) {
    for (int index = 0; index < kNavigateButtonCount; ++index) {
      buttons_[index]->setIcon(ButtonIcon(static_cast<TNavigateBtn>(index), palette()));
    }
  }
}

}  // namespace viz::ui
