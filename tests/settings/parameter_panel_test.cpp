// The parameter controls' handler chains at 12000 Hz and 8192 points (one bin 1.4648 Hz, one
// frame 0.6827 s), driven through the controls as a user or the start-up would.

#include "settings/parameter_panel.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>
#include <QWidget>
#include <cmath>
#include <functional>

#include "dsp/fft.h"
#include "settings/updown_bar.h"

namespace corvane {
namespace {

class ParameterPanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Module1::FFTLen = 8192;
    params.SampleRate = 12000;
    panel = new ParameterPanel(params, &host);
    panel->plotScaleChanged = [this](double left, double width) {
      scaleLeft = left;
      scaleWidth = width;
    };
    panel->bandCleared = [this] { ++clears; };
    // The state start-up leaves: the design texts run through their handlers.
    panel->CF_Change();
    panel->SigBW_Change();
    panel->DetPeriod_Change();
  }

  // Clicks the upper (or lower) arrow of a vertical up-down bar.
  static void ClickArrow(QScrollBar* bar, bool upper) {
    bar->resize(18, 120);
    bar->show();
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(9, upper ? 4 : bar->height() - 4));
  }

  QWidget host;
  MeasurementParams params;
  ParameterPanel* panel = nullptr;
  double scaleLeft = -1, scaleWidth = -1;
  int clears = 0;
};

TEST_F(ParameterPanelTest, DesignTextsGiveTheirBins) {
  EXPECT_EQ(params.CentreBin, 683);
  EXPECT_EQ(panel->CF->text(), "1000");
  EXPECT_EQ(panel->CFUD->value(), 1000);
  EXPECT_EQ(params.SigBWBins, 68);
  EXPECT_EQ(panel->SigBW->text(), "100");
  EXPECT_EQ(params.DetFrames, 4);
  EXPECT_EQ(panel->DetPeriod->text(), "2.73066666666667");
  EXPECT_EQ(params.HistLen, 4);
  EXPECT_EQ(panel->Hist->text(), " 4");
  EXPECT_EQ(params.StabLimitDb, 10);
}

TEST_F(ParameterPanelTest, CentreTextWithAFractionSettlesOnTheBarsWholeHertz) {
  ASSERT_NE(panel->CFUD->value(), 1234);
  panel->CF->setText("1234.5");
  EXPECT_EQ(panel->CFUD->value(), 1234);  // 1234.5 to even
  EXPECT_EQ(panel->CF->text(), "1234");
  EXPECT_EQ(params.CentreBin, 842);

  // With the bar already at 1234 nothing moves it, so the text and its bin stay.
  panel->CF->setText("1234.5");
  EXPECT_EQ(panel->CF->text(), "1234.5");
  EXPECT_EQ(params.CentreBin, 843);  // 842.75 half up
}

TEST_F(ParameterPanelTest, CentreTextThatIsNotANumberKeepsTheBin) {
  panel->CF->setText("");
  EXPECT_EQ(params.CentreBin, 683);
  EXPECT_EQ(panel->CFUD->value(), 1000);
  panel->CF->setText("5000 Hz");  // beyond the bar, and not a number as a whole
  EXPECT_EQ(params.CentreBin, 683);
  EXPECT_EQ(panel->CFUD->value(), 1000);
  // The leading number still moves the bar, whose handler writes its whole number back.
  panel->CF->setText("12x");
  EXPECT_EQ(panel->CFUD->value(), 12);
  EXPECT_EQ(panel->CF->text(), "12");
  EXPECT_EQ(params.CentreBin, 8);
  // Outside the bar's open range (1, 3000) the bar stays where it is.
  panel->CF->setText("3000");
  EXPECT_EQ(params.CentreBin, 2048);
  EXPECT_EQ(panel->CFUD->value(), 12);
  EXPECT_EQ(panel->CF->text(), "3000");
}

TEST_F(ParameterPanelTest, CentreBarArrowStepsTheTextInWholeHertz) {
  ClickArrow(panel->CFUD, true);
  EXPECT_EQ(panel->CF->text(), "1001");
  EXPECT_EQ(params.CentreBin, HzToBin(1001, 12000, 8192));
  ClickArrow(panel->CFUD, false);
  ClickArrow(panel->CFUD, false);
  EXPECT_EQ(panel->CF->text(), "999");
}

