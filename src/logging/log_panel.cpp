#include "logging/log_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMetaObject>
#include <QFile>
#include <QStringDecoder>
#include <sys/stat.h>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextCursor>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>

#include "common/numtext.h"
#include "logging/log_record.h"
#include "settings/list_pick_box.h"

namespace corvane {
namespace {
constexpr const char* kDefaultLogFile = "SIGREC.TXT";
}

QString FileNameText(const std::string& bytes) {
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  const QString text = utf8(QByteArray::fromStdString(bytes));
  return utf8.hasError() ? QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()))
                         : text;
}

void LogPanel::TakeFileName() {
  if (LogFile->text() != FileNameText(p_.LogFileName))
    p_.LogFileName = QFile::encodeName(LogFile->text()).toStdString();
}

LogPanel::LogPanel(MeasurementParams& params, QWidget* parent) : QObject(parent), p_(params) {
  // Results come back on the writer's thread and are shown from this one's event loop.
  // Runs on the writer's thread; a success like the last one tells the window nothing new.
  appender_ = std::make_unique<BackgroundAppender>(
      [this, last = std::make_shared<std::optional<AppendResult>>()](const AppendResult& r) {
        if (r.ok && *last == r) return;
        *last = r;
        QMetaObject::invokeMethod(this, [this, r] { OnWriteResult(r); }, Qt::QueuedConnection);
      });
  IntervalLabel = new QLabel("Interval", parent);
  IntervalLabel->setObjectName("IntervalLabel");
  auto* logInterval = new ListPickBox(parent);
  LogInterval = logInterval;
  LogInterval->setObjectName("LogInterval");
  for (const char* s : design::kLogIntervals) LogInterval->addItem(QString::fromLatin1(s));
  LogInterval->setCurrentIndex(-1);
  LogInterval->setEditText(QString::fromLatin1(design::kLogInterval));
  LogFileLabel = new QLabel("File Name", parent);
  LogFileLabel->setObjectName("LogFileLabel");
  LogFile = new QLineEdit(QString::fromLatin1(design::kLogFile), parent);
  LogFile->setObjectName("LogFile");
  StartLog = new QCheckBox(parent);
  StartLog->setObjectName("StartLog");
  LogMsg = new QLabel(parent);
  LogMsg->setObjectName("LogMsg");
  LogMsg->setWordWrap(true);
  GenInfo = new QPlainTextEdit(parent);
  GenInfo->setObjectName("GenInfo");
  GenInfo->setReadOnly(true);
  // Every record put in by code would otherwise stay on the undo stack for good.
  GenInfo->setUndoRedoEnabled(false);
  GenInfo->setLineWrapMode(QPlainTextEdit::NoWrap);
  GenInfo->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

  connect(logInterval, &ListPickBox::picked, this, &LogPanel::LogInterval_Click);
  connect(LogFile, &QLineEdit::textChanged, this, &LogPanel::LogFile_Change);
  connect(StartLog, &QCheckBox::toggled, this, &LogPanel::StartLog_Click);
}

QString LogPanel::IntervalText(double seconds) {
  QString text = QString::fromStdString(SignSpacedText(seconds)) + "s";
  if (seconds >= 60) text = QString::fromStdString(SignSpacedText(seconds / 60)) + "m";
  if (seconds >= 3600) text = QString::fromStdString(SignSpacedText(seconds / 3600)) + "h";
  return text;
}

