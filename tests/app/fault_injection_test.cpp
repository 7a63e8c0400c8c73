// Faults injected into a running instrument: a log file that cannot be written for a while,
// bad settings files, random text in every parameter box, a WAV file cut short while it is
// read. Each checks that nothing is lost and that measuring goes on.

#include <gtest/gtest.h>

#include "support/program_run.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <functional>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "app/window_fixture.h"
#include "capture/block_loop.h"
#include "capture/source_factory.h"
#include "common/numtext.h"
#include "logging/log_panel.h"
#include "settings/parameter_panel.h"
#include "settings/settings_file.h"
#include "support/test_wav.h"

namespace corvane::testing {
namespace {

// ---- Records ----------------------------------------------------------------------------

// One record exactly as the writer forms it: six fields, each followed by two blanks, CR LF.
const QRegularExpression kRecord(QStringLiteral(
    R"(^(\d\d):(\d\d):(\d\d)  -?\d{4,}  ( \d{2,}\.\d|-99\.9)  -?\d{2,}\.\d  -?\d{2,}\.\d  )"
    R"(-?\d{2,}\.\d{4}  \r$)"));

int SecondOfDay(const std::string& line) {
  const QRegularExpressionMatch m = kRecord.match(QString::fromStdString(line));
  if (!m.hasMatch()) return -1;
  return m.captured(1).toInt() * 3600 + m.captured(2).toInt() * 60 + m.captured(3).toInt();
}

// Every line a whole record, one per second from `first` on (across midnight), none missing
// or doubled.
::testing::AssertionResult ConsecutiveRecords(const std::vector<std::string>& lines,
                                              int first) {
  for (size_t i = 0; i < lines.size(); ++i) {
    const int s = SecondOfDay(lines[i]);
    if (s < 0) return ::testing::AssertionFailure() << "line " << i << " malformed: " << lines[i];
    const int want = (first + static_cast<int>(i)) % 86400;
    if (s != want)
      return ::testing::AssertionFailure()
             << "line " << i << " at second " << s << ", expected " << want << ": " << lines[i];
  }
  return ::testing::AssertionSuccess();
}

// The six blank-separated fields of a record.
std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> out;
  std::istringstream in(line);
  for (std::string f; in >> f;) out.push_back(f);
  return out;
}
bool SignalMissing(const std::string& line) { return Fields(line).at(2) == "-99.9"; }
bool SnrMissing(const std::string& line) { return Fields(line).at(4) == "-99.0"; }

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// ---- In-process runs --------------------------------------------------------------------

SourceEntry TestSignal() {
  SourceEntry e;
  e.kind = SourceEntry::Kind::TestSignal;
  e.text = kTestSignalText;
  return e;
}

// Half a minute before midnight, so the records of every run cross it.
const QDateTime kClockBase(QDate(2012, 6, 15), QTime(23, 59, 30));
constexpr int kBaseSecond = 23 * 3600 + 59 * 60 + 30;

class FaultTest : public WindowTest {
 protected:
  // A typical settings file with logging every second to `logName`.
  void WriteLoggingIni(const std::string& logName) {
    std::vector<std::string> lines = DesignExampleIni();
    lines[8] = " 1 ";
    lines[9] = logName;
    WriteIni(lines);
  }

  // START in fast mode; the clock is the source's own, from kClockBase.
  CorvaneWindow& StartFast(const SourceEntry& source, bool logging) {
    CorvaneWindow& w = window_ ? *window_ : Make();
    w.selectSource(source);
    w.setFastMode(true);
    w.setClock([&w] { return kClockBase.addSecs(w.runControl()->ticksGiven()); });
    w.logging().SetSyncToDisk(false);
    w.pressStart();
    EXPECT_TRUE(w.captureRunning());
    if (logging) w.setLogging(true);
    return w;
  }

  // Lets the blocks run until the source's clock has reached `seconds`.
  bool RunUntil(qint64 seconds) {
    BlockLoop* loop = window_->blockLoop();
    RunControl* run = window_->runControl();
    const bool reached =
        QTest::qWaitFor([&] { return run->ticksGiven() >= seconds || !loop->running(); },
                        60000) &&
        run->ticksGiven() >= seconds;
    // The records of those seconds have been tried and their results shown.
    EXPECT_TRUE(window_->logging().WaitForWrites());
    return reached;
  }

