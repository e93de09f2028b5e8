#include "shell/settings/IniFile.h"

#include <QFile>
#include <QStringConverter>
#include <QTextStream>

#include <limits>
#include <string>

#include "files/RegularFile.h"
#include "files/SafeWrite.h"

namespace {

// The core takes paths in UTF-8 on Windows and in the file system's own encoding elsewhere.
std::string CorePath(const QString& fileName) {
#ifdef Q_OS_WIN
  return fileName.toStdString();
#else
  return QFile::encodeName(fileName).toStdString();
#endif
}

bool IsSectionLine(const QString& trimmed) {
  return trimmed.startsWith('[') && trimmed.endsWith(']');
}

}  // namespace

TIniFile::TIniFile(const QString& fileName) : fileName_(fileName) {
  const std::string path = CorePath(fileName);
  notRegular_ = FileKindOf(path) == TFileKind::Other;
  // Never a blocking open: a FIFO in place of the file would hold the program up for ever.
  const int fd = notRegular_ ? -1 : OpenRegularForReading(path);
  if (fd < 0) return;
  QFile file;
  if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
    CloseRegularFile(fd);
    return;
  }
  QTextStream in(&file);
  in.setEncoding(QStringConverter::Utf8);
  QString section;
  while (!in.atEnd()) {
    QString text = in.readLine();
    if (text.endsWith('\r')) text.chop(1);
    const QString trimmed = text.trimmed();
    TLine line{text, section, QString()};
    if (IsSectionLine(trimmed)) {
      section = trimmed.mid(1, trimmed.size() - 2).trimmed();
      line.Section = section;
    } else if (!trimmed.startsWith(';') && trimmed.contains('=')) {
      line.Key = trimmed.left(trimmed.indexOf('=')).trimmed();
    }
    lines_.append(line);
  }
}

int TIniFile::FindKey(const QString& section, const QString& key) const {
  for (int i = 0; i < lines_.size(); ++i) {
    const TLine& line = lines_[i];
    if (!line.Key.isEmpty() && line.Section.compare(section, Qt::CaseInsensitive) == 0 &&
        line.Key.compare(key, Qt::CaseInsensitive) == 0)
      return i;
  }
  return -1;
}

// Index just after the last key of the section, or -1 when the section is missing.
int TIniFile::SectionEnd(const QString& section) const {
  int end = -1;
  for (int i = 0; i < lines_.size(); ++i) {
    const TLine& line = lines_[i];
    if (line.Section.compare(section, Qt::CaseInsensitive) != 0) continue;
    if (end < 0 || !line.Key.isEmpty()) end = i + 1;
  }
  return end;
}

std::optional<QString> TIniFile::ReadString(const QString& section, const QString& key) const {
  const int i = FindKey(section, key);
  if (i < 0) return std::nullopt;
  const QString& text = lines_[i].Text;
  return text.mid(text.indexOf('=') + 1).trimmed();
}

std::optional<int> TIniFile::ParseInteger(const QString& text) {
  const QString t = text.trimmed();
  bool ok = false;
  if (t.startsWith('$') || t.startsWith("0x", Qt::CaseInsensitive)) {
    const QString digits = t.mid(t.startsWith('$') ? 1 : 2);
    if (digits.isEmpty() || digits.size() > 8 || digits.startsWith('+') || digits.startsWith('-'))
      return std::nullopt;
    const uint value = digits.toUInt(&ok, 16);
    return ok ? std::optional<int>(static_cast<int>(value)) : std::nullopt;
  }
  const qlonglong value = t.toLongLong(&ok, 10);
  if (!ok || value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
    return std::nullopt;
  return static_cast<int>(value);
}

int TIniFile::ReadInteger(const QString& section, const QString& key, int defaultValue) const {
  const std::optional<QString> text = ReadString(section, key);
  if (!text) return defaultValue;
  return ParseInteger(*text).value_or(defaultValue);
}

bool TIniFile::ReadBool(const QString& section, const QString& key, bool defaultValue) const {
  return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void TIniFile::WriteString(const QString& section, const QString& key, const QString& value) {
  const QString text = key + "=" + value;
  const int existing = FindKey(section, key);
  if (existing >= 0) {
    lines_[existing].Text = text;
    return;
  }
  int end = SectionEnd(section);
  if (end < 0) {
    if (!lines_.isEmpty() && !lines_.last().Text.trimmed().isEmpty())
      lines_.append({QString(), lines_.last().Section, QString()});
    lines_.append({"[" + section + "]", section, QString()});
    end = static_cast<int>(lines_.size());
  }
  lines_.insert(end, {text, section, key});
}

void TIniFile::WriteInteger(const QString& section, const QString& key, int value) {
  WriteString(section, key, QString::number(value));
}

void TIniFile::WriteBool(const QString& section, const QString& key, bool value) {
  WriteInteger(section, key, value ? 1 : 0);
}

bool TIniFile::Save() const {
  QByteArray bytes;
  for (const TLine& line : lines_) bytes += line.Text.toUtf8() + '\n';
  // Written beside the target, flushed and renamed over it: a failure leaves the old file whole.
  return WriteFileReplacing(CorePath(fileName_), bytes.constData(),
                            static_cast<size_t>(bytes.size()));
}
