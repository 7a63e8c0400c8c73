// The main window running: START, the one-second tick with its caption and records, the
// plot's cursor and click, the engine through the real controls, the alarm, the layout.

#include <algorithm>

#include <QApplication>
#include <QGroupBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>

#include "app/window_fixture.h"
#include "support/event_counter.h"
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

// A mono 16-bit WAV file of a steady tone.
void WriteToneWav(const QString& path, int rate, double seconds, double hz) {
  const auto frames = static_cast<uint32_t>(rate * seconds);
  QByteArray data;
  for (uint32_t i = 0; i < frames; ++i) {
    const auto v = static_cast<int16_t>(std::lround(3000 * std::cos(2 * M_PI * hz * i / rate)));
    data.append(static_cast<char>(v & 0xff)).append(static_cast<char>((v >> 8) & 0xff));
  }
  auto le = [](QByteArray& b, uint32_t v, int bytes) {
    for (int k = 0; k < bytes; ++k) b.append(static_cast<char>((v >> (8 * k)) & 0xff));
  };
  QByteArray head("RIFF");
  le(head, 36 + static_cast<uint32_t>(data.size()), 4);
  head.append("WAVEfmt ");
  le(head, 16, 4);
  le(head, 1, 2);
  le(head, 1, 2);
  le(head, static_cast<uint32_t>(rate), 4);
  le(head, static_cast<uint32_t>(rate) * 2, 4);
  le(head, 2, 2);
  le(head, 16, 2);
  head.append("data");
  le(head, static_cast<uint32_t>(data.size()), 4);
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(head + data);
}

QDateTime FixedTime(int hour, int minute, int second) {
  return QDateTime(QDate(2012, 6, 15), QTime(hour, minute, second));
}
TEST_F(WindowTest, StartFreezesTheAcquisitionAndRunsBlocks) {
  CorvaneWindow& w = Make();
  w.show();
  w.selectSource(TestSignal());
  w.setFastMode(true);
  w.pressStart();
  ASSERT_TRUE(w.captureRunning());
  EXPECT_TRUE(Edit("SRate")->isHidden());
  EXPECT_TRUE(Find<QComboBox>("FFTSize")->isHidden());
  EXPECT_TRUE(Label("Label15")->isHidden());
  EXPECT_TRUE(Label("Label16")->isHidden());
  // START stays, as STOP.
  EXPECT_EQ(Find<QPushButton>("Start")->text(), "STOP");
  EXPECT_FALSE(Find<QComboBox>("WindType")->isEnabled());
  EXPECT_FALSE(Find<QComboBox>("DeviceBox")->isEnabled());
  EXPECT_EQ(Label("BinSize")->text(), "Sampling rate 12000Hz   FFT Bin Size 1.46Hz");
  EXPECT_FALSE(Label("BinSize")->isHidden());
  EXPECT_TRUE(Find<QCheckBox>("StartLog")->isEnabled());
  EXPECT_FALSE(Label("CsrLoc")->isHidden());
  EXPECT_EQ(Bar("CFUD")->singleStep(), 1);
  EXPECT_EQ(Bar("FMax")->maximum(), 5400);
  EXPECT_EQ(w.spectrum()->scaleWidth(), 3686);
  EXPECT_TRUE(w.waterfall()->isVisible());
  EXPECT_EQ(w.params().CentreBin, 682);  // rounded down at START
  EXPECT_EQ(w.params().DetFrames, 4);

  // The simulated beacon at the centre: blocks are measured and shown.
  (void)QTest::qWaitFor([&] { return w.blockLoop()->blocksProcessed() >= 8; }, 10000);
  ASSERT_GE(w.blockLoop()->blocksProcessed(), 8);
  EXPECT_TRUE(Label("PeakDet")->text().startsWith("Peak at "));
  EXPECT_GT(w.findChild<LevelMeter*>("IPAmplitude")->level(), 0);
  // The fast source drives the tick: the caption clock replaces the design caption with the
  // read-outs' next frame, which may come a few blocks after the tick.
  const QString clockCaption = "Signal Logging    Velmora" + QString(20, ' ');
  EXPECT_TRUE(QTest::qWaitFor([&] { return w.windowTitle().startsWith(clockCaption); }, 10000))
      << w.windowTitle().toStdString();
  w.close();
}

