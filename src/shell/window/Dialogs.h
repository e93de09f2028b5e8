// The one seam through which the window asks every question, shows every message box and asks
// for every file name. The program uses the Qt boxes; tests install a scripted implementation
// that records what was asked and gives the answers it was told.
#pragma once

#include <QString>

class QWidget;

// A file dialog as the commands describe it: title (empty: the system's), filter in the
// "Description|*.ext|Description|*.*" form, default extension without the dot.
struct TFileRequest {
  QString Title;
  QString Filter;
  QString DefaultExtension;
};

class TDialogs {
 public:
  virtual ~TDialogs() = default;

  // Question icon, Yes and No; true for Yes. An informative text, when given, stands under the
  // question (before a write: the instrument it goes to).
  virtual bool Ask(QWidget* owner, const QString& caption, const QString& text,
                   const QString& informative = QString()) = 0;
  // Warning icon, a confirming button of the given caption and Cancel; true for the confirming
  // button. The details, when given, unfold under the texts.
  virtual bool Confirm(QWidget* owner, const QString& caption, const QString& text,
                       const QString& informative, const QString& details,
                       const QString& confirmButton) = 0;
  // Error icon and OK; an empty caption leaves the system's default. The informative text, when
  // given, stands under the sentence.
  virtual void Error(QWidget* owner, const QString& caption, const QString& text,
                     const QString& informative = QString()) = 0;
  // A plain box with OK.
  virtual void Message(QWidget* owner, const QString& caption, const QString& text) = 0;
  // The about box of the program.
  virtual void About(QWidget* owner, const QString& title, const QString& text) = 0;
  // The chosen file name, empty when the user cancels.
  virtual QString OpenFileName(QWidget* owner, const TFileRequest& request) = 0;
  virtual QString SaveFileName(QWidget* owner, const TFileRequest& request) = 0;
};

// The real boxes and file dialogs of Qt.
class TQtDialogs : public TDialogs {
 public:
  bool Ask(QWidget* owner, const QString& caption, const QString& text,
           const QString& informative = QString()) override;
  bool Confirm(QWidget* owner, const QString& caption, const QString& text,
               const QString& informative, const QString& details,
               const QString& confirmButton) override;
  void Error(QWidget* owner, const QString& caption, const QString& text,
             const QString& informative = QString()) override;
  void Message(QWidget* owner, const QString& caption, const QString& text) override;
  void About(QWidget* owner, const QString& title, const QString& text) override;
  QString OpenFileName(QWidget* owner, const TFileRequest& request) override;
  QString SaveFileName(QWidget* owner, const TFileRequest& request) override;
};

// "Файлы программы|*.prb|Все файлы|*.*" in Qt's form "Файлы программы (*.prb);;Все файлы (*.*)".
QString QtFileFilter(const QString& filter);
// The name with the default extension appended when it has none.
QString WithDefaultExtension(const QString& fileName, const QString& extension);
