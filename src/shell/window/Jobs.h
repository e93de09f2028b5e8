// The device side's job start, its waits and its reports, as the other features reach them: the
// comparison and the group writes of "Наладка", the file commands that wait for the engine, the
// logging of "Вид" that follows the polls. The device feature implements it; the window hands it
// to the features it builds.
#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>

class TJobs : public QObject {
  Q_OBJECT

 public:
  using QObject::QObject;

  // Waits, with the window still answering the user, until no job runs; then sets the current
  // address and starts the job, after prepare() has set what the job reads. False when the window
  // closes meanwhile.
  virtual bool JobStart(uint8_t jobCode, const std::function<void()>& prepare = {}) = 0;
  // The job thread writes the data image while a job runs. A command on the data image waits for
  // the job under way as a job start does; the job's end then starts no poll, and *waited tells
  // the command to start the polling again once it is done. False when the window closes.
  virtual bool WaitForIdleEngine(bool* waited) = 0;
  // The address the next job goes to: the address box, or the found instrument chosen.
  virtual uint8_t CurrentAddress() const = 0;
  // Starts the read of a live page again when the port is open; never waits.
  virtual void AutomaticReread() = 0;
  // Shows the current page now, or once the job under way that may be writing it has ended.
  virtual void RenderCurrentPage() = 0;
  // What was read before belongs to another connection or another instrument: the current page
  // shows it as not read, and writing such a group reads it first.
  virtual void ForgetReadValues() = 0;
  // While on (live values are being logged), a failed poll shows no error box: the polling goes
  // on at once.
  virtual void SetUnattendedPolling(bool on) = 0;

 signals:
  // The current values were read; the data image holds them while the handlers run.
  void CurrentValuesRead();
  // A poll of the current values failed; sentence is the failure as reported.
  void CurrentValuesFailed(const QString& sentence);
  // A job's start and its end have been reported; result is its result code. The two come in the
  // order of the jobs: the end of a job before the start of the next.
  void JobStarted(uint8_t jobCode);
  void JobEnded(uint8_t jobCode, int result);
};
