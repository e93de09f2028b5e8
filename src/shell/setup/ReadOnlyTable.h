// The tables of the setup dialogs: rows chosen whole, nothing edited in place, no row numbers,
// the last column taking the width left.
#pragma once

#include <QString>
#include <QStringList>

class QTableWidget;
class QWidget;

QTableWidget* NewReadOnlyTable(const QString& name, const QStringList& headers, QWidget* parent);