TEST_F(WindowTest, SourceThatDoesNotOpenIsReportedAndNothingRuns) {
  CorvaneWindow& w = Make();
  w.selectSource(WavFileEntry(dir_.filePath("missing.wav")));
  ::testing::internal::CaptureStderr();
  w.pressStart();
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("Wave input device didn't open!!"), std::string::npos);
  EXPECT_FALSE(w.captureRunning());
  EXPECT_FALSE(w.runControl()->running());
  EXPECT_FALSE(w.blockLoop()->running());
  // Ready for another START, with any source.
  EXPECT_EQ(Find<QPushButton>("Start")->text(), "START");
  EXPECT_FALSE(Find<QPushButton>("Start")->isHidden());
  EXPECT_FALSE(Edit("SRate")->isHidden());
  EXPECT_TRUE(Find<QComboBox>("WindType")->isEnabled());
  w.selectSource(TestSignal());
  w.setFastMode(true);
  w.pressStart();
  EXPECT_TRUE(w.captureRunning());
  EXPECT_TRUE(QTest::qWaitFor([&] { return w.blockLoop()->blocksProcessed() > 0; }, 10000));
}

// The sideband box decides which side of an I/Q pair lands in the displayed half.
TEST_F(WindowTest, SwapSidebandBringsTheOtherSidebandIntoTheBand) {
  for (const bool swap : {false, true}) {
    CarrierParams c;
    c.seconds = 6;
    c.amplitude = 2000;
    c.noiseSigma = 200;
    c.rightLeads = true;  // the carrier sits at -1000 Hz unless the box is checked
    const QString path = dir_.filePath(swap ? "swapped.wav" : "plain.wav");
    WriteCarrierWav(path.toStdString(), c);
    CorvaneWindow& w = Make();
    Find<QCheckBox>("SBswap")->setChecked(swap);
    w.selectSource(WavFileEntry(path));
    w.setFastMode(true);
    // Taken at the sixth block: the file ends soon after, and then nothing is measured.
    double peak = -1;
    bool inBand = false;
    QObject::connect(w.blockLoop(), &BlockLoop::blockProcessed, &w, [&] {
      if (w.blockLoop()->blocksProcessed() != 6) return;
      peak = w.engine().PeakBin;
      inBand = w.engine().InBand;
    });
    w.pressStart();
    ASSERT_TRUE(w.captureRunning());
    QTRY_VERIFY_WITH_TIMEOUT(peak >= 0, 10000);
    // 1000 Hz is bin 682.67 at 12000 Hz and 8192 points.
    if (swap) {
      EXPECT_NEAR(peak, 683, 1);
      EXPECT_TRUE(inBand);
    } else {
      EXPECT_GT(std::abs(peak - 683), 10);
    }
  }
}

TEST_F(WindowTest, WavFileRateReplacesTheRateBeforeAnythingIsDerived) {
  const QString path = dir_.filePath("beacon.wav");
  WriteToneWav(path, 8000, 3, 1000);
  CorvaneWindow& w = Make();
  w.selectSource(WavFileEntry(path));
  w.setFastMode(true);
  w.pressStart();
  ASSERT_TRUE(w.captureRunning());
  EXPECT_EQ(w.params().SampleRate, 8000);
  EXPECT_EQ(Label("BinSize")->text(), "Sampling rate 8000Hz   FFT Bin Size 0.98Hz");
  EXPECT_EQ(Bar("FMax")->maximum(), 3600);
  EXPECT_EQ(w.params().CentreBin, 1024);  // floor(1000 / 8000 * 8192)
}

