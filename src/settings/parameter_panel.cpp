#include "settings/parameter_panel.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <algorithm>
#include <cmath>
#include <string>

#include "common/numtext.h"
#include "dsp/fft.h"
#include "settings/list_pick_box.h"
#include "settings/updown_bar.h"

namespace corvane {
namespace {

std::string Std(const QString& s) { return s.toStdString(); }
QString Q(const std::string& s) { return QString::fromStdString(s); }
double Leading(const QLineEdit* edit) { return ParseLeadingNumber(Std(edit->text())); }

// Strictly between an up-down bar's designed Max (the lower number) and Min.
bool InsideUpDown(double v, const design::ScrollBarDesign& d) { return v > d.max && v < d.min; }

QLineEdit* MakeEdit(const QString& name, const char* text, QWidget* parent) {
  auto* e = new QLineEdit(QString::fromLatin1(text), parent);
  e->setObjectName(name);
  return e;
}

QLabel* MakeLabel(const QString& name, const QString& text, QWidget* parent) {
  auto* l = new QLabel(text, parent);
  l->setObjectName(name);
  return l;
}

}  // namespace

int32_t OfferedFFTLen(double requested) {
  const int32_t n = RoundHalfEven32(requested);
  int32_t best = 1024;
  for (int32_t offered = 1024; offered <= Module1::kMaxFFTLen; offered *= 2) {
    // Strictly nearer only: on a tie the smaller (visited first) stays.
    if (std::abs(static_cast<int64_t>(n) - offered) < std::abs(static_cast<int64_t>(n) - best))
      best = offered;
  }
  return best;
}

ParameterPanel::ParameterPanel(MeasurementParams& params, QWidget* parent)
    : QObject(parent), p_(params) {
  SRate = MakeEdit("SRate", design::kSRate, parent);
  auto* fftSize = new ListPickBox(parent);
  FFTSize = fftSize;
  FFTSize->setObjectName("FFTSize");
  for (const char* s : design::kFFTSizes) FFTSize->addItem(QString::fromLatin1(s));
  FFTSize->setEditText(QString::fromLatin1(design::kFFTSize));
  Label15 = MakeLabel("Label15", "FFT", parent);
  Label16 = MakeLabel("Label16", "S Rate", parent);

  CF = MakeEdit("CF", design::kCF, parent);
  CFUD = new UpDownBar(design::kCFUD, "CFUD", parent);
  SigBW = MakeEdit("SigBW", design::kSigBW, parent);
  SigBWUD = new UpDownBar(design::kSigBWUD, "SigBWUD", parent);
  DetPeriod = MakeEdit("DetPeriod", design::kDetPeriod, parent);
  DetPeriodUD = new UpDownBar(design::kDetPeriodUD, "DetPeriodUD", parent);
  StabFactor = MakeEdit("StabFactor", design::kStabFactor, parent);
  StabFactUD = new UpDownBar(design::kStabFactUD, "StabFactUD", parent);
  Hist = MakeEdit("Hist", design::kHist, parent);
  HistUD = new UpDownBar(design::kHistUD, "HistUD", parent);
  AlarmThresh = MakeEdit("AlarmThresh", "", parent);
  AlarmThreshUD = new UpDownBar(design::kAlarmThreshUD, "AlarmThreshUD", parent);
  AVConst = MakeEdit("AVConst", design::kAVConst, parent);
  AvConstUD = new UpDownBar(design::kAvConstUD, "AvConstUD", parent);
  GB = MakeHorizontalBar(design::kGB, "GB", parent);
  FBand = MakeEdit("FBand", "", parent);
  FBand->setReadOnly(true);
  FMin = MakeHorizontalBar(design::kFMin, "FMin", parent);
  FMax = MakeHorizontalBar(design::kFMax, "FMax", parent);

  CFLabel = MakeLabel("CFLabel", "Centre Frequency   Hz", parent);
  SigBWLabel = MakeLabel("SigBWLabel", "Signal Bandwidth  Hz", parent);
  DetPeriodLabel = MakeLabel("DetPeriodLabel", "Stable Detection Period   s", parent);
  StabFactorLabel = MakeLabel("StabFactorLabel", "Carrier Stability  dB", parent);
  HistLabel = MakeLabel("HistLabel", "No. of FFTs in log History", parent);
  AlarmThreshLabel = MakeLabel("AlarmThreshLabel", "Alarm Threshold  dB (1Hz)", parent);
  AVConstLabel = MakeLabel("AVConstLabel", "Freq Track Averaging Factor", parent);
  GBLabel = MakeLabel("GBLabel", "Noise Guard Band", parent);
  FBandLabel = MakeLabel("FBandLabel", "Constrain Frequency band", parent);

  connect(SRate, &QLineEdit::textChanged, this, &ParameterPanel::SRate_Change);
  connect(fftSize, &ListPickBox::picked, this, &ParameterPanel::FFTSize_Click);
  connect(CF, &QLineEdit::textChanged, this, &ParameterPanel::CF_Change);
  connect(CFUD, &QScrollBar::valueChanged, this, &ParameterPanel::CFUD_Change);
  connect(SigBW, &QLineEdit::textChanged, this, &ParameterPanel::SigBW_Change);
  connect(SigBWUD, &QScrollBar::valueChanged, this, &ParameterPanel::SigBWUD_Change);
  connect(DetPeriod, &QLineEdit::textChanged, this, &ParameterPanel::DetPeriod_Change);
  connect(DetPeriodUD, &QScrollBar::valueChanged, this, &ParameterPanel::DetPeriodUD_Change);
  connect(StabFactUD, &QScrollBar::valueChanged, this, &ParameterPanel::StabFactUD_Change);
  connect(Hist, &QLineEdit::textChanged, this, &ParameterPanel::Hist_Change);
  connect(HistUD, &QScrollBar::valueChanged, this, &ParameterPanel::HistUD_Change);
  connect(AlarmThresh, &QLineEdit::textChanged, this, &ParameterPanel::AlarmThresh_Change);
  connect(AlarmThreshUD, &QScrollBar::valueChanged, this,
          &ParameterPanel::AlarmThreshUD_Change);
  connect(AvConstUD, &QScrollBar::valueChanged, this, &ParameterPanel::AvConstUD_Change);
  connect(GB, &QScrollBar::valueChanged, this, &ParameterPanel::GB_Change);
  connect(FMin, &QScrollBar::valueChanged, this, &ParameterPanel::FMin_Change);
  connect(FMax, &QScrollBar::valueChanged, this, &ParameterPanel::FMax_Change);
}

int32_t ParameterPanel::fftLen() const { return Module1::FFTLen; }

void ParameterPanel::SRate_Change() {
  p_.SampleRate = Leading(SRate);
  if (p_.SampleRate > 4000 && p_.SampleRate < 48000)
    SetValueInRange(FMax, RoundHalfEven32(p_.SampleRate * 0.45));
  SetValueInRange(FMin, 20);
  p_.FMinBin = HzToBin(20, p_.SampleRate, fftLen());
  p_.FMaxBin = HzToBin(FMax->value(), p_.SampleRate, fftLen());
  DeriveHistLenFromPeriod();
}

void ParameterPanel::FFTSize_Click() {
  Module1::FFTLen = OfferedFFTLen(ParseLeadingNumber(Std(FFTSize->currentText())));
  // For a rate whose 0.45 share lies outside the bar, the nearest end of the bar is used.
  const int32_t fmax = RoundHalfEven32(p_.SampleRate * 0.45);
  SetValueInRange(FMax, std::clamp(fmax, FMax->minimum(), FMax->maximum()));
  SetValueInRange(FMin, 20);
  p_.FMinBin = HzToBin(20, p_.SampleRate, fftLen());
  p_.FMaxBin = HzToBin(FMax->value(), p_.SampleRate, fftLen());
  DeriveHistLenFromPeriod();
}

void ParameterPanel::CF_Change() {
  const std::string text = Std(CF->text());
  const double f = ParseLeadingNumber(text);
  if (!text.empty() && IsWholeNumber(text)) p_.CentreBin = HzToBin(f, p_.SampleRate, fftLen());
  if (InsideUpDown(f, design::kCFUD)) SetValueInRange(CFUD, RoundHalfEven32(f));
}

void ParameterPanel::CFUD_Change() { CF->setText(Q(PlainText(CFUD->value()))); }

void ParameterPanel::SigBW_Change() {
  p_.SigBWBins = SigBWHzToBins(Leading(SigBW), p_.SampleRate, fftLen());
  const double b = BinToHz(p_.SigBWBins, p_.SampleRate, fftLen());
  if (InsideUpDown(b, design::kSigBWUD)) SetValueInRange(SigBWUD, RoundHalfEven32(b));
  SigBW->setText(Q(PlainText(SigBWUD->value())));
}

void ParameterPanel::SigBWUD_Change() { SigBW->setText(Q(PlainText(SigBWUD->value()))); }

void ParameterPanel::DetPeriod_Change() {
  p_.DetFrames = SecondsToDetFrames(Leading(DetPeriod), p_.SampleRate, fftLen());
  PeriodFollowUp();
}

void ParameterPanel::DetPeriodUD_Change() {
  DetPeriod->setText(Q(PlainText(DetPeriodUD->value())));
  // Again here, so the follow-up also happens when the text did not change.
  PeriodFollowUp();
}

void ParameterPanel::PeriodFollowUp() {
  // The entry is replaced by the frame-exact period; the nested pass finds the same frames.
  // Without a rate or FFT length there is no period to show: the entry stays as typed.
  if (p_.SampleRate > 0 && fftLen() > 0)
    DetPeriod->setText(Q(PlainText(DetFramesToSeconds(p_.DetFrames, p_.SampleRate, fftLen()))));
  p_.StabLimitDb = Leading(StabFactor);
  const int s = StabFactUDValueFor(p_.StabLimitDb);
  if (s >= 0) SetValueInRange(StabFactUD, s);
  DeriveHistLenFromPeriod();
}

void ParameterPanel::DeriveHistLenFromPeriod() {
  p_.HistLen = HistLenFromPeriod(Leading(DetPeriod), p_.SampleRate, fftLen());
  SetValueInRange(HistUD, p_.HistLen);
  Hist->setText(Q(SignSpacedText(p_.HistLen)));
}

void ParameterPanel::StabFactUD_Change() {
  StabFactor->setText(Q(SignSpacedText(StabFactUD->value())));
  p_.StabLimitDb = Leading(StabFactor);
}

void ParameterPanel::Hist_Change() {
  // The spectrum history holds 64 rows and the average divides by HistLen: a typed value
  // is held to the range of its up-down bar, while the text stays as typed.
  p_.HistLen = std::clamp(RoundHalfEven32(Leading(Hist)), design::kHistUD.max,
                          design::kHistUD.min);
}

void ParameterPanel::HistUD_Change() { Hist->setText(Q(SignSpacedText(HistUD->value()))); }

void ParameterPanel::AlarmThresh_Change() {
  p_.AlarmThreshDb = Leading(AlarmThresh);
  const int32_t a = RoundHalfEven32(p_.AlarmThreshDb);
  if (InsideUpDown(a, design::kAlarmThreshUD)) SetValueInRange(AlarmThreshUD, a);
}

void ParameterPanel::AlarmThreshUD_Change() {
  AlarmThresh->setText(Q(SignSpacedText(AlarmThreshUD->value())));
  p_.AlarmActive = false;
}

void ParameterPanel::AvConstUD_Change() {
  AVConst->setText(Q(SignSpacedText(AvConstUD->value())));
}

void ParameterPanel::GB_Change() { p_.GuardBand = static_cast<float>(GB->value()) / 10.0f; }

void ParameterPanel::FMin_Change() {
  if (FMin->value() >= FMax->value()) {
    int target = std::clamp(FMax->value() - 1000, FMin->minimum(), FMin->maximum());
    if (target >= FMax->value()) {
      // The upper edge stands where no lower edge fits below it: it moves up instead.
      SetValueInRange(FMax, std::min(FMax->maximum(), FMin->minimum() + 1000));
      target = std::clamp(FMax->value() - 1000, FMin->minimum(), FMin->maximum());
    }
    FMin->setValue(target);
  }
  BandEdgeSteps(true);
}

void ParameterPanel::FMax_Change() {
  if (FMin->value() >= FMax->value()) {
    int target = std::clamp(FMin->value() + 1000, FMax->minimum(), FMax->maximum());
    if (target <= FMin->value()) {
      // The lower edge stands above anything the upper edge can reach: it moves down.
      SetValueInRange(FMin, std::max(FMin->minimum(), FMax->maximum() - 1000));
      target = std::clamp(FMin->value() + 1000, FMax->minimum(), FMax->maximum());
    }
    FMax->setValue(target);
  }
  BandEdgeSteps(false);
}

QString ParameterPanel::BandText() const {
  return Q(SignSpacedText(FMin->value()) + " - " + SignSpacedText(FMax->value()));
}

void ParameterPanel::BandEdgeSteps(bool lowerEdge) {
  FBand->setText(BandText());
  const double rate = p_.SampleRate;
  const int32_t len = fftLen();
  if (lowerEdge)
    p_.FMinBin = HzToBin(FMin->value(), rate, len);
  else
    p_.FMaxBin = HzToBin(FMax->value(), rate, len);
  if (rate > 0 && len > 0 && plotScaleChanged)
    plotScaleChanged(len * (FMin->value() / rate), len * ((FMax->value() - FMin->value()) / rate));
  if (bandCleared) bandCleared();
}

}  // namespace corvane
