// The main window's start-up from the settings file and its program end: the design's texts,
// what the file gives, what it cannot give, and writing it back.

#include <algorithm>

#include <QApplication>
#include <QGroupBox>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>

#include "app/window_fixture.h"
#include "support/test_wav.h"
#include "capture/source_factory.h"
#include "common/numtext.h"
#include "display/band_plot.h"
#include "display/waterfall_view.h"
#include "display/waterfall_window.h"
#include "logging/log_panel.h"
#include "settings/parameter_panel.h"
#include "app/level_meter.h"

namespace corvane::testing {
namespace {

SourceEntry TestSignal() {
  SourceEntry e;
  e.kind = SourceEntry::Kind::TestSignal;
  e.text = kTestSignalText;
  return e;
}


TEST_F(WindowTest, StartUpWithoutSettingsFileUsesTheDesignTexts) {
  CorvaneWindow& w = Make();
  const MeasurementParams& p = w.params();
  EXPECT_EQ(w.objectName(), "Corvane");
  EXPECT_EQ(w.windowTitle(), "Signal Logging  Velmora  June 2012");
  EXPECT_EQ(p.SampleRate, 12000);
  EXPECT_EQ(Module1::FFTLen, 8192);
  EXPECT_EQ(Text("SRate"), " 12000");
  EXPECT_EQ(Text("CF"), "1000");
  EXPECT_EQ(p.CentreBin, 683);
  EXPECT_EQ(Text("SigBW"), "100");
  EXPECT_EQ(p.SigBWBins, 68);
  EXPECT_EQ(Text("DetPeriod"), "2.73066666666667");
  EXPECT_EQ(p.DetFrames, 4);
  EXPECT_EQ(p.StabLimitDb, 10);
  EXPECT_EQ(p.HistLen, 4);
  EXPECT_EQ(Text("Hist"), " 4");
  EXPECT_EQ(Bar("FMax")->value(), 5400);
  EXPECT_EQ(p.FMinBin, 14);
  EXPECT_EQ(p.FMaxBin, 3686);
  EXPECT_EQ(Text("FBand"), " 20 -  5400");
  EXPECT_EQ(Text("AlarmThresh"), " 40");
  EXPECT_EQ(p.AlarmThreshDb, 40);
  EXPECT_EQ(Text("AVConst"), " 5");
  EXPECT_EQ(p.GuardBand, 0.5f);
  EXPECT_EQ(Find<QComboBox>("WindType")->currentIndex(), 1);
  // The selection depends on the machine's cards: DeviceListSelectsTheBeaconOnlyWhenThereIsNoCard.
  EXPECT_EQ(Find<QComboBox>("DeviceBox")->placeholderText(), "Choose Soundcard");
  EXPECT_EQ(Find<QComboBox>("LogInterval")->currentText(), "No Log");
  EXPECT_EQ(p.LogFileName, "SIGREC.TXT");
  // No interval: the logging controls are disabled.
  EXPECT_FALSE(Find<QCheckBox>("StartLog")->isEnabled());
  EXPECT_FALSE(Edit("LogFile")->isEnabled());
  EXPECT_FALSE(Label("LogFileLabel")->isEnabled());
  EXPECT_FALSE(Label("LogMsg")->isEnabled());
  EXPECT_EQ(Find<QCheckBox>("StartLog")->text(), "Start Log");
  EXPECT_TRUE(Label("CsrLoc")->isHidden());
  EXPECT_TRUE(Label("AlarmVisual")->isHidden());
  EXPECT_TRUE(Label("Drift")->isHidden());
  EXPECT_EQ(Label("CarrStabMsg")->text(), "Carrier Stability");
  EXPECT_FALSE(w.runControl()->running());
}

TEST_F(WindowTest, SettingsFileGivesTheStartUpStateAndIsWrittenBackTheSame) {
  WriteIni(DesignExampleIni());
  {
    CorvaneWindow& w = Make();
    const MeasurementParams& p = w.params();
    EXPECT_EQ(Text("CF"), "1000");
    EXPECT_EQ(p.CentreBin, 683);
    EXPECT_EQ(Text("SigBW"), "100");
    EXPECT_EQ(p.SigBWBins, 68);
    EXPECT_EQ(Text("DetPeriod"), "2.73066666666667");
    EXPECT_EQ(p.DetFrames, 4);
    EXPECT_EQ(p.HistLen, 4);
    EXPECT_EQ(Find<QComboBox>("LogInterval")->currentText(), " 1m");
    EXPECT_EQ(p.LogIntervalSecs, 60);
    EXPECT_EQ(p.FMinBin, 14);
    EXPECT_EQ(p.FMaxBin, 3686);
    EXPECT_EQ(Find<QComboBox>("FFTSize")->currentText(), " 8192 ");
    EXPECT_EQ(Text("StabFactor"), " 10");
    EXPECT_TRUE(Find<QCheckBox>("StartLog")->isEnabled());
    EXPECT_EQ(Find<QCheckBox>("StartLog")->text(), "Start Log");
    QFile::remove("CORVANE.INI");
    ASSERT_TRUE(w.close());
  }
  EXPECT_EQ(FileLines("CORVANE.INI"),
            (std::vector<std::string>{" 12000 \r", " 8192 \r", " 683 \r", " 68 \r", " 20 \r",
                                      " 5400 \r", " 10 \r", " 4 \r", " 60 \r", "SIGREC.TXT\r",
                                      " 4 \r"}));
}

// Line 10 is 8-bit text: a name with a byte above 127 is written back as it was read, and
// the records go to a file of exactly that name.
TEST_F(WindowTest, LogFileNameFromTheSettingsFileKeepsItsBytes) {
  const std::string name = "CAF\xC9.TXT";
  std::vector<std::string> lines = DesignExampleIni();
  lines[9] = name;
  WriteIni(lines);
  {
    CorvaneWindow& w = Make();
    w.selectSource(TestSignal());
    w.setFastMode(true);
    w.pressStart();
    ASSERT_TRUE(w.captureRunning());
    w.blockLoop()->stop();
    Pick(Find<QComboBox>("LogInterval"), "1s");
    w.setLogging(true);
    w.Timer1_Timer();
    w.Timer1_Timer();
    ASSERT_TRUE(w.logging().WaitForWrites());
    ASSERT_TRUE(w.close());
  }
  std::ifstream log(name, std::ios::binary);
  std::string record;
  int records = 0;
  while (std::getline(log, record)) ++records;
  EXPECT_EQ(records, 2);
  struct stat st {};
  EXPECT_NE(::stat("CAF\xC3\x89.TXT", &st), 0);  // not under the name's UTF-8 reading
  std::ifstream ini("CORVANE.INI", std::ios::binary);
  std::string line;
  for (int i = 0; i < 10 && std::getline(ini, line); ++i) {
  }
  EXPECT_EQ(line, name + "\r");
}

TEST_F(WindowTest, UnreadableSettingsFileIsKeptAndReported) {
  if (::geteuid() == 0) GTEST_SKIP() << "running as root: file permissions are not enforced";
  std::vector<std::string> lines = DesignExampleIni();
  lines[0] = " 8000 ";
  WriteIni(lines);
  ASSERT_TRUE(QFile::setPermissions("CORVANE.INI", QFileDevice::WriteOwner));
  ::testing::internal::CaptureStderr();
  CorvaneWindow& w = Make();
  EXPECT_EQ(w.params().SampleRate, 12000);  // the design's values meanwhile
  EXPECT_TRUE(Find<QPlainTextEdit>("GenInfo")->toPlainText().contains("CORVANE.INI cannot be read"));
  EXPECT_TRUE(w.close());
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("CORVANE.INI cannot be read"), std::string::npos) << err;
  ASSERT_TRUE(QFile::setPermissions("CORVANE.INI", QFileDevice::ReadOwner | QFileDevice::WriteOwner));
  ASSERT_FALSE(FileLines("CORVANE.INI").empty());
  EXPECT_EQ(FileLines("CORVANE.INI")[0], " 8000 \r");
}

TEST_F(WindowTest, ExistingLogFileShowsContinue) {
  WriteIni(DesignExampleIni());
  QFile f("SIGREC.TXT");
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.close();
  Make();
  EXPECT_EQ(Find<QCheckBox>("StartLog")->text(), "Continue Log");
}

TEST_F(WindowTest, ShortSettingsFileTakesTheDesignTextsForTheRest) {
  WriteIni({" 8000 ", " 4096 ", " 512 "});
  CorvaneWindow& w = Make();
  const MeasurementParams& p = w.params();
  EXPECT_EQ(p.SampleRate, 8000);
  EXPECT_EQ(Module1::FFTLen, 4096);
  EXPECT_EQ(Text("CF"), "1000");
  EXPECT_EQ(p.CentreBin, 512);
  EXPECT_EQ(p.SigBWBins, 51);  // "100" at 1.95 Hz a bin
  EXPECT_EQ(Text("SigBW"), "100");
  EXPECT_EQ(p.DetFrames, 6);   // "3" s at 0.512 s a frame: 5.86
  EXPECT_EQ(p.StabLimitDb, 10);
  EXPECT_EQ(p.LogIntervalSecs, 0);
  EXPECT_FALSE(Find<QCheckBox>("StartLog")->isEnabled());
  EXPECT_EQ(Bar("FMax")->value(), 3600);
}

TEST_F(WindowTest, ReadingStopsAtALineItsControlCannotTake) {
  std::vector<std::string> lines = DesignExampleIni();
  lines[4] = " 10 ";  // below FMin's range
  lines[6] = " 7 ";
  WriteIni(lines);
  CorvaneWindow& w = Make();
  EXPECT_EQ(w.params().CentreBin, 683);       // lines 1 .. 4 applied
  EXPECT_EQ(Text("StabFactor"), "10");        // line 7 never read: the design text
  EXPECT_EQ(w.params().StabLimitDb, 10);
  EXPECT_EQ(w.params().LogIntervalSecs, 0);   // line 9 never read
  EXPECT_EQ(Find<QComboBox>("LogInterval")->currentText(), "No Log");
}

TEST_F(WindowTest, ZeroRateInTheFileFallsBackToTheDesignRate) {
  WriteIni({" 0 ", " 8192 "});
  CorvaneWindow& w = Make();
  EXPECT_EQ(w.params().SampleRate, 12000);
  EXPECT_EQ(Text("SRate"), " 12000");
  EXPECT_EQ(w.params().CentreBin, 683);
}

TEST_F(WindowTest, FFTLengthNotOfferedIsReplacedByTheNearest) {
  std::vector<std::string> lines = DesignExampleIni();
  lines[1] = " 5000 ";
  WriteIni(lines);
  CorvaneWindow& w = Make();
  EXPECT_EQ(Module1::FFTLen, 4096);
  EXPECT_EQ(Find<QComboBox>("FFTSize")->currentText(), "4096");
  // A length typed into the box is used the same way at START.
  Find<QComboBox>("FFTSize")->setEditText("20000");
  w.selectSource(TestSignal());
  w.setFastMode(true);
  w.pressStart();
  EXPECT_EQ(Module1::FFTLen, 16384);
  EXPECT_TRUE(w.captureRunning());
}

// A length typed into the FFT box takes effect at START with all that a pick from the list
// derives from it: the band edges, the history length and the plot's scale.
TEST_F(WindowTest, TypedFFTLengthTakesEffectAtStartAsAPickWould) {
  // A carrier at +1000 Hz, and a stronger tone at -3000 Hz (bin 3072 of 4096), which only
  // the old length's band (bins 14 .. 3686) would reach.
  CarrierParams carrier;
  carrier.seconds = 4;
  carrier.amplitude = 2000;
  carrier.noiseSigma = 100;
  CarrierParams mirrored = carrier;
  mirrored.frequencyHz = 3000;
  mirrored.rightLeads = true;
  mirrored.amplitude = 6000;
  mirrored.noiseSigma = 0;
  std::vector<int16_t> samples = CarrierSamples(carrier);
  const std::vector<int16_t> tone = CarrierSamples(mirrored);
  for (size_t i = 0; i < samples.size(); ++i)
    samples[i] = static_cast<int16_t>(std::clamp(samples[i] + tone[i], -32768, 32767));
  const QString path = dir_.filePath("two_tones.wav");
  {
    const std::vector<char> bytes = WavBytes(samples, 2, 12000);
    std::ofstream(path.toStdString(), std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }

  struct Outcome {
    int32_t len;
    double fMinBin, fMaxBin;
    int32_t histLen;
    double scaleLeft, scaleWidth, peakBin;
  };
  auto startWith = [&](bool picked) {
    CorvaneWindow& w = Make();
    auto* box = Find<QComboBox>("FFTSize");
    if (picked) {
      Pick(box, "4096");
    } else {
      box->setEditText("4096");
    }
    w.selectSource(WavFileEntry(path));
    w.setFastMode(true);
    double peak = -1;
    QObject::connect(w.blockLoop(), &BlockLoop::blockProcessed, &w, [&] {
      if (w.blockLoop()->blocksProcessed() == 4) peak = w.engine().PeakBin;
    });
    w.pressStart();
    EXPECT_TRUE(w.captureRunning());
    EXPECT_TRUE(QTest::qWaitFor([&] { return peak >= 0; }, 10000));
    const MeasurementParams& p = w.params();
    return Outcome{Module1::FFTLen, p.FMinBin, p.FMaxBin, p.HistLen,
                   w.spectrum()->scaleLeft(), w.spectrum()->scaleWidth(), peak};
  };
  const Outcome picked = startWith(true);
  const Outcome typed = startWith(false);
  EXPECT_EQ(typed.len, 4096);
  EXPECT_EQ(typed.fMinBin, 7);     // 20 Hz: 6.83
  EXPECT_EQ(typed.fMaxBin, 1843);  // 5400 Hz: 1843.2
  EXPECT_EQ(typed.histLen, 8);
  EXPECT_NEAR(typed.peakBin, 341.33, 1);  // 1000 Hz, not the mirrored half
  EXPECT_EQ(typed.fMinBin, picked.fMinBin);
  EXPECT_EQ(typed.fMaxBin, picked.fMaxBin);
  EXPECT_EQ(typed.histLen, picked.histLen);
  EXPECT_EQ(typed.scaleLeft, picked.scaleLeft);
  EXPECT_EQ(typed.scaleWidth, picked.scaleWidth);
  EXPECT_EQ(typed.peakBin, picked.peakBin);
}

TEST_F(WindowTest, SettingsFileThatCannotBeWrittenIsReportedAndTheWindowStillCloses) {
  ASSERT_TRUE(QDir().mkdir("CORVANE.INI"));  // a directory stands where the file should go
  CorvaneWindow& w = Make();
  ::testing::internal::CaptureStderr();
  EXPECT_TRUE(w.close());
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("CORVANE.INI could not be written"), std::string::npos) << err;
  EXPECT_FALSE(w.isVisible());
}

}  // namespace
}  // namespace corvane::testing