TEST_F(WindowTest, TickWritesTheClockCaptionAndDueRecords) {
  WriteIni(DesignExampleIni());
  CorvaneWindow& w = Make();
  int second = 7;
  w.setClock([&] { return FixedTime(14, 3, second); });
  Pick(Find<QComboBox>("LogInterval"), "1s");
  w.setLogging(true);
  // Before START no record is due even with logging on.
  w.Timer1_Timer();
  EXPECT_FALSE(QFile::exists("SIGREC.TXT"));
  EXPECT_EQ(w.windowTitle(), "Signal Logging    Velmora" + QString(20, ' ') + "2012/06/15  14:03:07");

  w.selectSource(TestSignal());
  w.setFastMode(true);
  w.pressStart();
  ASSERT_TRUE(w.captureRunning());
  w.engine().LogSignalDb = 12.34;
  w.engine().LogSN1HzDb = 47.56;
  w.engine().NoiseLevelDb = -35.21;
  w.engine().PeakBin = 683;
  ++second;
  w.Timer1_Timer();
  ++second;
  w.Timer1_Timer();
  const std::vector<std::string> lines = FileLines("SIGREC.TXT");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].substr(0, 34), "14:03:08  1000   12.3  -35.2  47.6");
  // The first record put the log values back to missing.
  EXPECT_EQ(lines[1].substr(0, 35), "14:03:09  1000  -99.9  -35.2  -99.0");
  EXPECT_TRUE(Find<QPlainTextEdit>("GenInfo")->toPlainText().startsWith("14:03:09"));
  // A fast run shows its ticks at the read-outs' pace: the latest with their next frame.
  const QString latest = "Signal Logging    Velmora" + QString(20, ' ') + "2012/06/15  14:03:09";
  EXPECT_TRUE(QTest::qWaitFor([&] { return w.windowTitle() == latest; }, 2000))
      << w.windowTitle().toStdString();
  // Hundreds of ticks a second would each send the window manager a caption.
  EventCounter changes(QEvent::WindowTitleChange, &w);
  for (int i = 0; i < 50; ++i) {
    ++second;
    w.Timer1_Timer();
  }
  EXPECT_LE(changes.count, 1);
  w.removeEventFilter(&changes);
}

TEST_F(WindowTest, DeviceListSelectsTheBeaconOnlyWhenThereIsNoCard) {
  CorvaneWindow& w = Make();
  auto* box = Find<QComboBox>("DeviceBox");
  const bool anyCard =
      std::any_of(w.sources().begin(), w.sources().end(),
                  [](const SourceEntry& e) { return e.kind == SourceEntry::Kind::SoundCard; });
  ASSERT_EQ(static_cast<size_t>(box->count()), w.sources().size());
  EXPECT_EQ(box->itemText(box->count() - 1), kTestSignalText);  // our own sources follow
  if (anyCard) {
    EXPECT_EQ(box->currentIndex(), -1);  // the platform's default input
  } else {
    EXPECT_EQ(box->currentText(), kTestSignalText);
  }
  w.selectDefaultDevice();
  EXPECT_EQ(box->currentIndex(), -1);
}

TEST_F(WindowTest, NoLogWritesNothingEvenWhenCheckedBeforeTheFirstTick) {
  CorvaneWindow& w = Make();
  w.selectSource(TestSignal());
  w.setFastMode(true);
  w.pressStart();
  ASSERT_TRUE(w.captureRunning());
  w.blockLoop()->stop();
  w.setLogging(true);  // START enabled the box although the interval is "No Log"
  for (int t = 0; t < 5; ++t) w.Timer1_Timer();
  EXPECT_FALSE(QFile::exists("SIGREC.TXT"));
  Pick(Find<QComboBox>("LogInterval"), "1s");
  w.Timer1_Timer();  // the held counter comes back to 0
  w.Timer1_Timer();
  EXPECT_EQ(FileLines("SIGREC.TXT").size(), 1u);
}

