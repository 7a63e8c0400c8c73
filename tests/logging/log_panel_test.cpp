// The logging controls: interval choice, file-name edits, the Start/Stop check box and its
// captions, the tick counter, and the records in the file and in General Info.

#include "logging/log_panel.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QWidget>
#include <fstream>
#include <string>
#include <vector>

#include "support/event_counter.h"

namespace corvane {
namespace {

class LogPanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    oldDir = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    params.SampleRate = 12000;
    params.LogFileName = "SIGREC.TXT";
    panel = new LogPanel(params, &host);
    panel->SetSyncToDisk(false);
  }
  void TearDown() override { QDir::setCurrent(oldDir); }

  void Pick(const QString& text) {
    const int index = panel->LogInterval->findText(text);
    ASSERT_GE(index, 0);
    panel->LogInterval->setCurrentIndex(index);
    emit panel->LogInterval->activated(index);
  }

  // One tick's logging part: a record when due, then the counter.
  bool Tick(int second = 0) {
    const bool due = panel->RecordDue(true);
    if (due) {
      panel->WriteRecord({2012, 6, 15, 14, 3, second % 60}, 8192, values);
      EXPECT_TRUE(panel->WaitForWrites());
    }
    panel->AdvanceTick();
    return due;
  }

  static size_t LineCount(const QString& path) {
    std::ifstream f(path.toStdString(), std::ios::binary);
    size_t n = 0;
    std::string line;
    while (std::getline(f, line)) ++n;
    return n;
  }

  QTemporaryDir dir;
  QString oldDir;
  QWidget host;
  MeasurementParams params;
  LogPanel* panel = nullptr;
  RecordValues values{683, 12.34, -35.21, 47.56, 0.00123};
};

TEST_F(LogPanelTest, DesignState) {
  EXPECT_EQ(panel->LogInterval->currentText(), "No Log");
  EXPECT_EQ(panel->LogInterval->count(), 11);
  EXPECT_EQ(panel->LogFile->text(), "SIGREC.TXT");
  EXPECT_EQ(panel->LogFileLabel->text(), "File Name");
  EXPECT_EQ(panel->IntervalLabel->text(), "Interval");
  EXPECT_FALSE(panel->StartLog->isChecked());
  EXPECT_TRUE(panel->LogMsg->text().isEmpty());
}

TEST_F(LogPanelTest, IntervalTextsOfTheSettingsFile) {
  EXPECT_EQ(LogPanel::IntervalText(60), " 1m");
  EXPECT_EQ(LogPanel::IntervalText(300), " 5m");
  EXPECT_EQ(LogPanel::IntervalText(7200), " 2h");
  EXPECT_EQ(LogPanel::IntervalText(30), " 30s");
  EXPECT_EQ(LogPanel::IntervalText(0), " 0s");
  EXPECT_EQ(LogPanel::IntervalText(90), " 1.5m");
}

TEST_F(LogPanelTest, IntervalEntriesGiveTheirSeconds) {
  const std::vector<std::pair<const char*, double>> cases = {
      {"1s", 1},     {"5s", 5},       {"15s", 15},     {"30s", 30}, {"1min", 60},
      {"5min", 300}, {"15min", 900},  {"30min", 1800}, {"1hr", 3600}, {"2hr", 7200},
      {"No Log", 0}};
  for (const auto& [text, secs] : cases) {
    Pick(text);
    EXPECT_EQ(params.LogIntervalSecs, secs) << text;
  }
  // "No Log" disables the controls; another entry enables them again.
  EXPECT_FALSE(panel->StartLog->isEnabled());
  EXPECT_FALSE(panel->LogFile->isEnabled());
  EXPECT_FALSE(panel->LogFileLabel->isEnabled());
  Pick("5s");
  EXPECT_TRUE(panel->StartLog->isEnabled());
  EXPECT_TRUE(panel->LogFile->isEnabled());
}

// Real keys on the display: typing an interval that is an entry and leaving the box is not
// a choice from the list; the arrow keys on the closed box are.
TEST_F(LogPanelTest, OnlyAChoiceFromTheListSetsTheInterval) {
  host.resize(400, 300);
  host.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&host));
  QComboBox* box = panel->LogInterval;
  box->setFocus();
  ASSERT_TRUE(QTest::qWaitFor([box] { return box->hasFocus(); }, 5000));
  box->clearEditText();
  QTest::keyClicks(box, "5s");
  QTest::keyClick(box, Qt::Key_Tab);
  EXPECT_EQ(params.LogIntervalSecs, 0);
  box->setFocus();
  ASSERT_TRUE(QTest::qWaitFor([box] { return box->hasFocus(); }, 5000));
  box->setCurrentIndex(box->findText("1s"));
  QTest::keyClick(box, Qt::Key_Down);
  EXPECT_EQ(box->currentText().toStdString(), "5s");
  EXPECT_EQ(params.LogIntervalSecs, 5);
}

