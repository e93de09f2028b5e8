// Watches the device of a port that went away (a converter pulled out) until it is back, so that
// the window can offer to connect again.
#pragma once

#include <QObject>
#include <QString>

class QTimer;

class TDeviceReturn : public QObject {
  Q_OBJECT

 public:
  static constexpr int CheckMs = 500;

  explicit TDeviceReturn(QObject* parent = nullptr);

  // True when the path names no device any more (a removed node, a dangling by-id link, a COM
  // port the system no longer lists).
  static bool Gone(const QString& path);

  // Starts watching path: Returned comes once the device has been seen gone and then present.
  void Watch(const QString& path);
  void Stop();
  bool Watching() const;

 signals:
  void Returned(const QString& path);

 private:
  void Check();

  QTimer* timer_;
  QString path_;
  bool seenGone_ = false;
};