TEST_F(WindowTest, FiveMinutesChosenAfter137TicksOfThirtySecondsRecordsAtTick284) {
  CorvaneWindow& w = Make();
  w.selectSource(TestSignal());
  w.setFastMode(true);
  w.pressStart();
  ASSERT_TRUE(w.captureRunning());
  w.blockLoop()->stop();  // only the ticks matter here
  w.logging().SetSyncToDisk(false);
  Pick(Find<QComboBox>("LogInterval"), "30s");
  w.setLogging(true);
  auto records = [this] { return FileLines("SIGREC.TXT").size(); };
  for (int t = 0; t < 137; ++t) w.Timer1_Timer();
  EXPECT_EQ(records(), 5u);  // ticks 1, 31, 61, 91, 121
  Pick(Find<QComboBox>("LogInterval"), "5min");
  for (int t = 0; t < 283; ++t) w.Timer1_Timer();
  EXPECT_EQ(records(), 5u);
  w.Timer1_Timer();
  EXPECT_EQ(records(), 6u);
}

TEST_F(WindowTest, LogLocationThatFailsIsReportedAndResumesWithoutLoss) {
  CorvaneWindow& w = Make();
  w.selectSource(TestSignal());
  w.setFastMode(true);
  w.pressStart();
  w.blockLoop()->stop();
  Pick(Find<QComboBox>("LogInterval"), "1s");
  Edit("LogFile")->setText("not_yet/LOG.TXT");
  w.setLogging(true);
  w.Timer1_Timer();
  w.Timer1_Timer();
  ASSERT_TRUE(w.logging().WaitForWrites());
  EXPECT_TRUE(Label("LogMsg")->text().startsWith("Log write failed: "));
  EXPECT_TRUE(w.captureRunning());
  ASSERT_TRUE(QDir().mkdir("not_yet"));
  w.Timer1_Timer();
  ASSERT_TRUE(w.logging().WaitForWrites());
  EXPECT_EQ(Label("LogMsg")->text(), "Logging to not_yet/LOG.TXT");
  EXPECT_EQ(FileLines("not_yet/LOG.TXT").size(), 3u);
  EXPECT_EQ(GenInfoRecords(), 3);
  // The failure and the recovery are noted with their time.
  EXPECT_TRUE(Find<QPlainTextEdit>("GenInfo")->toPlainText().contains("Log write failed"));
}

TEST_F(WindowTest, CursorReadOutAndClickOnTheSpectrum) {
  CorvaneWindow& w = Make();
  Bar("FMax")->setValue(4800);  // scale: left 13.65, width 3263.15 bins
  EXPECT_NEAR(w.spectrum()->scaleWidth(), 3263.15, 0.005);
  w.Spectrum_MouseMove(682.67, 0);
  EXPECT_EQ(Label("CsrLoc")->text(), "1000.Hz");
  w.Spectrum_MouseMove(683, 0);
  EXPECT_EQ(Label("CsrLoc")->text(), "1000.5Hz");

  w.Spectrum_MouseDown(Qt::RightButton, 683.4, 0);
  EXPECT_EQ(Text("CF"), "1000");
  w.Spectrum_MouseDown(Qt::LeftButton, 683.4, 0);
  EXPECT_EQ(Text("CF"), "1001");  // 1001.1 moved the bar to 1001, which writes it back
  EXPECT_EQ(Bar("CFUD")->value(), 1001);
  EXPECT_EQ(w.params().CentreBin, 683);
  EXPECT_NEAR(w.engine().PrevCentreBin, 683.4, 1e-4);
}