TEST_F(LogPanelTest, EmptyNameIsFilledWhenAnIntervalIsChosen) {
  panel->LogFile->setText("");
  EXPECT_TRUE(params.LogFileName.empty());
  Pick("1min");
  EXPECT_EQ(panel->LogFile->text(), "SIGREC.TXT");
  EXPECT_EQ(params.LogFileName, "SIGREC.TXT");
}

TEST_F(LogPanelTest, CaptionFollowsTheFile) {
  panel->LogFile->setText("A.TXT");
  EXPECT_EQ(panel->StartLog->text(), "Start Log");
  QFile f("B.TXT");
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.close();
  panel->LogFile->setText("B.TXT");
  EXPECT_EQ(panel->StartLog->text(), "Continue Log");
  // A directory of that name does not count.
  ASSERT_TRUE(QDir().mkdir("D.TXT"));
  panel->LogFile->setText("D.TXT");
  EXPECT_EQ(panel->StartLog->text(), "Start Log");
}

TEST_F(LogPanelTest, StartAndStopLogging) {
  Pick("1s");
  panel->StartLog->setChecked(true);
  EXPECT_EQ(panel->StartLog->text(), "Stop Log");
  EXPECT_EQ(panel->LogMsg->text(), "Logging to SIGREC.TXT");
  EXPECT_TRUE(panel->LogFile->isHidden());
  EXPECT_TRUE(panel->LogFileLabel->isHidden());
  EXPECT_TRUE(Tick());
  panel->StartLog->setChecked(false);
  EXPECT_EQ(panel->StartLog->text(), "Continue Log");  // the first record made the file
  EXPECT_EQ(panel->LogMsg->text(), "Logging Stopped");
  EXPECT_FALSE(panel->LogFile->isHidden());
  EXPECT_FALSE(Tick());
}

TEST_F(LogPanelTest, CheckingWithoutANameIsRefused) {
  Pick("1s");
  panel->LogFile->setText("");
  EXPECT_EQ(panel->StartLog->text(), "Start Log");
  panel->StartLog->setChecked(true);
  EXPECT_FALSE(panel->StartLog->isChecked());
  EXPECT_EQ(panel->LogFile->text(), "SIGREC.TXT");
  EXPECT_EQ(panel->LogMsg->text(), "Logging Stopped");
  EXPECT_FALSE(panel->LogFile->isHidden());
}

TEST_F(LogPanelTest, RecordsGoToTheFileAndNewestFirstIntoGenInfo) {
  Pick("1s");
  panel->StartLog->setChecked(true);
  for (int s = 7; s < 10; ++s) {
    if (s == 8) values.logSignalDb = -99;
    ASSERT_TRUE(Tick(s));
  }
  EXPECT_EQ(LineCount("SIGREC.TXT"), 3u);
  std::ifstream f("SIGREC.TXT", std::ios::binary);
  std::string first;
  std::getline(f, first);
  EXPECT_EQ(first, "14:03:07  1000   12.3  -35.2  47.6  00.0012  \r");
  const QTextDocument* doc = panel->GenInfo->document();
  EXPECT_EQ(doc->blockCount(), 3);
  EXPECT_TRUE(doc->firstBlock().text().startsWith("14:03:09  1000  -99.9  "));
  EXPECT_EQ(doc->lastBlock().text(), "14:03:07  1000   12.3  -35.2  47.6  00.0012  ");
}

TEST_F(LogPanelTest, GenInfoKeepsTheNewestLines) {
  Pick("1s");
  panel->StartLog->setChecked(true);
  const int total = LogPanel::kGenInfoLines + 3;
  for (int i = 0; i < total; ++i) {
    values.peakBin = i;  // a different frequency field on every record
    Tick();
  }
  const QTextDocument* doc = panel->GenInfo->document();
  EXPECT_EQ(doc->blockCount(), LogPanel::kGenInfoLines);
  EXPECT_EQ(LineCount("SIGREC.TXT"), static_cast<size_t>(total));
  const auto freqOf = [](int bin) {
    return QString::number(static_cast<int>(std::lround(12000.0 * bin / 8192))).rightJustified(4, '0');
  };
  EXPECT_EQ(doc->firstBlock().text().mid(10, 4), freqOf(total - 1));
  EXPECT_EQ(doc->lastBlock().text().mid(10, 4), freqOf(3));
}

// A fast run scrolls GenInfo only when asked (at the display's pace); the lines are the same,
// and asking brings its newest line back into view.
TEST_F(LogPanelTest, PacedScrollKeepsTheLinesAndShowsTheNewestWhenAsked) {
  Pick("1s");
  panel->StartLog->setChecked(true);
  panel->SetScrollPaced(true);
  for (int s = 0; s < 40; ++s) ASSERT_TRUE(Tick(s));
  const QTextDocument* doc = panel->GenInfo->document();
  EXPECT_EQ(doc->blockCount(), 40);
  EXPECT_TRUE(doc->firstBlock().text().startsWith("14:03:39"));
  EXPECT_TRUE(doc->lastBlock().text().startsWith("14:03:00"));
  panel->ShowNewestLine();
  EXPECT_EQ(panel->GenInfo->textCursor().position(), 0);
  ASSERT_TRUE(Tick(40));
  panel->SetScrollPaced(false);
  EXPECT_TRUE(doc->firstBlock().text().startsWith("14:03:40"));
  EXPECT_EQ(panel->GenInfo->textCursor().position(), 0);
}

