#pragma once
// The "Logging" group and the General Info box: interval list, file name, the Start/Stop
// check box and its status line, the tick counter, and the writing of each due record to the
// file and to the top of GenInfo.

#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>

#include "common/format_pattern.h"
#include "logging/background_appender.h"
#include "settings/parameters.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QWidget;

namespace corvane {

// A file name held as bytes (the settings file's line, written back exactly as read) as a
// text to show: UTF-8 where it is valid, otherwise each byte as its Latin-1 character.
QString FileNameText(const std::string& bytes);

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
  static constexpr int kGenInfoShapedLines = 200;

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
  // Builds the record, puts it on top of GenInfo and queues it for the file; the writing
  // and syncing happen on the writer's own thread. A write that fails leaves the record held
  // for the next due record and shows the reason in LogMsg, readably; the next successful
  // write puts the "Logging to" line back.
  void WriteRecord(const DateTime& now, int32_t fftLen, const RecordValues& values);
  // Tick step 4.
  void AdvanceTick();
  // A time-stamped line on top of GenInfo for something the operator should know.
  void AddNotice(const DateTime& now, const QString& text);

  // Sync each record to the disk (default on); off for runs far faster than real time.
  void SetSyncToDisk(bool on) { appender_->SetSyncToDisk(on); }
  // Off (the default): GenInfo scrolls back to its newest line with every line put on top.
  // On, for runs far faster than real time: only when ShowNewestLine() is called, at the
  // pace of the display, since each scroll lays the text out again.
  void SetScrollPaced(bool on);
  void ShowNewestLine();
  // Waits until every queued record has been tried and its result shown (tests, program end).
  bool WaitForWrites(int limitMs = 10000);
  // Program end: one last try for held records, then wait for the writer.
  void FlushAtEnd();

  int32_t logTick() const { return logTick_; }
  bool lastWriteFailed() const { return lastFailed_; }
  size_t pendingRecords() const { return lastResult_.pending; }
  size_t droppedRecords() const { return lastResult_.dropped; }

  // Controls, named as in the window's design.
  QLabel* IntervalLabel;
  QComboBox* LogInterval;
  QLabel* LogFileLabel;
  QLineEdit* LogFile;
  QCheckBox* StartLog;
  QLabel* LogMsg;
  QPlainTextEdit* GenInfo;

 signals:
  // Writes began to fail (with the reason and what is held) or succeed again.
  void writeFailureChanged(bool failed, const QString& text);

 private:
  void PrependToGenInfo(const QString& line);
  QString LoggingToText() const;
  // LogFileName from the LogFile text; bytes read from the settings file are kept as long
  // as the box still shows them.
  void TakeFileName();
  void OnWriteResult(const AppendResult& result);
  void ShowWriteFailure(const QString& text);

  MeasurementParams& p_;
  std::unique_ptr<BackgroundAppender> appender_;
  AppendResult lastResult_;
  int32_t logTick_ = 0;
  bool lastFailed_ = false;
  bool logMsgWasEnabled_ = true;
  bool scrollPaced_ = false;
  bool scrollBarsBehind_ = false;  // ranges changed while the scroll bars kept quiet
  bool scrollDue_ = false;  // lines were put on top since GenInfo last showed its newest
};

}  // namespace corvane