QString LogPanel::CaptionByFileRule() const {
  if (p_.LogFileName.empty()) return "Start Log";
  // Directories (and anything that is not a plain file) do not count; the name's own bytes
  // are looked up.
  struct stat st {};
  return ::stat(p_.LogFileName.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? "Continue Log"
                                                                          : "Start Log";
}

QString LogPanel::LoggingToText() const {
  return "Logging to " + FileNameText(p_.LogFileName);
}

void LogPanel::LogInterval_Click() {
  const QString text = LogInterval->currentText();
  double secs = ParseLeadingNumber(text.toStdString());
  if (text.contains(QLatin1Char('m'))) secs *= 60;
  if (text.contains(QLatin1Char('h'))) secs *= 3600;
  p_.LogIntervalSecs = secs;
  const int index = LogInterval->currentIndex();
  if (LogFile->text().isEmpty() && index != 0) LogFile->setText(kDefaultLogFile);
  if (LogFile->text().isEmpty() || index < 1) {
    StartLog->setEnabled(false);
    LogFile->setEnabled(false);
    LogFileLabel->setEnabled(false);
  } else {
    StartLog->setEnabled(true);
    TakeFileName();
    LogFileLabel->setEnabled(true);
    LogFile->setEnabled(true);
  }
}

void LogPanel::LogFile_Change() {
  TakeFileName();
  if (LogFile->text().isEmpty()) StartLog->setChecked(false);
  StartLog->setText(CaptionByFileRule());
}

void LogPanel::StartLog_Click() {
  if (StartLog->isChecked()) {
    StartLog->setText("Stop Log");
    LogMsg->setText(LoggingToText());
    LogFile->hide();
    LogFileLabel->hide();
    // Refused without a name: unchecking runs this handler again for the stopped state.
    if (LogFile->text().isEmpty()) StartLog->setChecked(false);
    return;
  }
  if (p_.LogFileName.empty()) {
    p_.LogFileName = kDefaultLogFile;
    LogFile->setText(kDefaultLogFile);
  }
  StartLog->setText(CaptionByFileRule());
  LogMsg->setText("Logging Stopped");
  LogFile->show();
  LogFileLabel->show();
}

bool LogPanel::RecordDue(bool captureRunning) const {
  // "No Log" means no record, even on the first tick when the counter still stands at 0.
  return captureRunning && logTick_ == 0 && StartLog->isChecked() && p_.LogIntervalSecs > 0;
}

void LogPanel::WriteRecord(const DateTime& now, int32_t fftLen, const RecordValues& v) {
  const std::string line = BuildLogRecord(now, p_.SampleRate, fftLen, v.peakBin, v.logSignalDb,
                                          v.noiseLevelDb, v.logSN1HzDb, v.driftHzPerSec);
  QString shown = QString::fromStdString(line);
  while (shown.endsWith(QLatin1Char('\n')) || shown.endsWith(QLatin1Char('\r'))) shown.chop(1);
  PrependToGenInfo(shown);
  appender_->Append(p_.LogFileName, line);
}

void LogPanel::OnWriteResult(const AppendResult& result) {
  lastResult_ = result;
  if (!result.ok) {
    const bool first = !lastFailed_;
    const QString text = QString::fromStdString(result.StatusText());
    ShowWriteFailure(text);
    if (first) emit writeFailureChanged(true, text);
  } else if (lastFailed_) {
    lastFailed_ = false;
    LogMsg->setStyleSheet(QString());
    LogMsg->setEnabled(logMsgWasEnabled_);
    LogMsg->setText(StartLog->isChecked() ? LoggingToText() : QString("Logging Stopped"));
    emit writeFailureChanged(false, QString());
  }
}

void LogPanel::ShowWriteFailure(const QString& text) {
  // Readable even where start-up greyed the label out: a failure must be seen.
  if (!lastFailed_) logMsgWasEnabled_ = LogMsg->isEnabled();
  lastFailed_ = true;
  LogMsg->setEnabled(true);
  LogMsg->setStyleSheet(QStringLiteral("color: rgb(176, 0, 0); font-weight: bold;"));
  LogMsg->setText(text);
}

bool LogPanel::WaitForWrites(int limitMs) {
  const bool idle = appender_->WaitIdle(std::chrono::milliseconds(limitMs));
  // The results of the writes just finished are queued to this object.
  QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
  return idle;
}

void LogPanel::FlushAtEnd() {
  appender_->Flush(p_.LogFileName);
  if (!WaitForWrites(static_cast<int>(
          std::chrono::milliseconds(BackgroundAppender::kShutdownWait).count()))) {
    std::fprintf(stderr, "Log write still unfinished at the program end\n");
  } else if (!lastResult_.ok) {
    std::fprintf(stderr, "%s\n", lastResult_.StatusText().c_str());
  }
}

void LogPanel::AddNotice(const DateTime& now, const QString& text) {
  PrependToGenInfo(QString::fromStdString(FormatPattern(now, "hh:mm:ss  ")) + text);
  // Rare, and meant to be seen at once.
  ShowNewestLine();
}

void LogPanel::AdvanceTick() {
  if (p_.LogIntervalSecs > 0) {
    // The interval is whole seconds from the list or the settings file; a fraction typed
    // into the box counts down in whole ticks. One beyond the counter's range (a settings
    // line of 1e308) is as good as never, and must not overflow the conversion.
    const int64_t interval =
        static_cast<int64_t>(std::min(p_.LogIntervalSecs, double{INT32_MAX}));
    logTick_ = interval > 0 ? static_cast<int32_t>((int64_t{logTick_} + 1) % interval) : 0;
  } else {
    logTick_ = 1;
  }
}

void LogPanel::PrependToGenInfo(const QString& line) {
  // Made on a document, a cursor stands at its start; moving it there would lay it out.
  QTextCursor cursor(GenInfo->document());
  // Paced, the scroll bars keep quiet about their ranges: Qt answers each change with an
  // event posted to itself, a wake-up of the event loop per record. ShowNewestLine() lets
  // the view catch up.
  const QSignalBlocker quietV(scrollPaced_ ? GenInfo->verticalScrollBar() : nullptr);
  const QSignalBlocker quietH(scrollPaced_ ? GenInfo->horizontalScrollBar() : nullptr);
  scrollBarsBehind_ = scrollBarsBehind_ || scrollPaced_;
  // The first record goes into the empty first block; later ones open a new top line.
  if (GenInfo->document()->isEmpty())
    cursor.insertText(line);
  else
    cursor.insertText(line + QLatin1Char('\n'));
  const int excess = GenInfo->document()->blockCount() - kGenInfoLines;
  if (excess > 0) {
    QTextCursor tail(GenInfo->document()->findBlockByNumber(kGenInfoLines - 1));
    tail.movePosition(QTextCursor::EndOfBlock);
    tail.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    tail.removeSelectedText();
  }
  // A line laid out for the view keeps its shaped glyphs (2 KiB or more) after it has moved
  // down out of sight; let it go once it is a screenful or two below the top. It is laid
  // out again if someone scrolls down to it.
  const QTextBlock below = GenInfo->document()->findBlockByNumber(kGenInfoShapedLines);
  if (below.isValid() && below.layout()->lineCount() > 0) below.layout()->setText(QString());
  scrollDue_ = true;
  if (!scrollPaced_) ShowNewestLine();
}

void LogPanel::SetScrollPaced(bool on) {
  scrollPaced_ = on;
  if (!on) ShowNewestLine();
}

void LogPanel::ShowNewestLine() {
  if (!scrollDue_) return;
  scrollDue_ = false;
  // Shows or hides the scroll bars for the ranges they kept quiet about, also when pacing
  // has just been switched off.
  if (scrollBarsBehind_) {
    scrollBarsBehind_ = false;
    QEvent relayout(QEvent::LayoutRequest);
    QCoreApplication::sendEvent(GenInfo, &relayout);
  }
  GenInfo->moveCursor(QTextCursor::Start);
}

}  // namespace corvane