  // Runs one more block; false if none came.
  bool OneBlock() {
    BlockLoop* loop = window_->blockLoop();
    const qint64 before = loop->blocksProcessed();
    return QTest::qWaitFor([&] { return loop->blocksProcessed() > before; }, 10000);
  }

  // Changes the log file name the way the window allows: stop logging, edit, start again,
  // all between two ticks.
  void SwitchLogFile(const QString& name) {
    window_->setLogging(false);
    Edit("LogFile")->setText(name);
    window_->setLogging(true);
  }

  void LoseLogLocation(const std::function<void()>& breakIt, const std::function<void()>& mendIt,
                       const char* before);

  QString LogMsg() { return Label("LogMsg")->text(); }
};

// The log file's place goes away while logging and comes back: the failure is shown, blocks
// and ticks go on, and the records held meanwhile reach the file whole and in order.
void FaultTest::LoseLogLocation(const std::function<void()>& breakIt,
                                const std::function<void()>& mendIt, const char* before) {
  ASSERT_TRUE(QDir().mkdir("logs"));
  WriteLoggingIni("logs/LOG.TXT");
  CorvaneWindow& w = StartFast(TestSignal(), true);
  ASSERT_TRUE(RunUntil(5));
  breakIt();
  ASSERT_TRUE(RunUntil(12));
  EXPECT_TRUE(LogMsg().startsWith("Log write failed: ")) << LogMsg().toStdString();
  EXPECT_TRUE(LogMsg().contains("record(s) held")) << LogMsg().toStdString();
  EXPECT_GE(w.logging().pendingRecords(), 6u);
  const qint64 blocksInFault = w.blockLoop()->blocksProcessed();
  mendIt();
  ASSERT_TRUE(RunUntil(20));
  EXPECT_GT(w.blockLoop()->blocksProcessed(), blocksInFault);
  EXPECT_EQ(LogMsg(), "Logging to logs/LOG.TXT");
  EXPECT_EQ(w.logging().pendingRecords(), 0u);
  w.blockLoop()->stop();

  const std::vector<std::string> all = Concat(FileLines(before), FileLines("logs/LOG.TXT"));
  EXPECT_EQ(static_cast<qint64>(all.size()), w.runControl()->ticksGiven());
  EXPECT_TRUE(ConsecutiveRecords(all, kBaseSecond + 1));
  EXPECT_EQ(GenInfoRecords(), static_cast<int>(all.size()));
  // The records held through the fault carry measurements, not only missing values.
  int measured = 0;
  for (size_t i = 5; i < 12 && i < all.size(); ++i) measured += !SignalMissing(all[i]);
  EXPECT_GT(measured, 0);
}

TEST_F(FaultTest, LogDirectoryGoneMidRunLosesNoRecord) {
  LoseLogLocation([] { ASSERT_TRUE(QDir().rename("logs", "logs.old")); },
                  [] { ASSERT_TRUE(QDir().mkdir("logs")); }, "logs.old/LOG.TXT");
}

TEST_F(FaultTest, DirectoryInPlaceOfTheLogFileLosesNoRecord) {
  LoseLogLocation(
      [] {
        ASSERT_TRUE(QFile::rename("logs/LOG.TXT", "logs/LOG.OLD"));
        ASSERT_TRUE(QDir().mkdir("logs/LOG.TXT"));
      },
      [] { ASSERT_TRUE(QDir().rmdir("logs/LOG.TXT")); }, "logs/LOG.OLD");
}

// A full disk: "/dev/full" takes no byte. The records wait and go to the next file that
// takes them; the measurement never stops.
TEST_F(FaultTest, FullDiskHoldsRecordsUntilAWritableFile) {
  WriteLoggingIni("SIGREC.TXT");
  CorvaneWindow& w = StartFast(TestSignal(), true);
  ASSERT_TRUE(RunUntil(4));
  SwitchLogFile("/dev/full");
  ASSERT_TRUE(RunUntil(10));
  EXPECT_TRUE(LogMsg().startsWith("Log write failed: ")) << LogMsg().toStdString();
  EXPECT_TRUE(LogMsg().contains("No space left on device")) << LogMsg().toStdString();
  EXPECT_EQ(w.logging().pendingRecords(), 6u);
  EXPECT_TRUE(w.captureRunning());
  SwitchLogFile("SIGREC.TXT");
  ASSERT_TRUE(RunUntil(15));
  EXPECT_EQ(LogMsg(), "Logging to SIGREC.TXT");
  w.blockLoop()->stop();
  const std::vector<std::string> lines = FileLines("SIGREC.TXT");
  EXPECT_EQ(static_cast<qint64>(lines.size()), w.runControl()->ticksGiven());
  EXPECT_TRUE(ConsecutiveRecords(lines, kBaseSecond + 1));
  EXPECT_EQ(w.logging().droppedRecords(), 0u);
}

// A long run: GenInfo stops at its bound, newest record on top, and keeps no edit history
// (each record put in by code would otherwise stay on the undo stack for good).
TEST_F(FaultTest, GenInfoKeepsItsBoundAndNoHistoryOverALongRun) {
  WriteLoggingIni("SIGREC.TXT");
  CorvaneWindow& w = StartFast(TestSignal(), true);
  w.blockLoop()->stop();  // only the ticks matter here
  QPlainTextEdit* genInfo = Find<QPlainTextEdit>("GenInfo");
  const int ticks = LogPanel::kGenInfoLines + 200;
  for (int t = 0; t < ticks; ++t) w.Timer1_Timer();
  EXPECT_EQ(genInfo->document()->blockCount(), LogPanel::kGenInfoLines);
  EXPECT_EQ(genInfo->document()->availableUndoSteps(), 0);
  EXPECT_EQ(static_cast<int>(FileLines("SIGREC.TXT").size()), ticks);
  const QStringList shown = genInfo->toPlainText().split('\n');
  EXPECT_EQ(shown.front().toStdString() + "\r", FileLines("SIGREC.TXT").back());
  EXPECT_EQ(shown.back().toStdString() + "\r",
            FileLines("SIGREC.TXT")[static_cast<size_t>(ticks - LogPanel::kGenInfoLines)]);
}

// ---- Random text in every parameter box while capture runs -------------------------------

class RandomText {
 public:
  explicit RandomText(uint32_t seed) : rng_(seed) {}

