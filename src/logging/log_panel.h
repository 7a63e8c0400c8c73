#pragma once
// The "Logging" group and the General Info box: interval list, file name, the Start/Stop
// check box and its status line, the tick counter, and the writing of each due record to the
// file and to the top of GenInfo.

#include <QObject>
#include <QString>
#include <cstdint>
#include <string>

#include "common/format_pattern.h"
#include "logging/log_writer.h"
#include "settings/parameters.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QWidget;

namespace corvane {

// The latest measured values a record is built from.
struct RecordValues {
  double peakBin = 0;
  double logSignalDb = -99;
  double noiseLevelDb = -99;
  double logSN1HzDb = -99;
  double driftHzPerSec = 0;
};

class LogPanel : public QObject {
  Q_OBJECT
 public:
  // GenInfo keeps this many of the newest records.
  static constexpr int kGenInfoLines = 5000;

  LogPanel(MeasurementParams& params, QWidget* parent);

  void LogInterval_Click();
  void LogFile_Change();
  void StartLog_Click();

  // "Continue Log" when the named file is there, else "Start Log".
  QString CaptionByFileRule() const;
  // The interval text the settings file gives for a number of seconds (" 1m", " 2h", " 30s").
  static QString IntervalText(double seconds);

  // Tick step 3: whether a record is due now.
  bool RecordDue(bool captureRunning) const;
  // Builds the record, puts it on top of GenInfo and appends it to the file. A write that
  // fails leaves the record held by the writer for the next due record and shows the reason
  // in LogMsg; the next successful write puts the "Logging to" line back.
  void WriteRecord(const DateTime& now, int32_t fftLen, const RecordValues& values);
  // Tick step 4.
  void AdvanceTick();

  int32_t logTick() const { return logTick_; }
  LogWriter& writer() { return writer_; }
  bool lastWriteFailed() const { return lastFailed_; }

  // Controls, named as in the window's design.
  QLabel* IntervalLabel;
  QComboBox* LogInterval;
  QLabel* LogFileLabel;
  QLineEdit* LogFile;
  QCheckBox* StartLog;
  QLabel* LogMsg;
  QPlainTextEdit* GenInfo;

 private:
  void PrependToGenInfo(const QString& line);
  QString LoggingToText() const;

  MeasurementParams& p_;
  LogWriter writer_;
  int32_t logTick_ = 0;
  bool lastFailed_ = false;
};

}  // namespace corvane
