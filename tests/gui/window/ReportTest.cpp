// The report routine and the event log: time stamp, status line colour, the 1000-line limit,
// the error box, and the event log window.
#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QRegularExpression>
#include <QToolButton>

#include "GuiTestSupport.h"
#include "shell/window/LogDialog.h"

namespace {

const QString Stamp = "^\\[\\d\\d\\.\\d\\d\\.\\d{4}( \\d\\d:\\d\\d:\\d\\d)?\\] ";

QColor TextColour(const QLabel* label) {
  return label->palette().color(QPalette::WindowText);
}

QStringList ListLines(const TLogDialog* dialog) {
  QStringList lines;
  for (int i = 0; i < dialog->ListBox1->count(); ++i) lines << dialog->ListBox1->item(i)->text();
  return lines;
}

}  // namespace

class TestReport : public QObject {
  Q_OBJECT

 private slots:
  void init() { fixture_ = std::make_unique<TFormFixture>(); }
  void cleanup() { fixture_.reset(); }

  void FirstLineIsProgramLoaded() {
    TMainForm& form = fixture_->Form();
    QCOMPARE(form.EventLog().size(), 1);
    const QString line = form.EventLog().first();
    QVERIFY2(QRegularExpression(Stamp + "Программа загружена\\.$").match(line).hasMatch(),
             qPrintable(line));
    QCOMPARE(Control<QLabel>(form, "ForMessage")->text(), line);
    QCOMPARE(TextColour(Control<QLabel>(form, "ForMessage")),
             QApplication::palette().color(QPalette::ButtonText));
    QVERIFY(fixture_->Dialogs().Asked.isEmpty());
  }

  void LogKeepsTheNewest1000Lines() {
    TMainForm& form = fixture_->Form();
    for (int i = 1; i <= 1004; ++i) form.Report(QString("Сообщение %1.").arg(i), false);
    const QStringList& log = form.EventLog();
    QCOMPARE(log.size(), 1000);
    QVERIFY(log.first().endsWith("] Сообщение 1004."));
    QVERIFY(log.last().endsWith("] Сообщение 5."));
    for (const QString& line : log) QVERIFY(!line.contains("Программа загружена."));
    for (int i = 0; i < log.size(); ++i)
      QVERIFY(log[i].endsWith(QString("] Сообщение %1.").arg(1004 - i)));
  }

  // Repeats fold into the line they repeat, with their count: a line said again at once, and
  // the start and end of a poll coming round again. An error breaks the folding.
  void RepeatsFoldIntoOneLineWithTheirCount() {
    TMainForm& form = fixture_->Form();
    const QString start = "Идет считывание данных.";
    const QString read = "Данные с 8-ти каналов(4-ти реле) считаны.";
    const QString timeout = "Вышло время ожидания!!! При чтении текущих измерений!!!";
    form.Report("Порт открыт.", false);
    form.Report("Порт открыт.", false);
    for (int i = 0; i < 3; ++i) {
      form.Report(start, false);
      form.Report(read, false);
    }
    form.Report(start, false);
    form.Report(timeout, true);
    form.Report(start, false);
    form.Report(timeout, true);
    form.Report(timeout, true);
    const QStringList& log = form.EventLog();
    QCOMPARE(log.size(), 7);
    const QString suffixes[] = {"Ошибка: " + timeout + " (×2)",
                                start,
                                "Ошибка: " + timeout,
                                read + " (×3)",
                                start + " (×4)",
                                "Порт открыт. (×2)",
                                "Программа загружена."};
    for (int i = 0; i < log.size(); ++i)
      QVERIFY2(QRegularExpression(Stamp + QRegularExpression::escape(suffixes[i]) + "$")
                   .match(log[i])
                   .hasMatch(),
               qPrintable(log[i]));
    // The status line shows the last report as it is.
    QVERIFY(QRegularExpression(Stamp + "Ошибка: " + QRegularExpression::escape(timeout) + "$")
                .match(Control<QLabel>(form, "ForMessage")->text())
                .hasMatch());
    QCOMPARE(fixture_->Dialogs().Asked.size(), 3);
  }