  QString Next() {
    switch (Pick(12)) {
      case 0: return {};
      case 1: return QString(100000, QChar(Pick(2) ? '9' : '7'));
      case 2: {  // huge and mixed
        QString s;
        for (int i = 0; i < 100000; ++i) s += QChar(static_cast<char16_t>(0x20 + Pick(0x5f)));
        return s;
      }
      case 3: return Element(kNonAscii);
      case 4: return Element(kTricky);
      case 5: {  // a number of any size
        const double mantissa = std::uniform_real_distribution<double>(-10, 10)(rng_);
        const int exponent = static_cast<int>(Pick(700)) - 350;
        return QString::number(mantissa, 'g', 17) + "e" + QString::number(exponent);
      }
      case 6: return QString::number(static_cast<int>(Pick(200000)) - 100000);
      case 7: return QString::number(std::uniform_real_distribution<double>(-5000, 5000)(rng_));
      case 8: {  // random code points of the Basic Multilingual Plane
        QString s;
        const int n = static_cast<int>(Pick(40));
        for (int i = 0; i < n; ++i) {
          char16_t c = static_cast<char16_t>(1 + Pick(0xfffd));
          if (c >= 0xd800 && c <= 0xdfff) c = 0x263a;
          s += QChar(c);
        }
        return s;
      }
      case 9: {  // Latin-1 bytes, control characters included
        QByteArray b;
        const int n = static_cast<int>(Pick(30));
        for (int i = 0; i < n; ++i) b += static_cast<char>(1 + Pick(255));
        return QString::fromLatin1(b);
      }
      case 10: return Element(kNonAscii) + Element(kTricky);
      default: return QString::number(Pick(3000));  // plain, sensible values too
    }
  }
  double Real(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng_); }
  uint32_t Pick(uint32_t n) { return std::uniform_int_distribution<uint32_t>(0, n - 1)(rng_); }

 private:
  QString Element(const std::vector<QString>& v) { return v[Pick(static_cast<uint32_t>(v.size()))]; }

