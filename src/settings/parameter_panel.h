#pragma once
// The parameter controls of the main window and their change handlers: sampling rate and FFT
// length, the texts in Hz, seconds and dB with their up-down bars, the guard band and the
// band edges. Each handler reads its control, converts into bins and frames in the parameter
// set and keeps the companion control in step; setting a text or value from code runs the
// handler of that control at once, and only on a real change (Qt's own textChanged and
// valueChanged), which is what lets the chains end.

#include <QObject>
#include <cstdint>
#include <functional>

#include "settings/parameters.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QScrollBar;
class QWidget;

namespace corvane {

class UpDownBar;

// An FFT length typed or read from the settings file that is not one of the offered powers
// of two becomes the nearest offered one (the smaller on a tie), so the FFT always gets a
// power of two within 1024 .. 32768.
int32_t OfferedFFTLen(double requested);

class ParameterPanel : public QObject {
  Q_OBJECT
 public:
  ParameterPanel(MeasurementParams& params, QWidget* parent);

  // After a band edge moved: the plot's new left edge and width in bins (only when the
  // rate and FFT length make them finite), then the waterfall is to be cleared.
  std::function<void(double left, double width)> plotScaleChanged;
  std::function<void()> bandCleared;

  // Handlers.
  void SRate_Change();
  // Only a choice from the list runs it (the popup, or the arrow keys on the closed box);
  // a typed length waits for START.
  void FFTSize_Click();
  void CF_Change();
  void CFUD_Change();
  void SigBW_Change();
  void SigBWUD_Change();
  void DetPeriod_Change();
  void DetPeriodUD_Change();
  void StabFactUD_Change();
  void Hist_Change();
  void HistUD_Change();
  void AlarmThresh_Change();
  void AlarmThreshUD_Change();
  void AvConstUD_Change();
  void GB_Change();
  void FMin_Change();
  void FMax_Change();

  // HistLen from the DetPeriod text, into HistUD and Hist.
  void DeriveHistLenFromPeriod();
  // The FBand text from the two band edges.
  QString BandText() const;

  // Controls, named as in the window's design.
  QLineEdit* SRate;
  QComboBox* FFTSize;
  QLabel* Label15;  // "FFT"
  QLabel* Label16;  // "S Rate"
  QLineEdit* CF;
  UpDownBar* CFUD;
  QLineEdit* SigBW;
  UpDownBar* SigBWUD;
  QLineEdit* DetPeriod;
  UpDownBar* DetPeriodUD;
  QLineEdit* StabFactor;
  UpDownBar* StabFactUD;
  QLineEdit* Hist;
  UpDownBar* HistUD;
  QLineEdit* AlarmThresh;
  UpDownBar* AlarmThreshUD;
  QLineEdit* AVConst;
  UpDownBar* AvConstUD;
  QScrollBar* GB;
  QLineEdit* FBand;
  QScrollBar* FMin;
  QScrollBar* FMax;

  // Captions of the frequency parameters.
  QLabel* CFLabel;
  QLabel* SigBWLabel;
  QLabel* DetPeriodLabel;
  QLabel* StabFactorLabel;
  QLabel* HistLabel;
  QLabel* AlarmThreshLabel;
  QLabel* AVConstLabel;
  QLabel* GBLabel;
  QLabel* FBandLabel;

 private:
  int32_t fftLen() const;
  // Steps 2 .. 6 of the detection-period handler.
  void PeriodFollowUp();
  void BandEdgeSteps(bool lowerEdge);

  MeasurementParams& p_;
};

}  // namespace corvane