// After START the plot spans 3686 bins while the band is 5380 Hz wide: the read-out must
// still name the frequency a click at the same place sets. Below 3000 Hz the centre
// frequency box then shows it in whole hertz, as its up-down bar does; above, as clicked.
TEST_F(WindowTest, CursorReadOutNamesWhatTheClickSetsAfterStart) {
  CorvaneWindow& w = Make();
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  w.selectSource(TestSignal());
  w.pressStart();
  ASSERT_TRUE(w.captureRunning());
  ASSERT_EQ(w.spectrum()->scaleWidth(), 3686);
  ASSERT_TRUE(QTest::qWaitFor([&] { return w.blockLoop()->blocksProcessed() >= 1; }, 10000));

  BandPlot* plot = w.spectrum();
  QLabel* readOut = Label("CsrLoc");
  const int y = plot->height() / 2;
  for (double share : {0.1, 0.18, 0.37, 0.5, 0.83}) {
    const QPoint at(static_cast<int>(share * plot->width()), y);
    // Sent straight to the plot: on a real display QTest::mouseMove only moves the pointer,
    // and its motion event may come after the click.
    QMouseEvent move(QEvent::MouseMove, QPointF(at), QPointF(plot->mapToGlobal(at)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(plot, &move);
    const QString shown = readOut->text();
    ASSERT_TRUE(shown.endsWith("Hz")) << shown.toStdString();
    const double hz = shown.chopped(2).toDouble();
    QTest::mouseClick(plot, Qt::LeftButton, Qt::NoModifier, at);
    const QString set =
        hz < 3000 ? QString::number(RoundHalfEven32(hz)) : QString::number(hz, 'f', 1);
    EXPECT_EQ(Text("CF"), set) << "read-out " << shown.toStdString();
    // And the centre measured from then on is that frequency's bin.
    EXPECT_EQ(w.params().CentreBin, HzToBin(Text("CF").toDouble(), 12000, 8192))
        << shown.toStdString();
  }
  w.pressStart();
}

TEST_F(WindowTest, TrackingClickShowsTheDriftReadOut) {
  CorvaneWindow& w = Make();
  w.params().CentreBin = 700;
  Find<QCheckBox>("TrackSig")->setChecked(true);
  EXPECT_FALSE(Label("Drift")->isHidden());
  EXPECT_EQ(w.engine().PrevCentreBin, 700);
  EXPECT_TRUE(w.TrackingOn());
}

TEST_F(WindowTest, BandwidthResetByTheEngineGoesThroughTheControls) {
  CorvaneWindow& w = Make();
  Edit("SigBW")->setText("300");
  ASSERT_EQ(w.params().SigBWBins, 205);
  w.ResetSignalBandwidth();
  EXPECT_EQ(Text("SigBW"), "100");
  EXPECT_EQ(Bar("SigBWUD")->value(), 100);
  EXPECT_EQ(w.params().SigBWBins, 68);
  EXPECT_EQ(w.SigBWTextHz(), 100);
}

// Blocks written straight into the engine as bin powers (a floor of 1 across the band and
// one peak), measured with the window as the engine's host: the steps that set controls go
// through the real handler chains. At 12000 Hz and 16384 points a bin is 0.73 Hz.
class EngineInWindowTest : public WindowTest {
 protected:
  CorvaneWindow& MakeAt16384() {
    WriteIni({" 12000 ", " 16384 "});
    CorvaneWindow& w = Make();
    w.params().HistLen = 1;
    w.engine().StartRun();
    return w;
  }
  void Block(CorvaneWindow& w, int first, int last, int peakBin, float amplitude) {
    std::vector<float> data(Module1::kFFTDataSize, 0.0f);
    for (int k = first; k <= last; ++k) data[2 * k + 1] = 1;
    data[2 * peakBin + 1] = amplitude;
    w.params().FMinBin = first;
    w.params().FMaxBin = last;
    w.engine().ProcessBlock(data.data(), {2012, 6, 15, 14, 3, 27});
  }
};

TEST_F(EngineInWindowTest, TrackingSetsTheCentreThroughTheControls) {
  CorvaneWindow& w = MakeAt16384();
  ASSERT_EQ(w.params().CentreBin, 1365);  // "1000"
  Find<QCheckBox>("TrackSig")->setChecked(true);
  Block(w, 100, 3000, 1400, 100);
  ASSERT_TRUE(w.engine().InBand);
  // 1025.39 Hz is written as 1025.4, which moves CFUD to 1025, whose handler writes 1025
  // back: the centre ends on that whole hertz's bin, one beside the peak.
  EXPECT_EQ(Text("CF"), "1025");
  EXPECT_EQ(Bar("CFUD")->value(), 1025);
  EXPECT_EQ(w.params().CentreBin, 1399);
}

TEST_F(EngineInWindowTest, NoiseFailureResetsTheBandwidthThroughTheControls) {
  CorvaneWindow& w = MakeAt16384();
  Edit("SigBW")->setText("15");
  ASSERT_EQ(w.params().SigBWBins, 20);
  // Bins 100 .. 130 with W 20 and G 0.5: noise bins 121 .. 130 exist, but the count
  // 30 - 20 x 1.5 is below 1, so the bandwidth goes back to 100 Hz and the block goes on.
  Block(w, 100, 130, 100, 100);
  EXPECT_EQ(Text("SigBW"), "100");
  EXPECT_EQ(Bar("SigBWUD")->value(), 100);
  EXPECT_EQ(w.params().SigBWBins, 137);  // rounded by the handlers the bar set off
  EXPECT_TRUE(w.engine().marks().Measured);
  EXPECT_TRUE(Find<QPlainTextEdit>("GenInfo")->toPlainText().contains(
      "Noise measurement not possible, Signal bandwidth reset"));
  // Already at 100 Hz: no control changes, so no handler rounds the reset value.
  Block(w, 100, 130, 100, 100);
  EXPECT_DOUBLE_EQ(w.params().SigBWBins, 16384.0 * 100 / 12000);
}

// The alarm sounds once its block is on the screen: the plot and the label show that block.
TEST_F(WindowTest, AlarmSoundsAfterItsBlockIsDrawn) {
  CorvaneWindow& w = Make();
  w.show();
  Edit("AlarmThresh")->setText("-100");  // the first measured block raises the alarm
  int sounds = 0;
  QImage plotAtSound, plotAfterBlock;
  bool labelAtSound = false;
  w.setAlarmSound([&] {
    ++sounds;
    plotAtSound = w.spectrum()->picture();
    labelAtSound = Label("AlarmVisual")->isVisible() &&
                   Label("AlarmVisual")->text().startsWith("Big Signal ");
  });
  QObject::connect(w.blockLoop(), &BlockLoop::blockProcessed, &w, [&] {
    if (sounds > 0 && plotAfterBlock.isNull()) plotAfterBlock = w.spectrum()->picture();
  });
  w.selectSource(TestSignal());
  w.setFastMode(true);
  w.pressStart();
  ASSERT_TRUE(w.captureRunning());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !plotAfterBlock.isNull(); }, 10000));
  w.blockLoop()->stop();
  EXPECT_EQ(sounds, 1);
  EXPECT_FALSE(plotAtSound.isNull());
  EXPECT_TRUE(plotAtSound == plotAfterBlock);
  EXPECT_TRUE(labelAtSound);
}