  const std::vector<QString> kNonAscii = {
      QString::fromUtf8("１２０００"), QString::fromUtf8("٣٠٠٠"), QString::fromUtf8("１e５"),
      QString::fromUtf8("ü100"),       QString::fromUtf8("日本語"), QString::fromUtf8("😀😀"),
      QString::fromUtf8("\u200f100"),  QString::fromUtf8("1\u0301000"),
      QString::fromUtf8("−5"),         QString::fromUtf8("1\u00a0000"),
      QString::fromUtf8("½"),          QString::fromUtf8("Ⅻ")};
  const std::vector<QString> kTricky = {
      "nan", "-nan", "inf", "-INF", "Infinity", "1e308", "-1e308", "1e309", "1e-320", "-0",
      "0", "0.0", "-0e0", "0x10", "1.2.3", "--5", "+", "-", ".", "e5", "5e", "5e+", "1e99999",
      "  12 34 ", "\t7\n", "1,5", "65536", "4294967296", "-2147483649", "32768", "1e-5",
      "99999999999999999999999999999999", "3.", ".5", "00000000000000000001"};
  std::mt19937 rng_;
};

bool HasNonFinite(const QString& s) {
  return s.contains("nan", Qt::CaseInsensitive) || s.contains("inf", Qt::CaseInsensitive);
}

// Random texts, empty, huge and non-ASCII ones among them, go into every parameter box
// between blocks and ticks: nothing crashes, and no read-out, record or log line shows a
// non-finite number or a malformed record.
TEST_F(FaultTest, RandomTextInEveryBoxNeverReachesAReadOutAsNonFinite) {
  WriteLoggingIni("SIGREC.TXT");
  CorvaneWindow& w = Make();
  ParameterPanel& p = w.parameters();
  RandomText random(20240607);
  std::map<const QLineEdit*, QString> typed;
  auto type = [&](QLineEdit* box) {
    const QString text = random.Next();
    box->setText(text);
    typed[box] = text;
  };
  const std::vector<const char*> readouts = {"PeakDet",  "SNBin",       "SN1Hz",  "SN2k5Hz",
                                             "ShowNoise", "ShowSignal", "Drift",  "CarrStabMsg",
                                             "CsrLoc",    "BinSize"};
  int checks = 0;
  auto check = [&](const std::string& when) {
    for (const char* name : readouts) {
      const QString t = Label(name)->text();
      ASSERT_FALSE(HasNonFinite(t)) << when << ": " << name << " = " << t.toStdString();
    }
    ASSERT_FALSE(HasNonFinite(p.FBand->text())) << when << ": " << p.FBand->text().toStdString();
    // The texts the program writes back itself, unless the letters were typed.
    for (QLineEdit* box : {p.CF, p.DetPeriod, p.SigBW, p.Hist}) {
      if (typed.count(box) && HasNonFinite(typed[box])) continue;
      ASSERT_FALSE(HasNonFinite(box->text())) << when << ": " << box->objectName().toStdString()
                                              << " = " << box->text().left(80).toStdString();
    }
    ++checks;
  };

  // Before START: the sampling rate and the FFT length as well.
  for (int i = 0; i < 150; ++i) {
    switch (random.Pick(3)) {
      case 0: type(p.SRate); break;
      case 1: {
        p.FFTSize->setEditText(random.Next());
        if (random.Pick(2)) emit p.FFTSize->activated(p.FFTSize->currentIndex());
        break;
      }
      default: {
        QLineEdit* boxes[] = {p.CF, p.SigBW, p.DetPeriod, p.StabFactor, p.Hist, p.AlarmThresh,
                              p.AVConst};
        type(boxes[random.Pick(7)]);
      }
    }
    check("before START, step " + std::to_string(i));
    if (::testing::Test::HasFatalFailure()) return;
  }
  // A rate and a length the run can use; what was typed into the rest stays.
  p.SRate->setText(" 12000");
  p.FFTSize->setEditText("8192");
  emit p.FFTSize->activated(p.FFTSize->currentIndex());

  StartFast(TestSignal(), true);
  ASSERT_TRUE(w.blockLoop()->running());
  QLineEdit* running[] = {p.CF,   p.SigBW,       p.DetPeriod, p.StabFactor,
                          p.Hist, p.AlarmThresh, p.AVConst};
  for (int i = 0; i < 400; ++i) {
    const uint32_t what = random.Pick(10);
    if (what < 7) {
      type(running[what]);
    } else if (what == 7) {
      // The file name only while stopped, as the window allows.
      w.setLogging(false);
      type(Edit("LogFile"));
      if (random.Pick(3) == 0) Edit("LogFile")->setText("SIGREC.TXT");
      w.setLogging(true);
    } else if (what == 8) {
      w.Spectrum_MouseMove(random.Real(-1e6, 1e6), random.Real(-1e3, 1e3));
    } else {
      Find<QCheckBox>("TrackSig")->setChecked(random.Pick(2) == 1);
    }
    check("running, step " + std::to_string(i) + " before the block");
    if (::testing::Test::HasFatalFailure()) return;
    ASSERT_TRUE(OneBlock()) << "step " << i;
    check("running, step " + std::to_string(i));
    if (::testing::Test::HasFatalFailure()) return;
  }
  EXPECT_GT(w.runControl()->ticksGiven(), 100);
  w.setLogging(false);
  Edit("LogFile")->setText("SIGREC.TXT");
  w.blockLoop()->stop();

  // Records: on screen every one, in the file those that found a writable name.
  const QStringList shown = Find<QPlainTextEdit>("GenInfo")->toPlainText().split('\n');
  EXPECT_GT(shown.size(), 50);
  for (const QString& line : shown) {
    EXPECT_FALSE(HasNonFinite(line)) << line.toStdString();
    // Notices ("Log write failed: …") stand between the records, a word after the time.
    const bool notice = line.size() > 10 && line[10].isLetter();
    if (!notice) {
      EXPECT_TRUE(kRecord.match(line + "\r").hasMatch()) << line.toStdString();
    }
  }
  const std::vector<std::string> file = FileLines("SIGREC.TXT");
  EXPECT_GT(file.size(), 10u);
  for (const std::string& line : file) {
    EXPECT_FALSE(HasNonFinite(QString::fromStdString(line))) << line;
    EXPECT_GE(SecondOfDay(line), 0) << line;
  }
  EXPECT_GT(checks, 900);
}

