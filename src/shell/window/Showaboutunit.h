// The version box: the program's description, maker and file version in the about box.
#pragma once

#include <QString>

class QWidget;
class TDialogs;

struct TVersionInfo {
  QString FileDescription;
  QString CompanyName;
  int FileVersion[4] = {};

  // Without a description or maker there is nothing to show.
  bool Valid() const { return !FileDescription.isEmpty() && !CompanyName.isEmpty(); }
};

// The program's own version information, compiled in from the build's project version.
TVersionInfo ProgramVersionInfo();

// "<description># <maker>": the part before '#' titles the box, the part after opens its text.
QString AboutApplicationText(const TVersionInfo& info);
// "Версия Файла: 1.4.3.1" and a line break.
QString AboutAdditionalText(const TVersionInfo& info);

// Shows the about box owned by owner; does nothing for missing version information.
void ShowAbout(QWidget* owner, TDialogs& dialogs, const TVersionInfo& info);
