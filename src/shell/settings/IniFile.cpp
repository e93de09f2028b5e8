#include "shell/settings/IniFile.h"

#include <QFile>

#include <limits>
#include <string>

#include "files/RegularFile.h"
#include "files/SafeWrite.h"
#include "shell/settings/CorePath.h"

namespace {

bool IsSectionLine(const QByteArray& trimmed) {
  return trimmed.startsWith('[') && trimmed.endsWith(']');
}

// The line without its end (LF or CR LF).
QByteArray Content(const QByteArray& line) {
  QByteArray text = line;
  if (text.endsWith('\n')) text.chop(1);
  if (text.endsWith('\r')) text.chop(1);
  return text;
}

QByteArray LineEnd(const QByteArray& line) {
  if (line.endsWith("\r\n")) return "\r\n";
  return line.endsWith('\n') ? "\n" : "";
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
  // A byte beyond the limit tells a file that is too large, even one that grows meanwhile.
  const QByteArray bytes = file.read(MaxFileSize + 1);
  tooLarge_ = bytes.size() > MaxFileSize;
  if (!tooLarge_) Parse(bytes);
}

void TIniFile::Parse(const QByteArray& bytes) {
  QString section;
  for (qsizetype start = 0; start < bytes.size();) {
    const qsizetype newline = bytes.indexOf('\n', start);
    const qsizetype end = newline < 0 ? bytes.size() : newline + 1;
    TLine line{bytes.mid(start, end - start), section, QString()};
    QByteArray trimmed = Content(line.Bytes).trimmed();
    if (start == 0 && trimmed.startsWith("\xEF\xBB\xBF")) trimmed = trimmed.mid(3).trimmed();
    if (IsSectionLine(trimmed)) {
      section = QString::fromUtf8(trimmed.mid(1, trimmed.size() - 2)).trimmed();
      line.Section = section;
    } else if (!trimmed.startsWith(';') && trimmed.contains('=')) {
      line.Key = QString::fromUtf8(trimmed.left(trimmed.indexOf('='))).trimmed();
    }
    lines_.append(line);
    start = end;
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
  const QByteArray text = Content(lines_[i].Bytes);
  return QString::fromUtf8(text.mid(text.indexOf('=') + 1)).trimmed();
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
  const int existing = FindKey(section, key);
  if (existing >= 0) {
    // A value that stays the same keeps its line as it stands, bytes and blanks alike.
    if (ReadString(section, key) == value) return;
    TLine& line = lines_[existing];
    line.Bytes = (key + "=" + value).toUtf8() + LineEnd(line.Bytes);
    return;
  }
  int end = SectionEnd(section);
  if (end < 0) {
    if (!lines_.isEmpty() && !Content(lines_.last().Bytes).trimmed().isEmpty())
      Insert(static_cast<int>(lines_.size()), QString(), lines_.last().Section, QString());
    Insert(static_cast<int>(lines_.size()), "[" + section + "]", section, QString());
    end = static_cast<int>(lines_.size());
  }
  Insert(end, key + "=" + value, section, key);
}

// A new line ends as the file's first line does; the last line of a file that had no line end
// gets one when a line comes after it.
void TIniFile::Insert(int at, const QString& text, const QString& section, const QString& key) {
  const QByteArray end = !lines_.isEmpty() && lines_.first().Bytes.endsWith("\r\n") ? "\r\n" : "\n";
  if (at > 0 && !lines_[at - 1].Bytes.endsWith('\n')) lines_[at - 1].Bytes += end;
  lines_.insert(at, {text.toUtf8() + end, section, key});
}

void TIniFile::WriteInteger(const QString& section, const QString& key, int value) {
  WriteString(section, key, QString::number(value));
}

void TIniFile::WriteBool(const QString& section, const QString& key, bool value) {
  WriteInteger(section, key, value ? 1 : 0);
}

bool TIniFile::Save() const {
  if (notRegular_ || tooLarge_) return false;
  QByteArray bytes;
  for (const TLine& line : lines_) bytes += line.Bytes;
  // Written beside the target, flushed and renamed over it: a failure leaves the old file whole.
  return WriteFileReplacing(CorePath(fileName_), bytes.constData(),
                            static_cast<size_t>(bytes.size()));
}
