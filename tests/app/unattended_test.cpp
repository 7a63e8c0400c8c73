// An unattended station: runs of the whole program on the display, as an operator leaves it,
// and the window's START and STOP. Nothing may hold the measurement up (no dialog, no
// signal's default action), every second gets one record, and what is not measured is logged
// as missing.

#include <gtest/gtest.h>

#include <QDir>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "app/command_line.h"
#include "app/window_fixture.h"
#include "capture/run_control.h"
#include "support/program_run.h"
#include "support/test_wav.h"

namespace corvane::testing {
namespace {

// 12000 Hz, 8192 points, centre 1000 Hz, 100 Hz, band 20 .. 5400 Hz, 10 dB, 4 frames; the
// log interval as given ("1" for a record a second, "0" for "No Log").
void WriteSettings(const QString& dir, const char* interval) {
  std::ofstream f((dir + "/CORVANE.INI").toStdString(), std::ios::binary);
  f << " 12000 \r\n 8192 \r\n 683 \r\n 68 \r\n 20 \r\n 5400 \r\n 10 \r\n 4 \r\n " << interval
    << " \r\nSIGREC.TXT\r\n 4 \r\n";
}

// A carrier, 7 s of digital silence (a receiver switched off), the carrier again, played in
// real time: a record for every second, none twice, missing values through the silence and
// measured ones on both sides of it. A message box in the block would stop the records.
TEST(Unattended, SilenceIsLoggedAsMissingWithARecordEverySecond) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  WriteSettings(dir.path(), "1");
  CarrierParams c;
  c.seconds = 17;
  c.amplitude = 1000;
  c.noiseSigma = 1000;
  // The averages hold 4 blocks (2.7 s) of the carrier into the silence, and the file may
  // run up to a second behind the records: records 8 .. 10 fall in the silence either way.
  c.silenceFrom = 4;
  c.silenceTo = 11;
  WriteCarrierWav(dir.filePath("beacon.wav").toStdString(), c);
  const ProgramRun run = RunCorvane(
      dir.path(), {"--input", "beacon.wav", "--start", "--log", "--quit-after", "19"});
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0) << run.stdErr;
  EXPECT_TRUE(run.settingsWritten);
  ASSERT_GE(run.records.size(), 17u) << run.stdErr;
  std::string why;
  EXPECT_TRUE(ConsecutiveSeconds(run.records, &why)) << why;

  // By file time (the records follow the wall clock from START, the file plays in step).
  auto noiseMissing = [&](size_t i) { return run.records[i].noise == -99.0; };
  int before = 0, during = 0, after = 0;
  for (size_t i = 1; i < 5; ++i) before += !noiseMissing(i);
  for (size_t i = 8; i < 11; ++i) during += noiseMissing(i);
  for (size_t i = 13; i < 16; ++i) after += !noiseMissing(i);
  EXPECT_GE(before, 3) << "measured before the silence";
  std::string all;
  for (const auto& l : run.lines) all += l + "\n";
  EXPECT_EQ(during, 3) << "missing through the silence\n" << all << run.stdErr;
  EXPECT_GE(after, 2) << "measured again after it";
  for (size_t i = 8; i < 11; ++i) {
    EXPECT_EQ(run.lines[i].substr(10, 4), "0000") << run.lines[i];
    EXPECT_DOUBLE_EQ(run.records[i].signal, -99.9) << run.lines[i];
    EXPECT_DOUBLE_EQ(run.records[i].snr, -99.0) << run.lines[i];
  }
  EXPECT_NE(run.stdErr.find("Noise measurement not possible, Signal bandwidth reset"),
            std::string::npos);
  // The file ends before the run: said so, and the records go on as missing.
  EXPECT_NE(run.stdErr.find("End of file"), std::string::npos) << run.stdErr;
  EXPECT_TRUE(noiseMissing(run.records.size() - 1)) << run.lines.back();
}

// systemctl stop, Ctrl+C, a closed terminal: the normal program end, settings and log
// written, status 0.
TEST(Unattended, TerminationSignalsEndThroughTheProgramEnd) {
  for (const int sig : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(sig);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QProcess p;
    PrepareProcess(p, dir.path());
    p.start(CORVANE_BINARY, {"--input", "test", "--start", "--log", "--interval", "1s"});
    ASSERT_TRUE(p.waitForStarted());
    const QString log = dir.filePath("SIGREC.TXT");
    const bool logging = QTest::qWaitFor(
        [&] {
          std::ifstream f(log.toStdString());
          int lines = 0;
          for (std::string l; std::getline(f, l);) ++lines;
          return lines >= 2;
        },
        30000);
    ASSERT_TRUE(logging) << p.readAllStandardError().toStdString();
    ::kill(static_cast<pid_t>(p.processId()), sig);
    const ProgramRun run = Collect(p, dir.path(), 30000);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0) << run.stdErr;
    ASSERT_TRUE(run.settingsWritten);
    std::ifstream ini(dir.filePath("CORVANE.INI").toStdString(), std::ios::binary);
    std::vector<std::string> lines;
    for (std::string l; std::getline(ini, l);) lines.push_back(l);
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(lines[8], " 1 \r");  // the interval --interval chose
    for (const std::string& l : run.lines) EXPECT_EQ(l.back(), '\r') << "a whole record";
  }
}