  void ErrorTurnsTheStatusLineRedAndBack() {
    TMainForm& form = fixture_->Form();
    form.Report("Вышло время ожидания!!! При чтении текущих измерений!!!", true);
    QCOMPARE(TextColour(Control<QLabel>(form, "ForMessage")), QColor(255, 0, 0));
    QVERIFY(QRegularExpression(Stamp + "Ошибка: Вышло время ожидания!!! При чтении текущих "
                                       "измерений!!!$")
                .match(Control<QLabel>(form, "ForMessage")->text())
                .hasMatch());
    form.Report("Порт закрыт.", false);
    QCOMPARE(TextColour(Control<QLabel>(form, "ForMessage")),
             QApplication::palette().color(QPalette::ButtonText));
    QVERIFY(Control<QLabel>(form, "ForMessage")->text().endsWith("] Порт закрыт."));
  }

  void ErrorBoxShowsTheSentenceAlone() {
    TMainForm& form = fixture_->Form();
    const QString sentence = "Не открыт порт!!! При чтении ";
    form.Report(sentence, true);
    QCOMPARE(fixture_->Dialogs().Asked.size(), 1);
    const TAskedDialog& box = fixture_->Dialogs().Asked.first();
    QCOMPARE(box.Kind, QString("Error"));
    QCOMPARE(box.Caption, QString("Ошибка"));
    QCOMPARE(box.Text, sentence);
    QVERIFY(QRegularExpression(Stamp + "Ошибка: Не открыт порт!!! При чтении $")
                .match(form.EventLog().first())
                .hasMatch());
  }

  void OrdinaryReportsShowNoBox() {
    fixture_->Form().Report("Порт открыт.", false);
    QVERIFY(fixture_->Dialogs().Asked.isEmpty());
  }

  void EventLogWindowShowsACopyNewestFirst() {
    TMainForm& form = fixture_->Form();
    form.Report("Порт открыт.", false);
    form.Report("Порт закрыт.", false);
    const QStringList expected = form.EventLog();
    QStringList firstShowing;
    QStringList secondShowing;
    QString title;
    WhenModalShown<TLogDialog>([&](TLogDialog* dialog) {
      firstShowing = ListLines(dialog);
      title = dialog->windowTitle();
      // Reported while the window is open: shown the next time only.
      form.Report("Идет считывание данных.", false);
      firstShowing = ListLines(dialog);
      dialog->close();
    });
    TriggerItem(form, "N18");
    WhenModalShown<TLogDialog>([&](TLogDialog* dialog) {
      secondShowing = ListLines(dialog);
      dialog->close();
    });
    TriggerItem(form, "N18");
    QCOMPARE(title, QString("Просмотр событий"));
    QCOMPARE(firstShowing, expected);
    QCOMPARE(secondShowing.size(), 4);
    QVERIFY(secondShowing.first().endsWith("] Идет считывание данных."));
    QCOMPARE(secondShowing.mid(1), expected);
    QVERIFY(firstShowing.last().endsWith("] Программа загружена."));
  }

  void EventLogCommandsOfToolbarAndMenu() {
    TMainForm& form = fixture_->Form();
    int shown = 0;
    WhenModalShown<TLogDialog>([&](TLogDialog* dialog) {
      ++shown;
      dialog->close();
    });
    Button(form, "ToolButton7")->click();
    WhenModalShown<TLogDialog>([&](TLogDialog* dialog) {
      ++shown;
      dialog->close();
    });
    TriggerItem(form, "N18");
    QCOMPARE(shown, 2);
  }

 private:
  std::unique_ptr<TFormFixture> fixture_;
};

K7104_GUI_TEST_MAIN(TestReport)
#include "ReportTest.moc"
