#pragma once
// SIGTERM, SIGINT and SIGHUP (systemctl stop, Ctrl+C, a closed terminal) turned into a Qt
// signal, so the program ends through its normal end: settings written, log flushed. The
// handler itself only writes a byte to a pipe, the one thing that is safe there. SIGPIPE is
// ignored: a log that is a FIFO whose reader went away is a failed write, not a dead program.

#include <QObject>

class QSocketNotifier;

namespace corvane {

class UnixSignals : public QObject {
  Q_OBJECT
 public:
  explicit UnixSignals(QObject* parent = nullptr);
  ~UnixSignals() override;

 signals:
  void received(int signalNumber);

 private:
  void onReadable();
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace corvane