// ---- The source fails -------------------------------------------------------------------

// A WAV file cut short on disk while it is read: the source says so, the run ends without a
// crash, and every record up to the cut is in the log.
TEST_F(FaultTest, WavFileTruncatedWhileReadEndsWithAClearStatus) {
  WriteLoggingIni("SIGREC.TXT");
  CarrierParams c;
  c.seconds = 40;
  c.amplitude = 1000;
  c.noiseSigma = 2000;
  const QString wav = dir_.filePath("beacon.wav");
  WriteCarrierWav(wav.toStdString(), c);
  {
    // Recorded from a whole second on, so its clock ticks after each whole second of audio.
    QFile f(wav);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(QDateTime(QDate(2026, 12, 8), QTime(18, 0, 40)),
                              QFileDevice::FileModificationTime));
  }
  CorvaneWindow& w = Make();
  w.show();
  StartFast(WavFileEntry(wav), true);
  ASSERT_TRUE(RunUntil(10));
  // Cut at 15 s of audio: 44 header bytes and 4 bytes a frame.
  ASSERT_TRUE(QFile::resize(wav, 44 + 4 * 12000 * 15));
  const bool ended = QTest::qWaitFor([&] { return !w.runControl()->running(); }, 20000);
  ASSERT_TRUE(ended);
  EXPECT_FALSE(w.blockLoop()->running());
  const QString status = Label("SourceStatus")->text();
  EXPECT_TRUE(status.startsWith("Audio file ended early")) << status.toStdString();
  // Blocks of 8192 frames: 21 whole blocks fit in 15 s, so the last tick is at second 14.
  const std::vector<std::string> lines = FileLines("SIGREC.TXT");
  EXPECT_EQ(lines.size(), 14u);
  EXPECT_TRUE(ConsecutiveRecords(lines, kBaseSecond + 1));
}

