#include "views/Page.h"

#include <QLocale>
#include <QPalette>
#include <QVBoxLayout>
#include <QVariant>
#include <QWidget>

#include "views/Design.h"
#include "views/StringGrid.h"

namespace {

constexpr int DesignRowHeight = 18;

}  // namespace

// The example carries the decimal separator that the grids show and take.
void TPageContext::RefuseNumber(const QString& text) const {
  const QString hint = "введите число, например 12" + QLocale().decimalPoint() + "5";
  const QString typed = text.trimmed();
  if (NumberRefused) NumberRefused(typed.isEmpty() ? hint : "«" + typed + "» не число: " + hint);
}

void TPage::ShowNotRead(QWidget* control, bool notRead) {
  if (control->property("notRead").toBool() == notRead) return;
  control->setProperty("notRead", notRead);
  if (!notRead) {
    control->setPalette(QPalette());
    return;
  }
  QPalette palette = control->palette();
  palette.setColor(QPalette::Base, Design::NotReadColor());
  palette.setColor(QPalette::Button, Design::NotReadColor());
  control->setPalette(palette);
}

QString TPage::Nth(int n) {
  return QString::number(n) + "-го канала";
}

QVBoxLayout* TPage::MakeSheet(const QString& name) {
  sheet_ = new QWidget;
  sheet_->setObjectName(name);
  auto* layout = new QVBoxLayout(sheet_);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  return layout;
}

TStringGrid* TPage::MakeGrid(int n, int cols, int rows, int fixedCols, int fixedRows, int tag) {
  auto* grid = new TStringGrid(QString("StringGrid%1").arg(n), cols, rows, fixedCols, fixedRows);
  grid->SetTag(tag);
  grid->SetDefaultRowHeight(Design::Px(DesignRowHeight));
  grid->SetEqualColumns(true);
  return grid;
}
