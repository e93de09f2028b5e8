#include "shell/window/LogDialog.h"

#include <QListWidget>
#include <QVBoxLayout>

#include "views/Design.h"

TLogDialog::TLogDialog(QWidget* parent) : QDialog(parent), ListBox1(new QListWidget(this)) {
  setObjectName("LogDialog");
  setWindowTitle("Просмотр событий");
  ListBox1->setObjectName("ListBox1");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(ListBox1);
  resize(Design::Px(321), Design::Px(241));
}

void TLogDialog::ShowLog(const QStringList& lines) {
  ListBox1->clear();
  ListBox1->addItems(lines);
  exec();
}