// Input stops (the source gone) while the one-second tick goes on: after the first record
// the signal level and S/N read as missing, never as the last value measured.
TEST_F(FaultTest, RecordsWithoutInputShowMissingValues) {
  WriteLoggingIni("SIGREC.TXT");
  CorvaneWindow& w = StartFast(TestSignal(), true);
  // Until the carrier has been steady long enough to be logged.
  const bool steady = QTest::qWaitFor(
      [&] { return w.engine().LogSignalDb > 0 && w.engine().LogSN1HzDb != -99.0; }, 20000);
  ASSERT_TRUE(steady);
  w.blockLoop()->stop();
  const size_t before = FileLines("SIGREC.TXT").size();
  for (int t = 0; t < 5; ++t) w.Timer1_Timer();
  const std::vector<std::string> lines = FileLines("SIGREC.TXT");
  ASSERT_EQ(lines.size(), before + 5);
  // The first record still holds the steady measurement of the last block.
  EXPECT_FALSE(SignalMissing(lines[before])) << lines[before];
  EXPECT_FALSE(SnrMissing(lines[before])) << lines[before];
  for (size_t i = before + 1; i < lines.size(); ++i) {
    EXPECT_TRUE(SignalMissing(lines[i])) << lines[i];
    EXPECT_TRUE(SnrMissing(lines[i])) << lines[i];
  }
}

}  // namespace
}  // namespace corvane::testing

// ---- Whole program: the settings file --------------------------------------------------

namespace corvane::testing {
namespace {

struct BinaryRun {
  bool finished = false;
  int exitCode = -1;
  std::string stdErr;
};

BinaryRun RunBinary(const QString& dir, const QStringList& extra, int timeoutMs = 60000) {
  QProcess p;
  PrepareProcess(p, dir);
  p.start(CORVANE_BINARY, extra);
  BinaryRun run;
  run.finished = p.waitForFinished(timeoutMs);
  if (!run.finished) {
    p.kill();
    p.waitForFinished();
  }
  run.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  run.stdErr = p.readAllStandardError().toStdString();
  return run;
}

const QStringList kShortRun = {"--input", "test", "--start",      "--log",
                               "--fast",  "--interval", "1s", "--quit-after", "3"};

std::string DesignLines(int replacedLine, const std::string& with) {
  std::vector<std::string> lines = {" 12000 ", " 8192 ", " 683 ", " 68 ", " 20 ", " 5400 ",
                                    " 10 ",    " 4 ",    " 1 ",   "SIGREC.TXT", " 4 "};
  if (replacedLine >= 1) lines[static_cast<size_t>(replacedLine - 1)] = with;
  std::string text;
  for (const std::string& l : lines) text += l + "\r\n";
  return text;
}

// An interval far beyond any counter writes the first record and then none.
TEST(WholeProgramFaults, AbsurdLogIntervalWritesOnlyTheFirstRecord) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  for (const char* interval : {"1e308", "1e19", "4294967296"}) {
    SCOPED_TRACE(interval);
    QFile::remove(dir.filePath("SIGREC.TXT"));
    std::ofstream(dir.filePath("CORVANE.INI").toStdString(), std::ios::binary)
        << DesignLines(9, interval);
    const BinaryRun run = RunBinary(dir.path(), {"--input", "test", "--start", "--log", "--fast",
                                                  "--quit-after", "10"});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0) << run.stdErr;
    std::ifstream log(dir.filePath("SIGREC.TXT").toStdString(), std::ios::binary);
    int records = 0;
    for (std::string line; std::getline(log, line);) ++records;
    EXPECT_EQ(records, 1);
  }
}


struct BadSettings {
  std::string name;
  std::string bytes;  // empty name of the file: no file at all
  bool present = true;
};

std::vector<BadSettings> BadSettingsFiles() {
  std::vector<BadSettings> v;
  v.push_back({"missing", "", false});
  v.push_back({"empty", ""});
  v.push_back({"one line", " 12000 \r\n"});
  v.push_back({"three lines", " 8000 \r\n 4096 \r\n 512 \r\n"});
  v.push_back({"ten lines, last without a line end",
               " 12000 \r\n 8192 \r\n 683 \r\n 68 \r\n 20 \r\n 5400 \r\n 10 \r\n 4 \r\n 1 \r\nSIG"});
  std::string cr = DesignLines(0, ""), lf = cr;
  cr.erase(std::remove(cr.begin(), cr.end(), '\n'), cr.end());
  lf.erase(std::remove(lf.begin(), lf.end(), '\r'), lf.end());
  v.push_back({"CR line ends", cr});
  v.push_back({"LF line ends", lf});
  std::mt19937 rng(7);
  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage += static_cast<char>(rng() & 0xff);
  v.push_back({"binary garbage", garbage});
  std::string high;
  for (int i = 0; i < 2000; ++i) high += static_cast<char>(0x80 + (rng() & 0x7f));
  v.push_back({"high bytes without line ends", high});
  v.push_back({"a line of a megabyte", std::string(1 << 20, '9') + "\r\n" + DesignLines(0, "")});
  for (int line : {1, 2, 3, 4, 5, 6, 7, 8, 9, 11}) {
    for (const char* value : {"1e308", "-1e308", "-0", "65536", "1e-320", "nan", "-inf"}) {
      v.push_back({std::string(value) + " on line " + std::to_string(line),
                   DesignLines(line, value)});
    }
  }
  v.push_back({"10 000-character file name", DesignLines(10, std::string(10000, 'L'))});
  v.push_back({"empty file name", DesignLines(10, "")});
  return v;
}

