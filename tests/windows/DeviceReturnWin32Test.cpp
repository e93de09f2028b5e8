// A COM port that goes away and comes back, as a USB converter pulled out and plugged in again:
// the system stops and starts listing it (here by taking its DOS device name away and giving it
// back), and the window's watch sees it gone, then back, whatever case and prefix its name has.
#include <windows.h>

#include <QSignalSpy>
#include <QTest>

#include "shell/device/DeviceReturn.h"

namespace {

// A COM name the test defines and removes (wine knows DOS device names up to COM9 only).
const wchar_t* const PortName = L"COM9";
const wchar_t* const PortTarget = L"\\Device\\Null";

bool DefinePort() {
  return DefineDosDeviceW(DDD_RAW_TARGET_PATH, PortName, PortTarget);
}

bool RemovePort() {
  return DefineDosDeviceW(DDD_RAW_TARGET_PATH | DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE,
                          PortName, PortTarget);
}

}  // namespace

class TestDeviceReturnWin32 : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    wchar_t target[512];
    if (QueryDosDeviceW(PortName, target, 512) != 0) QSKIP("COM9 is a port of this machine");
  }
  void cleanup() { RemovePort(); }

  void ComPortIsGoneWhileTheSystemDoesNotListIt() {
    QVERIFY(TDeviceReturn::Gone("\\\\.\\COM9"));
    QVERIFY(DefinePort());
    QVERIFY(!TDeviceReturn::Gone("\\\\.\\COM9"));
    QVERIFY(!TDeviceReturn::Gone("\\\\.\\com9"));
    QVERIFY(!TDeviceReturn::Gone("COM9"));
    QVERIFY(RemovePort());
    QVERIFY(TDeviceReturn::Gone("\\\\.\\COM9"));
  }

  // Watched while listed, nothing is told. Pulled out (the watch starts once the port failed,
  // so it sees it gone at once) and back: its return is told once, and the watch ends.
  void ReturnIsToldOnceThePortIsListedAgain() {
    QVERIFY(DefinePort());
    TDeviceReturn watch;
    QSignalSpy returned(&watch, &TDeviceReturn::Returned);
    watch.Watch("\\\\.\\COM9");
    QTest::qWait(3 * TDeviceReturn::CheckMs);
    QCOMPARE(returned.count(), 0);

    QVERIFY(RemovePort());
    watch.Watch("\\\\.\\COM9");
    QTest::qWait(3 * TDeviceReturn::CheckMs);
    QCOMPARE(returned.count(), 0);
    QVERIFY(watch.Watching());
    QVERIFY(DefinePort());
    QTRY_COMPARE_WITH_TIMEOUT(returned.count(), 1, 10000);
    QCOMPARE(returned.first().first().toString(), QString("\\\\.\\COM9"));
    QVERIFY(!watch.Watching());
  }
};

QTEST_MAIN(TestDeviceReturnWin32)
#include "DeviceReturnWin32Test.moc"
