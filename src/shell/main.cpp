// k7104-configurator: the configurator's window.
#include <QCommandLineParser>
#include <QMessageBox>

#include <exception>

#include "shell/Application.h"
#include "shell/Mainunit.h"
#include "views/ImageLists.h"

int main(int argc, char* argv[]) {
  TApplication app(argc, argv);
  app.LoadQtTranslations(QLocale::system());
  QApplication::setApplicationName("К7104Т(С)1 - Конфигуратор");
  QApplication::setWindowIcon(ImageLists::Application());

  QCommandLineParser parser;
  parser.setApplicationDescription("Конфигуратор приборов К7104Т1, К7104С1, К7104Е025");
  parser.addHelpOption();
  const QCommandLineOption settings(
      "settings", "Settings file to use instead of the one next to the program.", "FILE");
  parser.addOption(settings);
  parser.process(app);

  // An error while the window is being built ends the program after its message.
  try {
    TMainFormOptions options;
    options.SettingsPath = parser.value(settings);
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
