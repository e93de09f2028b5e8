// A small INI file: sections in square brackets, then key=value lines. Reading is forgiving
// (blanks around names and values, CR LF, comment and stray lines kept); the file is kept as the
// bytes it holds and only the values read are decoded (as UTF-8), so writing changes only the
// lines of the keys given a new value: every other byte survives, whatever its encoding.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

class TIniFile {
 public:
  // No settings file is that large: a bigger one is not read.
  static constexpr qint64 MaxFileSize = 1024 * 1024;

  // Reads the file; a missing or unreadable file gives an empty one.
  explicit TIniFile(const QString& fileName);

  QString FileName() const { return fileName_; }
  // The name stands for something else than a regular file (a FIFO, a device, a folder): nothing
  // was read from it, and Save leaves it alone.
  bool NotRegular() const { return notRegular_; }
  // The file is larger than MaxFileSize: nothing was read from it, and Save leaves it alone.
  bool TooLarge() const { return tooLarge_; }

  std::optional<QString> ReadString(const QString& section, const QString& key) const;
  // The value as a 32-bit integer (decimal, or hex after $ or 0x); the default when the key is
  // missing or its value is no such integer.
  int ReadInteger(const QString& section, const QString& key, int defaultValue) const;
  // True for any integer other than 0.
  bool ReadBool(const QString& section, const QString& key, bool defaultValue) const;

  void WriteString(const QString& section, const QString& key, const QString& value);
  void WriteInteger(const QString& section, const QString& key, int value);
  void WriteBool(const QString& section, const QString& key, bool value);

  // Writes the whole file to a temporary file beside it and renames that into place, so a
  // failed write never leaves a half-written file. False when the file cannot be written, the
  // name stands for something else than a regular file or the file was too large to be read.
  bool Save() const;

  static std::optional<int> ParseInteger(const QString& text);

 private:
  struct TLine {
    QByteArray Bytes;  // the line as it stands in the file, its line end included
    QString Section;   // section the line belongs to
    QString Key;       // empty for anything but a key line
  };

  void Parse(const QByteArray& bytes);
  int FindKey(const QString& section, const QString& key) const;
  int SectionEnd(const QString& section) const;
  void Insert(int at, const QString& text, const QString& section, const QString& key);

  QString fileName_;
  bool notRegular_ = false;
  bool tooLarge_ = false;
  QList<TLine> lines_;
};