// SIGPIPE (a FIFO log whose reader went away) and a FIFO with no reader at all: failed
// writes, held and reported, and the run goes on to its normal end.
TEST(Unattended, PipeSignalAndAReaderlessFifoLogDoNotEndTheRun) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  ASSERT_EQ(::mkfifo(dir.filePath("SIGREC.TXT").toLocal8Bit().constData(), 0600), 0);
  QProcess p;
  PrepareProcess(p, dir.path());
  p.start(CORVANE_BINARY,
          {"--input", "test", "--start", "--log", "--interval", "1s", "--quit-after", "5"});
  ASSERT_TRUE(p.waitForStarted());
  QTest::qWait(2000);
  ::kill(static_cast<pid_t>(p.processId()), SIGPIPE);
  const ProgramRun run = Collect(p, dir.path(), 60000);
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0) << run.stdErr;
  EXPECT_TRUE(run.settingsWritten);
  EXPECT_NE(run.stdErr.find("Log write failed"), std::string::npos) << run.stdErr;
}

// The command line of an unattended run: a log needs an interval; an input that never opens
// ends the run at once with status 1 (covered with a bad WAV file elsewhere); spans.
TEST(Unattended, CommandLineRefusesWhatCannotRun) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  // A fresh folder: the interval is the design's "No Log".
  ProgramRun run = RunCorvane(dir.path(), {"--input", "test", "--start", "--log"});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.stdErr.find("--interval"), std::string::npos) << run.stdErr;
  EXPECT_FALSE(run.settingsWritten);
  run = RunCorvane(dir.path(), {"--interval", "7s"});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_FALSE(run.settingsWritten);

  struct Span {
    const char* text;
    bool taken;
    double seconds;
  };
  for (const Span& s : {Span{"90", true, 90}, Span{"90s", true, 90}, Span{"15min", true, 900},
                        Span{"2h", true, 7200}, Span{"400d", true, 400 * 86400.0},
                        Span{"1e9", true, 1e9}, Span{"1e10", false, 0}, Span{"-5", false, 0},
                        Span{"5x", false, 0}, Span{"nan", false, 0}, Span{"", false, 0}}) {
    double seconds = -1;
    EXPECT_EQ(ParseSpan(s.text, &seconds), s.taken) << s.text;
    if (s.taken) {
      EXPECT_DOUBLE_EQ(seconds, s.seconds) << s.text;
    }
  }
}

// START, STOP and START again in the window; the end of a file played in real time, after
// which START works again. Stopped, nothing is shown as measured.
TEST_F(WindowTest, StopKeepsThePictureAndStartRunsAgain) {
  CorvaneWindow& w = Make();
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  auto* start = Find<QPushButton>("Start");
  SourceEntry beacon;
  beacon.kind = SourceEntry::Kind::TestSignal;
  beacon.text = kTestSignalText;
  w.selectSource(beacon);
  QTest::mouseClick(start, Qt::LeftButton);
  ASSERT_TRUE(w.runControl()->running());
  EXPECT_EQ(start->text(), "STOP");
  ASSERT_TRUE(QTest::qWaitFor([&] { return w.blockLoop()->blocksProcessed() >= 3; }, 20000));

  QTest::mouseClick(start, Qt::LeftButton);
  EXPECT_FALSE(w.runControl()->running());
  EXPECT_TRUE(w.captureRunning()) << "records go on, with missing values";
  EXPECT_EQ(start->text(), "START");
  EXPECT_NE(Label("CarrStabMsg")->text(), "Carrier steady");
  EXPECT_FALSE(Edit("SRate")->isHidden());
  EXPECT_TRUE(Find<QComboBox>("WindType")->isEnabled());
  EXPECT_TRUE(Find<QComboBox>("DeviceBox")->isEnabled());
  const qint64 blocks = w.blockLoop()->blocksProcessed();
  QTest::qWait(300);
  EXPECT_EQ(w.blockLoop()->blocksProcessed(), blocks) << "stopped means stopped";

  CarrierParams c;
  c.seconds = 2;
  c.noiseSigma = 300;
  WriteCarrierWav(dir_.filePath("short.wav").toStdString(), c);
  w.selectSource(WavFileEntry(dir_.filePath("short.wav")));
  QTest::mouseClick(start, Qt::LeftButton);
  ASSERT_TRUE(w.runControl()->running());
  // Played in real time to its end: a notice, not the program's end.
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w.runControl()->running(); }, 20000));
  EXPECT_TRUE(w.isVisible());
  EXPECT_TRUE(Find<QPlainTextEdit>("GenInfo")->toPlainText().contains("End of file"));
  EXPECT_EQ(start->text(), "START");

  w.selectSource(beacon);
  QTest::mouseClick(start, Qt::LeftButton);
  EXPECT_TRUE(w.runControl()->running());
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return w.blockLoop()->blocksProcessed() >= blocks + 3; }, 20000));
}

}  // namespace
}  // namespace corvane::testing
