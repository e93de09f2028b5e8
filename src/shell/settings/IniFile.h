// A small INI file: sections in square brackets, then key=value lines. Reading is forgiving
// (blanks around names and values, CR LF, comment and stray lines kept); writing changes only the
// lines of the keys written, so sections and keys the program does not know survive unchanged.
#pragma once

#include <QList>
#include <QString>

#include <optional>

class TIniFile {
 public:
  // Reads the file; a missing or unreadable file gives an empty one.
  explicit TIniFile(const QString& fileName);

  QString FileName() const { return fileName_; }
  // The name stands for something else than a regular file (a FIFO, a device, a folder): nothing
  // was read from it, and Save leaves it alone.
  bool NotRegular() const { return notRegular_; }

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
  // failed write never leaves a half-written file. False when the file cannot be written or the
  // name stands for something else than a regular file.
  bool Save() const;

  static std::optional<int> ParseInteger(const QString& text);

 private:
  struct TLine {
    QString Text;     // the line as it stands in the file
    QString Section;  // section the line belongs to
    QString Key;      // empty for anything but a key line
  };

  int FindKey(const QString& section, const QString& key) const;
  int SectionEnd(const QString& section) const;

  QString fileName_;
  bool notRegular_ = false;
  QList<TLine> lines_;
};