TEST_F(ParameterPanelTest, BandwidthSteppedUpAndTyped) {
  ClickArrow(panel->SigBWUD, true);
  EXPECT_EQ(panel->SigBWUD->value(), 110);
  EXPECT_EQ(panel->SigBW->text(), "110");
  EXPECT_EQ(params.SigBWBins, 75);  // 75.09 half up

  panel->SigBW->setText("2");
  EXPECT_EQ(params.SigBWBins, 1);
  EXPECT_EQ(panel->SigBW->text(), "1");  // one bin is 1.46 Hz, to even 1
  EXPECT_EQ(panel->SigBWUD->value(), 1);

  // 1000 Hz or more is dropped: the bar's previous value comes back, with its bins.
  panel->SigBW->setText("1500");
  EXPECT_EQ(panel->SigBW->text(), "1");
  EXPECT_EQ(params.SigBWBins, 1);
  panel->SigBW->setText("0.5");
  EXPECT_EQ(params.SigBWBins, 1);  // 0 bins raised to 1
}

TEST_F(ParameterPanelTest, DetectionPeriodBecomesFrameExact) {
  panel->DetPeriod->setText("5");
  EXPECT_EQ(params.DetFrames, 7);
  EXPECT_EQ(panel->DetPeriod->text(), "4.77866666666667");
  EXPECT_EQ(params.HistLen, 7);
  EXPECT_EQ(panel->HistUD->value(), 7);
  EXPECT_EQ(panel->Hist->text(), " 7");

  // The period bar keeps its own count (5 at design): one step down is 4 s, down to 1 s.
  panel->DetPeriodUD->setValue(1);
  EXPECT_EQ(params.DetFrames, 2);  // 1.46 -> 1, raised to 2
  EXPECT_EQ(panel->DetPeriod->text(), "1.36533333333333");
  EXPECT_EQ(params.HistLen, 2);
  EXPECT_EQ(panel->Hist->text(), " 2");
}

TEST_F(ParameterPanelTest, DetectionPeriodPicksUpATypedStabilityLimit) {
  panel->StabFactor->setText("12.6");
  EXPECT_EQ(params.StabLimitDb, 10);  // the text has no handler of its own
  panel->DetPeriod->setText("6");
  // The limit moves the bar, whose handler writes its whole number back as the limit.
  EXPECT_EQ(panel->StabFactUD->value(), 13);
  EXPECT_EQ(panel->StabFactor->text(), " 13");
  EXPECT_EQ(params.StabLimitDb, 13);
  // A limit outside the bar's open range (4, 20) leaves the bar.
  panel->StabFactor->setText("25");
  panel->DetPeriod->setText("7");
  EXPECT_EQ(params.StabLimitDb, 25);
  EXPECT_EQ(panel->StabFactUD->value(), 13);
  panel->StabFactUD->setValue(8);
  EXPECT_EQ(panel->StabFactor->text(), " 8");
  EXPECT_EQ(params.StabLimitDb, 8);
}

TEST_F(ParameterPanelTest, HistoryLengthFromBarAndTypedText) {
  panel->HistUD->setValue(30);
  EXPECT_EQ(panel->Hist->text(), " 30");
  EXPECT_EQ(params.HistLen, 30);
  panel->Hist->setText("12.5");
  EXPECT_EQ(params.HistLen, 12);  // to even
  EXPECT_EQ(panel->HistUD->value(), 30);  // typing does not move the bar
  // The history holds 64 rows: a typed value is held to the bar's range.
  panel->Hist->setText("100");
  EXPECT_EQ(params.HistLen, 64);
  EXPECT_EQ(panel->Hist->text(), "100");
  panel->Hist->setText("0");
  EXPECT_EQ(params.HistLen, 2);
}

TEST_F(ParameterPanelTest, HistoryFromThePeriodIsLimited) {
  // 10 s at 12000 Hz and 1024 points would be 117 frames.
  Module1::FFTLen = 1024;
  panel->DetPeriod->setText("10");
  EXPECT_EQ(params.HistLen, 64);
  EXPECT_EQ(panel->Hist->text(), " 64");
}