TEST_F(WindowTest, ReadoutsOfABlockGoIntoTheLabels) {
  CorvaneWindow& w = Make();
  Readouts r;
  r.PeakDet = "Peak at 1000Hz";
  r.SNResultsVisible = false;
  r.CarrStabMsg = "Carrier steady";
  r.CarrStabColour = {0, 128, 32};
  r.AlarmVisual = "Big Signal 14:03:27";
  r.AlarmVisible = true;
  w.ApplyReadouts(r);
  EXPECT_EQ(Label("PeakDet")->text(), "Peak at 1000Hz");
  EXPECT_TRUE(Find<QGroupBox>("SNResults")->isHidden());
  EXPECT_EQ(Label("CarrStabMsg")->text(), "Carrier steady");
  EXPECT_TRUE(Label("CarrStabMsg")->styleSheet().contains("rgb(0, 128, 32)"));
  EXPECT_FALSE(Label("AlarmVisual")->isHidden());
  r.AlarmVisible = false;  // once shown, never hidden again
  w.ApplyReadouts(r);
  EXPECT_FALSE(Label("AlarmVisual")->isHidden());
}

TEST_F(WindowTest, SpectrumTakesTheExtraRoomWhenTheWindowGrows) {
  QSettings().clear();  // the first start's layout, not the last test's
  CorvaneWindow& w = Make();
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  const QSize plot = w.spectrum()->size();
  const int waterfallHeight = w.waterfall()->view()->height();
  const int freqWidth = Find<QGroupBox>("FrequencyGroup")->width();
  const QImage small = w.grab().toImage();
  EXPECT_EQ(small.size(), w.size());

  // The window manager applies the new size when it gets round to it.
  const QSize grown(w.width() + 400, w.height() + 300);
  w.resize(grown);
  ASSERT_TRUE(QTest::qWaitFor([&] { return w.size() == grown; }, 5000));
  QApplication::processEvents();
  EXPECT_GE(w.spectrum()->width() - plot.width(), 350);
  // The plot and the waterfall docked under it share the height gained.
  const int plotGain = w.spectrum()->height() - plot.height();
  const int waterfallGain = w.waterfall()->view()->height() - waterfallHeight;
  EXPECT_GE(plotGain + waterfallGain, 250);
  EXPECT_GE(plotGain, 80);
  EXPECT_GE(waterfallGain, 80);
  EXPECT_EQ(Find<QGroupBox>("FrequencyGroup")->width(), freqWidth);
  const QImage large = w.grab().toImage();

  // Pictures for a person to look at.
  const QByteArray out = qgetenv("CORVANE_SCREENSHOT_DIR");
  if (!out.isEmpty()) {
    small.save(QString::fromLocal8Bit(out) + "/corvane-default.png");
    large.save(QString::fromLocal8Bit(out) + "/corvane-enlarged.png");
  }
}