// Whatever the settings file holds, start-up reaches a usable state, a short run measures
// and the program ends normally, writing back a settings file that reads as sound values.
TEST(WholeProgramFaults, BadSettingsFilesStartAndEndNormally) {
  const std::vector<int> offered = {1024, 2048, 4096, 8192, 16384, 32768};
  for (const BadSettings& c : BadSettingsFiles()) {
    SCOPED_TRACE(c.name);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string ini = dir.filePath("CORVANE.INI").toStdString();
    if (c.present) std::ofstream(ini, std::ios::binary) << c.bytes;
    // Three seconds of the beacon take well under a second.
    const BinaryRun run = RunBinary(dir.path(), kShortRun, 20000);
    EXPECT_TRUE(run.finished) << "did not end";
    if (!run.finished) continue;
    EXPECT_EQ(run.exitCode, 0) << run.stdErr;

    std::vector<std::string> lines;
    EXPECT_EQ(ReadSettingsLines(ini, &lines), kSettingsLineCount);
    if (lines.size() != kSettingsLineCount) continue;
    std::ifstream raw(ini, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(raw)), {});
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), kSettingsLineCount);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), kSettingsLineCount);
    std::vector<double> n;
    for (const std::string& l : lines) n.push_back(SettingsNumber(l));
    const double rate = n[0], len = n[1], centre = n[2], sigBW = n[3], fMin = n[4],
                 fMax = n[5], stab = n[6], frames = n[7], interval = n[8], hist = n[10];
    EXPECT_GT(rate, 0);
    EXPECT_LE(rate, 384000);
    EXPECT_NE(std::find(offered.begin(), offered.end(), static_cast<int>(len)), offered.end())
        << len;
    for (double x : {centre, sigBW, stab, frames, interval}) EXPECT_TRUE(std::isfinite(x));
    // A negative interval stands as it is: it only means no record is ever due.
    EXPECT_GT(sigBW, 0);
    EXPECT_GE(fMin, 20);
    EXPECT_LE(fMin, 4962);
    EXPECT_GE(fMax, 20);
    EXPECT_LE(fMax, 32700);
    EXPECT_GE(frames, 2);
    EXPECT_GE(hist, 2);
    EXPECT_LE(hist, 64);
    // The band lies inside the spectrum the FFT gives.
    EXPECT_LE(fMax / rate * len, len);
  }
}

// A full disk and a name no file system takes: shown on the way out, with the count of the
// records that could not be written; the run itself goes to its end.
TEST(WholeProgramFaults, UnwritableLogNamesAreReportedWithTheRecordsHeld) {
  for (const std::string& name : {std::string("/dev/full"), std::string(10000, 'L')}) {
    SCOPED_TRACE(name.substr(0, 12));
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    std::ofstream(dir.filePath("CORVANE.INI").toStdString(), std::ios::binary)
        << DesignLines(10, name);
    const BinaryRun run = RunBinary(dir.path(), {"--input", "test", "--start", "--log", "--fast",
                                                  "--quit-after", "20"});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0) << run.stdErr;
    EXPECT_NE(run.stdErr.find("Log write failed: "), std::string::npos) << run.stdErr;
    EXPECT_NE(run.stdErr.find("; 20 record(s) held"), std::string::npos) << run.stdErr;
    EXPECT_EQ(run.stdErr.find("dropped"), std::string::npos) << run.stdErr;
  }
}

}  // namespace
}  // namespace corvane::testing