TEST_F(ParameterPanelTest, AlarmThresholdTextAndBar) {
  panel->AlarmThresh->setText("30");
  EXPECT_EQ(params.AlarmThreshDb, 30);
  EXPECT_EQ(panel->AlarmThreshUD->value(), 30);
  params.AlarmActive = true;
  panel->AlarmThresh->setText("");
  EXPECT_EQ(params.AlarmThreshDb, 0);
  EXPECT_EQ(panel->AlarmThreshUD->value(), 30);
  EXPECT_TRUE(params.AlarmActive);  // typing leaves the alarm armed state alone
  panel->AlarmThreshUD->setValue(35);
  EXPECT_EQ(panel->AlarmThresh->text(), " 35");
  EXPECT_EQ(params.AlarmThreshDb, 35);
  EXPECT_FALSE(params.AlarmActive);
}

TEST_F(ParameterPanelTest, GuardBandAndDriftFactor) {
  panel->GB->setValue(7);
  EXPECT_EQ(params.GuardBand, 0.7f);
  panel->GB->setValue(20);
  EXPECT_EQ(params.GuardBand, 2.0f);
  panel->GB->setValue(0);
  EXPECT_EQ(params.GuardBand, 0.0f);
  panel->AvConstUD->setValue(9);
  EXPECT_EQ(panel->AVConst->text(), " 9");
}

TEST_F(ParameterPanelTest, SamplingRateMovesTheBandOnlyInsideItsSpan) {
  panel->SRate->setText("44100");
  EXPECT_EQ(panel->FMax->value(), 19845);
  EXPECT_EQ(panel->FMin->value(), 20);
  panel->FMin->setValue(500);
  panel->SRate->setText("48000");
  EXPECT_EQ(panel->FMax->value(), 19845);  // 48000 is outside (4000, 48000)
  EXPECT_EQ(panel->FMin->value(), 20);
  EXPECT_EQ(params.FMinBin, HzToBin(20, 48000, 8192));
  EXPECT_EQ(params.FMaxBin, HzToBin(19845, 48000, 8192));
  // Texts and bins of the centre, bandwidth and period stay until START.
  EXPECT_EQ(params.CentreBin, 683);
  EXPECT_EQ(panel->DetPeriod->text(), "2.73066666666667");
}

TEST_F(ParameterPanelTest, ZeroRateNeverBreaksTheConversions) {
  panel->SRate->setText("");
  EXPECT_EQ(params.SampleRate, 0);
  EXPECT_TRUE(std::isfinite(params.FMinBin));
  EXPECT_TRUE(std::isfinite(params.FMaxBin));
  panel->DetPeriod->setText("5");
  EXPECT_EQ(panel->DetPeriod->text(), "5");  // no frames to show it in: left as typed
  EXPECT_EQ(params.DetFrames, 2);
  panel->SigBW->setText("200");
  EXPECT_EQ(params.SigBWBins, 1);
  panel->CF->setText("1500");
  EXPECT_TRUE(std::isfinite(params.CentreBin));
  panel->FMax->setValue(3000);
  EXPECT_EQ(panel->FBand->text(), " 20 -  3000");
  EXPECT_EQ(scaleWidth, -1);  // no scale without a rate
}

TEST_F(ParameterPanelTest, FFTLengthPickedFromTheList) {
  panel->FMin->setValue(300);
  panel->FFTSize->setCurrentIndex(panel->FFTSize->findText("4096"));
  emit panel->FFTSize->activated(panel->FFTSize->currentIndex());
  EXPECT_EQ(Module1::FFTLen, 4096);
  EXPECT_EQ(panel->FMax->value(), 5400);
  EXPECT_EQ(panel->FMin->value(), 20);
  EXPECT_EQ(params.FMinBin, 7);      // 6.83 half up
  EXPECT_EQ(params.FMaxBin, 1843);   // 1843.2
  EXPECT_EQ(params.HistLen, 8);      // 2.73 s at 4096 points
  // The texts keep their bins until START.
  EXPECT_EQ(params.CentreBin, 683);
}

