#pragma once
// The data log beside the design's log: its switch and file name in the "Logging" group, and
// the writing of its rows (the run's description at START, a row at every record) on a
// thread of its own, like the log's. Its name follows the log's ("SIGREC.TXT" gives
// "SIGREC.csv") unless one is given.

#include <QObject>
#include <QString>
#include <memory>
#include <string>

#include "logging/background_appender.h"
#include "logging/data_log.h"
#include "settings/parameters.h"

class QCheckBox;
class QLabel;
class QWidget;

namespace corvane {

class DataLogPanel : public QObject {
  Q_OBJECT
 public:
  DataLogPanel(const MeasurementParams& params, QWidget* parent);
  ~DataLogPanel() override;

  // A name of its own (--csv); empty: the log's name with ".csv".
  void setFileName(const std::string& name);
  std::string fileName() const;
  bool enabled() const;
  void setEnabled(bool on);
  void SetSyncToDisk(bool on);

  // At START: the run's description (and the header, for a new file).
  void StartRun(const RunDescription& run);
  // At every record of the log.
  void Append(const DataRecord& row);
  bool WaitForWrites(int limitMs = 10000);
  void FlushAtEnd();

  // Shows the file's name as it would be written now.
  void Refresh();

  QCheckBox* DataLogOn;
  QLabel* DataLogFile;

 signals:
  void writeFailureChanged(bool failed, const QString& text);

 private:
  void OnResult(const AppendResult& r);

  const MeasurementParams& p_;
  std::string ownName_;
  // Touched only by jobs on the appender's thread; destroyed after it has stopped.
  std::unique_ptr<DataLog> log_;
  std::unique_ptr<BackgroundAppender> appender_;
  AppendResult lastResult_;
  bool failed_ = false;
  bool runStarted_ = false;
};

}  // namespace corvane