// Paced, a record costs no wake-up of the event loop: every change of the scroll bar's range
// made Qt post a call to GenInfo. Asked, GenInfo still shows its scroll bar for the lines.
TEST_F(LogPanelTest, PacedRecordsPostNothingAndTheScrollBarCatchesUp) {
  testing::EventCounter posted(QEvent::MetaCall);
  panel->GenInfo->setParent(&host);
  panel->GenInfo->setGeometry(0, 0, 300, 120);
  host.resize(300, 120);
  host.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
  panel->GenInfo->installEventFilter(&posted);
  Pick("1s");
  panel->StartLog->setChecked(true);
  for (const bool paced : {true, false}) {
    panel->SetScrollPaced(paced);
    posted.count = 0;
    for (int s = 0; s < 30; ++s) ASSERT_TRUE(Tick(s));
    QCoreApplication::processEvents();
    if (paced) {
      EXPECT_EQ(posted.count, 0);
      panel->ShowNewestLine();
      EXPECT_TRUE(panel->GenInfo->verticalScrollBar()->isVisible());
      EXPECT_GT(panel->GenInfo->verticalScrollBar()->maximum(), 0);
    } else {
      EXPECT_GT(posted.count, 0) << "the unpaced count the paced one is held against";
    }
  }
  // Switching pacing off catches up as well.
  panel->GenInfo->clear();
  QCoreApplication::processEvents();
  ASSERT_FALSE(panel->GenInfo->verticalScrollBar()->isVisible());
  panel->SetScrollPaced(true);
  for (int s = 0; s < 30; ++s) ASSERT_TRUE(Tick(s));
  panel->SetScrollPaced(false);
  EXPECT_TRUE(panel->GenInfo->verticalScrollBar()->isVisible());
}

TEST_F(LogPanelTest, IntervalChangeTakesEffectOnTheRunningCounter) {
  Pick("30s");
  panel->StartLog->setChecked(true);
  std::vector<int> written;
  for (int t = 1; t <= 137; ++t)
    if (Tick()) written.push_back(t);
  EXPECT_EQ(written, (std::vector<int>{1, 31, 61, 91, 121}));
  EXPECT_EQ(panel->logTick(), 17);
  Pick("5min");
  int next = 0;
  for (int t = 1; t <= 600 && next == 0; ++t)
    if (Tick()) next = t;
  EXPECT_EQ(next, 284);
}

TEST_F(LogPanelTest, NoIntervalHoldsTheCounter) {
  panel->StartLog->setChecked(true);
  params.LogIntervalSecs = 0;
  // Not even the first tick, when the counter still stands at 0: "No Log" writes nothing.
  for (int t = 0; t < 5; ++t) EXPECT_FALSE(Tick());
  EXPECT_EQ(panel->logTick(), 1);
}

TEST_F(LogPanelTest, FailedWritesAreReportedHeldAndDeliveredLater) {
  Pick("1s");
  panel->LogFile->setText("later/LOG.TXT");
  panel->StartLog->setChecked(true);
  // As start-up leaves it with "No Log" in the settings file: greyed out.
  panel->LogMsg->setEnabled(false);
  ASSERT_TRUE(Tick(1));
  EXPECT_TRUE(panel->LogMsg->text().startsWith("Log write failed: "));
  EXPECT_TRUE(panel->lastWriteFailed());
  // A failure is drawn readably, whatever greyed the label out.
  EXPECT_TRUE(panel->LogMsg->isEnabled());
  EXPECT_TRUE(panel->LogMsg->styleSheet().contains("color")) << panel->LogMsg->styleSheet().toStdString();
  ASSERT_TRUE(Tick(2));
  EXPECT_EQ(panel->pendingRecords(), 2u);
  EXPECT_EQ(panel->GenInfo->document()->blockCount(), 2);  // shown all the same

  ASSERT_TRUE(QDir().mkdir("later"));
  ASSERT_TRUE(Tick(3));
  EXPECT_EQ(panel->LogMsg->text(), "Logging to later/LOG.TXT");
  EXPECT_FALSE(panel->LogMsg->isEnabled());
  EXPECT_FALSE(panel->lastWriteFailed());
  EXPECT_EQ(panel->pendingRecords(), 0u);
  std::ifstream f("later/LOG.TXT", std::ios::binary);
  std::vector<std::string> lines;
  for (std::string l; std::getline(f, l);) lines.push_back(l);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].substr(0, 8), "14:03:01");
  EXPECT_EQ(lines[2].substr(0, 8), "14:03:03");
}

}  // namespace
}  // namespace corvane
