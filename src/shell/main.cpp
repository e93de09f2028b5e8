// k7104-configurator: the configurator's window.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "shell/Mainunit.h"
#include "shell/window/Application.h"
#include "shell/window/Console.h"
#include "views/ImageLists.h"

namespace {

const QCommandLineOption SettingsOption(
    "settings", "Settings file to use instead of the one next to the program.", "FILE");

void DescribeOptions(QCommandLineParser& parser) {
  // On Windows "Найти порты" lists the COM ports the system reports; no variable changes that.
  parser.setApplicationDescription(
#ifdef Q_OS_WIN
      "Конфигуратор приборов К7104Т1, К7104С1, К7104Е025");
#else
      "Конфигуратор приборов К7104Т1, К7104С1, К7104Е025\n\n"
      "Environment: \"Найти порты\" in the port settings looks for serial devices in\n"
      "K7104_SERIAL_BY_ID (default /dev/serial/by-id), K7104_SERIAL_DEV (default /dev) and\n"
      "K7104_SERIAL_SYS (default /sys/class/tty).");
#endif
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addOption(SettingsOption);
}

bool AsksOnlyForText(int argc, char* argv[]) {
  for (int i = 1; i < argc; ++i) {
    for (const char* option : {"-h", "-?", "--help", "--help-all", "-v", "--version"})
      if (std::strcmp(argv[i], option) == 0) return true;
  }
  return false;
}

void Print(const QString& text) {
  std::fputs(text.toUtf8().constData(), stdout);
  std::fflush(stdout);
}

// --help and --version are answered on the terminal before the window's application exists, so
// they work without a display. They are printed here rather than by the parser, which on Windows
// shows them in a box when the program has no console of its own.
void AnswerTextOptions(int argc, char* argv[]) {
  // The usage line names the program as it is typed, not by the path it was started from.
  static char name[] = "k7104-configurator";
  argv[0] = name;
  QCoreApplication text(argc, argv);
  QCoreApplication::setApplicationName("k7104-configurator");
  QCoreApplication::setApplicationVersion(K7104_VERSION_TEXT);
  AttachToStartingConsole();
  QCommandLineParser parser;
  DescribeOptions(parser);
  if (parser.parse(QCoreApplication::arguments()) && !parser.isSet("help-all")) {
    if (parser.isSet("version"))
      Print(QString("%1 %2\n").arg(QCoreApplication::applicationName(), K7104_VERSION_TEXT));
    else
      Print(parser.helpText());
    std::exit(0);
  }
  parser.process(text);  // --help-all and the errors; ends the program after the text
}

}  // namespace

int main(int argc, char* argv[]) {
  if (AsksOnlyForText(argc, argv)) AnswerTextOptions(argc, argv);
  TApplication app(argc, argv);
  app.LoadQtTranslations(QLocale::system());
  QApplication::setApplicationName("К7104Т(С)1 - Конфигуратор");
  QApplication::setApplicationVersion(K7104_VERSION_TEXT);
  QApplication::setWindowIcon(ImageLists::Application());

  QCommandLineParser parser;
  DescribeOptions(parser);
  parser.process(app);

  // An error while the window is being built ends the program after its message.
  try {
    TMainFormOptions options;
    options.SettingsPath = parser.value(SettingsOption);
    TMainForm form(options);
    // From here an error escaping a handler is reported by the window and the program goes on.
    app.SetErrorReport([&form](const QString& sentence) { form.Report(sentence, true); });
    form.show();
    const int code = QApplication::exec();
    app.SetErrorReport({});
    return code;
  } catch (const std::exception& error) {
    QMessageBox::critical(nullptr, QApplication::applicationName(), error.what());
  } catch (...) {
    QMessageBox::critical(nullptr, QApplication::applicationName(), QString());
  }
  return 1;
}