// Real keys on a real display: typing a length and leaving the box (Tab) or pressing Return
// is not a pick, even when the text is one of the entries; the arrow keys on the closed box
// and a choice in the open list are.
TEST_F(ParameterPanelTest, OnlyAChoiceFromTheListRunsTheFFTHandler) {
  host.resize(400, 300);
  host.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&host));
  QComboBox* box = panel->FFTSize;
  struct Case {
    const char* name;
    std::function<void()> act;
    bool pick;
    int32_t lengthAfter;
    const char* textAfter;
  };
  auto typed = [box](const char* text, Qt::Key end) {
    return [box, text, end] {
      box->clearEditText();
      QTest::keyClicks(box, text);
      QTest::keyClick(box, end);
    };
  };
  const Case cases[] = {
      {"4096 Tab", typed("4096", Qt::Key_Tab), false, 8192, "4096"},
      {"1 Tab", typed("1", Qt::Key_Tab), false, 8192, "1"},
      {"2048 Return", typed("2048", Qt::Key_Return), false, 8192, "2048"},
      {"Down on the closed box",
       [box] {
         box->setCurrentIndex(box->findText("2048"));
         QTest::keyClick(box, Qt::Key_Down);
       },
       true, 4096, "4096"},
      {"Down and Return in the open list",
       [box] {
         box->setCurrentIndex(box->findText("2048"));
         box->showPopup();
         QTest::keyClick(box->view(), Qt::Key_Down);
         QTest::keyClick(box->view(), Qt::Key_Return);
       },
       true, 4096, "4096"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Module1::FFTLen = 8192;
    panel->FMin->setValue(300);  // a pick puts it back to 20
    box->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([box] { return box->hasFocus(); }, 5000));
    c.act();
    EXPECT_EQ(box->currentText().toStdString(), c.textAfter);
    EXPECT_EQ(Module1::FFTLen, c.lengthAfter);
    EXPECT_EQ(panel->FMin->value(), c.pick ? 20 : 300);
  }
}

TEST_F(ParameterPanelTest, BandEdgesSetBinsScaleAndClearTheWaterfall) {
  panel->FMax->setValue(5400);
  EXPECT_EQ(panel->FBand->text(), " 20 -  5400");
  panel->FMax->setValue(4800);
  EXPECT_EQ(panel->FBand->text(), " 20 -  4800");
  EXPECT_EQ(params.FMaxBin, 3277);
  EXPECT_NEAR(scaleLeft, 13.65, 0.005);
  EXPECT_NEAR(scaleWidth, 3263.15, 0.005);
  const int before = clears;
  panel->FMin->setValue(30);
  EXPECT_EQ(clears, before + 1);
  EXPECT_EQ(params.FMinBin, 20);  // 20.48
}

TEST_F(ParameterPanelTest, LowerEdgeMovedOntoTheUpperIsPushedBack) {
  panel->FMax->setValue(4800);
  panel->FMin->setValue(4800);
  EXPECT_EQ(panel->FMin->value(), 3800);
  EXPECT_EQ(panel->FBand->text(), " 3800 -  4800");
  EXPECT_EQ(params.FMinBin, HzToBin(3800, 12000, 8192));

  panel->FMin->setValue(200);
  panel->FMax->setValue(150);
  EXPECT_EQ(panel->FMax->value(), 1200);
  EXPECT_EQ(panel->FBand->text(), " 200 -  1200");
}

TEST_F(ParameterPanelTest, ForcedEdgesOutsideTheirRangeAreClampedKeepingTheOrder) {
  // An upper edge below 1020 Hz: the lower one cannot go 1000 Hz below it.
  panel->FMax->setValue(900);
  panel->FMin->setValue(950);
  EXPECT_EQ(panel->FMin->value(), 20);
  EXPECT_EQ(panel->FMax->value(), 900);
  // The upper edge at its minimum: no lower edge fits, so the upper one moves up.
  panel->FMax->setValue(20);
  EXPECT_LT(panel->FMin->value(), panel->FMax->value());
  // START at a low rate narrows the upper bar below the lower edge: the lower edge comes
  // down 1000 Hz below the upper bar's end.
  panel->FMax->setValue(4800);
  panel->FMin->setValue(4000);
  panel->FMax->setMaximum(3600);
  EXPECT_EQ(panel->FMax->value(), 3600);
  EXPECT_EQ(panel->FMin->value(), 2600);
  EXPECT_EQ(panel->FBand->text(), panel->BandText());
}