TEST_F(WindowTest, TickArrivingInsideABlockRunsRightAfterIt) {
  CorvaneWindow& w = Make();
  w.setClock([] { return FixedTime(14, 3, 7); });
  w.selectSource(TestSignal());
  w.setFastMode(true);
  Find<QCheckBox>("TrackSig")->setChecked(true);
  // Tracking writes the CF text inside the block: a tick handled there stands for one that
  // a message box's event loop would deliver in the middle of a block.
  bool tried = false, titleKept = false, deferred = false;
  QObject::connect(Edit("CF"), &QLineEdit::textChanged, [&] {
    if (tried || !w.blockLoop()->inBlock()) return;
    tried = true;
    const QString before = w.windowTitle();
    w.Timer1_Timer();
    titleKept = w.windowTitle() == before;
    deferred = w.findChild<QTimer*>("DeferredTick")->isActive();
  });
  w.pressStart();
  (void)QTest::qWaitFor([&] { return tried; }, 10000);
  ASSERT_TRUE(tried);
  EXPECT_TRUE(titleKept);
  EXPECT_TRUE(deferred);
  w.blockLoop()->stop();
  (void)QTest::qWaitFor([&] { return w.windowTitle().endsWith("2012/06/15  14:03:07"); }, 2000);
  EXPECT_TRUE(w.windowTitle().endsWith("2012/06/15  14:03:07"));
}

TEST_F(WindowTest, RunningCaptureDrawsThePlotAndTheWaterfall) {
  CorvaneWindow& w = Make();
  w.show();
  w.selectSource(TestSignal());
  w.setFastMode(true);
  w.pressStart();
  ASSERT_TRUE(w.captureRunning());
  (void)QTest::qWaitFor([&] { return w.blockLoop()->blocksProcessed() >= 40; }, 20000);
  ASSERT_GE(w.blockLoop()->blocksProcessed(), 40);
  w.blockLoop()->stop();
  QApplication::processEvents();

  const QImage plot = w.spectrum()->grab().toImage();
  int traced = 0;
  for (int y = 0; y < plot.height(); ++y)
    for (int x = 0; x < plot.width(); ++x)
      if (qGray(plot.pixel(x, y)) < 60) ++traced;
  EXPECT_GT(traced, plot.width() / 2);  // the black trace crosses the plot

  const QImage wf = w.waterfall()->grab().toImage();
  int lit = 0;
  for (int y = 0; y < wf.height() / 2; ++y)
    for (int x = 0; x < wf.width(); ++x)
      if (qGray(wf.pixel(x, y)) > 40) ++lit;
  EXPECT_GT(lit, 0);

  const QByteArray out = qgetenv("CORVANE_SCREENSHOT_DIR");
  if (!out.isEmpty()) {
    w.grab().save(QString::fromLocal8Bit(out) + "/corvane-running.png");
    w.waterfall()->grab().save(QString::fromLocal8Bit(out) + "/wf-running.png");
  }
}

}  // namespace
}  // namespace corvane::testing
