#include "shell/window/Application.h"

#include <QLibraryInfo>
#include <QStringDecoder>
#include <QTranslator>

#include <exception>
#include <utility>

#include "modbus/Modbusunit.h"

// Qt's own folder, or the program's resource where the translations travel inside the program (the
// Windows build: K7104_QT_TRANSLATIONS). Outside any namespace, as the resource's start asks.
static QString QtTranslationsFolder() {
#ifdef K7104_QT_TRANSLATIONS
  Q_INIT_RESOURCE(QtTranslations);
  return K7104_QT_TRANSLATIONS;
#else
  return QLibraryInfo::path(QLibraryInfo::TranslationsPath);
#endif
}

namespace {

// An exception's text is the program's own, in UTF-8, or the system's, in its code page (which on
// Windows is not UTF-8).
QString ExceptionText(const char* what) {
  QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
  const QString text = utf8(what);
  return utf8.hasError() ? QString::fromLocal8Bit(what) : text;
}

}  // namespace

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

void TApplication::SetErrorReport(std::function<void(const QString&)> report) {
  report_ = std::move(report);
}

bool TApplication::LoadQtTranslations(const QLocale& locale) {
  auto* translator = new QTranslator(this);
  if (!translator->load(locale, "qtbase", "_", QtTranslationsFolder())) {
    delete translator;
    return false;
  }
  if (qtTranslator_) {
    removeTranslator(qtTranslator_);
    delete qtTranslator_;
  }
  qtTranslator_ = translator;
  installTranslator(translator);
  return true;
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  if (!report_) return QApplication::notify(receiver, event);
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& error) {
    ReportEscapedError(ExceptionText(error.what()));
  } catch (...) {
    ReportEscapedError(QString::fromUtf8(ResultMessage(RESULT_UNKNOWN)));
  }
  return false;
}

void TApplication::ReportEscapedError(const QString& sentence) {
  if (reporting_) return;
  reporting_ = true;
  try {
    report_(sentence);
  } catch (...) {
    // A report that fails in turn has nobody left to tell; the program goes on all the same.
  }
  reporting_ = false;
}