TEST(UpDownBar, UpperArrowAndPageRaiseTheValueWithinRange) {
  UpDownBar bar(design::kSigBWUD, "SigBWUD");
  EXPECT_EQ(bar.minimum(), 0);
  EXPECT_EQ(bar.maximum(), 1000);
  EXPECT_EQ(bar.value(), 100);
  bar.resize(18, 200);
  bar.show();
  QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(9, 4));
  EXPECT_EQ(bar.value(), 110);
  QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(9, 196));
  EXPECT_EQ(bar.value(), 100);
  // The thumb of a larger value stands higher, and a click above it pages up.
  QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(9, 20));
  EXPECT_EQ(bar.value(), 200);
  QTest::keyClick(&bar, Qt::Key_Up);
  EXPECT_EQ(bar.value(), 210);
  bar.setValue(1000);
  QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(9, 4));
  EXPECT_EQ(bar.value(), 1000);
}

// A real wheel event over the bar, `angle` eighths of a degree (120 is one notch) away from
// the user.
void Wheel(QScrollBar* bar, int angle) {
  const QPointF at(bar->width() / 2.0, bar->height() / 2.0);
  QWheelEvent event(at, bar->mapToGlobal(at), QPoint(), QPoint(0, angle), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(bar, &event);
}

TEST(UpDownBar, WheelStepsAsTheArrowsDoOneSmallChangeANotch) {
  for (const design::ScrollBarDesign* d :
       {&design::kSigBWUD, &design::kHistUD, &design::kAlarmThreshUD}) {
    for (const bool up : {true, false}) {
      UpDownBar wheeled(*d, "wheeled"), clicked(*d, "clicked");
      clicked.resize(18, 200);
      clicked.show();
      QTest::mouseClick(&clicked, Qt::LeftButton, {}, QPoint(9, up ? 4 : 196));
      Wheel(&wheeled, up ? 120 : -120);
      EXPECT_EQ(wheeled.value(), clicked.value()) << d->value << (up ? " up" : " down");
      EXPECT_EQ(wheeled.value(), d->value + (up ? d->smallChange : -d->smallChange));
    }
  }
  // A fine wheel: two half notches make one step.
  UpDownBar bar(design::kSigBWUD, "SigBWUD");
  Wheel(&bar, 60);
  EXPECT_EQ(bar.value(), 100);
  Wheel(&bar, 60);
  EXPECT_EQ(bar.value(), 110);
}

TEST(UpDownBar, ValuesOutsideTheRangeOrNotFiniteAreNeverSet) {
  UpDownBar bar(design::kCFUD, "CFUD");
  EXPECT_TRUE(SetValueInRange(&bar, 3000));
  EXPECT_EQ(bar.value(), 3000);
  EXPECT_FALSE(SetValueInRange(&bar, 3001));
  EXPECT_FALSE(SetValueInRange(&bar, 0));
  EXPECT_FALSE(SetValueInRange(&bar, std::nan("")));
  EXPECT_FALSE(SetValueInRange(&bar, HUGE_VAL));
  EXPECT_EQ(bar.value(), 3000);
}

TEST(OfferedFFTLen, NearestOfferedPowerOfTwoSmallerOnATie) {
  EXPECT_EQ(OfferedFFTLen(8192), 8192);
  EXPECT_EQ(OfferedFFTLen(8192.4), 8192);
  EXPECT_EQ(OfferedFFTLen(3000), 2048);
  EXPECT_EQ(OfferedFFTLen(3072), 2048);  // the tie goes to the smaller
  EXPECT_EQ(OfferedFFTLen(3073), 4096);
  EXPECT_EQ(OfferedFFTLen(0), 1024);
  EXPECT_EQ(OfferedFFTLen(-5), 1024);
  EXPECT_EQ(OfferedFFTLen(100000), 32768);
  EXPECT_EQ(OfferedFFTLen(1e300), 32768);
}

}  // namespace
}  // namespace corvane
