// File names handed from the window to the core: the core takes paths in UTF-8 on Windows (it
// opens them with the wide API) and in the file system's own encoding elsewhere. QFile::encodeName
// on Windows gives the ANSI code page, in which a Cyrillic folder name is lost.
#pragma once

#include <QFile>
#include <QString>

#include <string>

inline std::string CorePath(const QString& fileName) {
#ifdef Q_OS_WIN
  return fileName.toStdString();
#else
  return QFile::encodeName(fileName).toStdString();
#endif
}
