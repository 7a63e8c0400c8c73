// The main window as the engine's and the block loop's host: what a click on the plot and
// a measured block change in the window's controls and read-outs.

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <cmath>
#include <cstdio>

#include "app/corvane_window.h"
#include "app/level_meter.h"
#include "app/main_controls.h"
#include "app/window_text.h"
#include "capture/run_control.h"
#include "common/numtext.h"
#include "display/band_plot.h"
#include "logging/log_panel.h"
#include "settings/parameter_panel.h"
#include "settings/updown_bar.h"

namespace corvane {
namespace {

constexpr const char* kNoiseFailure = "Noise measurement not possible, Signal bandwidth reset";

}  // namespace

// ---- Tracking and the plot --------------------------------------------------------------

void CorvaneWindow::TrackSig_Click() {
  engine_.TrackSigClick();
  ApplyDriftReadout();
  // The engine shows the drift read-out from the first click on.
  c_->Drift->show();
}

void CorvaneWindow::CFToPeak_Click() { engine_.CFToPeakClick(); }

// The read-out shows the frequency a click there sets. Scaling x by the band's span over
// the plot's width gives that only until START widens the plot; from then on it was off by
// the ratio of the two widths (1000.7 Hz shown where a click set 1004 Hz).
void CorvaneWindow::Spectrum_MouseMove(double xBins, double) {
  const double hz = engine_.SpectrumClickHz(xBins);
  if (std::isnan(hz)) return;
  c_->CsrLoc->setText(Q(FormatPattern(hz, "#####.#")) + "Hz");
}

void CorvaneWindow::Spectrum_MouseDown(Qt::MouseButton button, double xBins, double) {
  if (button != Qt::LeftButton) return;
  engine_.SpectrumClick(xBins);
}

// ---- EngineHost -------------------------------------------------------------------------

double CorvaneWindow::SigBWTextHz() { return Leading(c_->panel->SigBW); }

bool CorvaneWindow::TrackingOn() { return c_->TrackSig->isChecked(); }

// Never a message box while capture runs: an unattended station must keep measuring.
void CorvaneWindow::ShowNoiseFailure() { Notice(kNoiseFailure); }

void CorvaneWindow::ResetSignalBandwidth() {
  SetValueInRange(c_->panel->SigBWUD, 100);
  c_->panel->SigBW->setText("100");
}

void CorvaneWindow::SetCentreFrequencyText(const std::string& text) {
  c_->panel->CF->setText(Q(text));
}

// The sound follows the block's picture (BlockDrawn), so the plot never lags the chime.
void CorvaneWindow::PlayAlarmSound() {
  alarmPending_ = true;
  PublishAlarm();
}

// ---- BlockLoopHost ----------------------------------------------------------------------

bool CorvaneWindow::SidebandSwapChecked() { return c_->SBswap->isChecked(); }

void CorvaneWindow::ShowInputLevel(double levelDb, bool red) {
  c_->IPAmplitude->setLevel(levelDb, red);
}

void CorvaneWindow::ApplyReadouts(const Readouts& r) {
  SetTextIfChanged(c_->PeakDet, r.PeakDet);
  SetTextIfChanged(c_->SNBin, r.SNBin);
  SetTextIfChanged(c_->SN1Hz, r.SN1Hz);
  SetTextIfChanged(c_->SN2k5Hz, r.SN2k5Hz);
  SetTextIfChanged(c_->ShowNoise, r.ShowNoise);
  SetTextIfChanged(c_->ShowSignal, r.ShowSignal);
  if (c_->SNResults->isVisibleTo(this) != r.SNResultsVisible)
    c_->SNResults->setVisible(r.SNResultsVisible);
  SetTextIfChanged(c_->CarrStabMsg, r.CarrStabMsg);
  // A style sheet is built and the label polished again only when its colour changes.
  if (carrStabColour_ != r.CarrStabColour) {
    SetLabelColour(c_->CarrStabMsg, r.CarrStabColour);
    carrStabColour_ = r.CarrStabColour;
  }
  if (tickShown_) {
    ApplyDriftReadout();
  } else {
    ShowTick();
  }
  SetTextIfChanged(c_->AlarmVisual, r.AlarmVisual);
  if (alarmColour_ != r.AlarmColour) {
    SetLabelColour(c_->AlarmVisual, r.AlarmColour);
    alarmColour_ = r.AlarmColour;
  }
  if (r.AlarmVisible && !c_->AlarmVisual->isVisibleTo(this)) c_->AlarmVisual->show();
  c_->log->ShowNewestLine();
}

void CorvaneWindow::BlockDrawn() {
  if (!alarmPending_) return;
  alarmPending_ = false;
  // The picture and read-outs of the alarm's block are on the screen before the sound holds
  // the thread; other blocks show theirs at the pace of the display.
  blockLoop_->paintNow();
  c_->AlarmVisual->repaint();
  if (alarmSoundStandIn_) {
    alarmSoundStandIn_();
    return;
  }
  if (!alarmSound_.PlayAndWait() && !alarmSound_.failure().isEmpty())
    std::fprintf(stderr, "Alarm sound: %s\n", alarmSound_.failure().toLocal8Bit().constData());
}

}  // namespace corvane
