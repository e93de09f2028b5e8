// The program's application object. An error that escapes an event handler ends up here: it is
// shown through the window's report routine and the program goes on. It also loads Qt's own
// translations, so that the standard buttons and file dialogs speak the window's language.
#pragma once

#include <QApplication>
#include <QLocale>
#include <QString>

#include <functional>

class QTranslator;

class TApplication : public QApplication {
  Q_OBJECT

 public:
  TApplication(int& argc, char** argv);

  // Where an escaped error is reported; empty (as while the windows are being built): the error
  // travels on to the caller of exec().
  void SetErrorReport(std::function<void(const QString& sentence)> report);

  // Loads Qt's translations for the locale's language; false when there are none for it.
  bool LoadQtTranslations(const QLocale& locale);

  bool notify(QObject* receiver, QEvent* event) override;

 private:
  void ReportEscapedError(const QString& sentence);

  std::function<void(const QString&)> report_;
  QTranslator* qtTranslator_ = nullptr;
  bool reporting_ = false;  // an error while its report runs is not reported again
};
