#include "app/calibrated_records.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <optional>

#include "app/main_controls.h"
#include "capture/block_loop.h"
#include "capture/run_control.h"
#include "common/numtext.h"
#include "dsp/fft.h"
#include "logging/data_log.h"
#include "logging/data_log_panel.h"
#include "network/mqtt_link.h"
#include "settings/parameter_panel.h"

namespace corvane {
namespace {

std::string Std(const QString& s) { return s.toStdString(); }
double Leading(const QLineEdit* e) { return ParseLeadingNumber(Std(e->text())); }

}  // namespace

CalibratedRecords::CalibratedRecords(MainControls& controls, const MeasurementParams& params,
                                     BlockLoop& loop, RunControl& run, MqttLink& mqtt)
    : c_(controls), params_(params), loop_(loop), run_(run), mqtt_(mqtt) {}

void CalibratedRecords::Start(const SourceEntry& entry, int channels, const QDateTime& now) {
  RunSettings settings;
  settings.sampleRate = params_.SampleRate;
  settings.fftLen = Module1::FFTLen;
  settings.window = Module1::WinTable;
  settings.input = channels == 1 ? InputKind::Mono : InputKind::IQ;
  CalibratedEstimator& calibrated = loop_.calibrated();
  calibrated.StartRun(settings);
  for (QLabel* l : {c_.CN0, c_.CarrierFreq, c_.CarrierDrift}) l->clear();

  ParameterPanel& p = *c_.panel;
  RunDescription run;
  run.program = "Corvane " CORVANE_VERSION;
  run.source = Std(entry.text);
  run.sampleRate = params_.SampleRate;
  run.fftLen = Module1::FFTLen;
  run.window = Std(c_.WindType->currentText());
  run.averaging = params_.HistLen;
  run.bandLowHz = p.FMin->value();
  run.bandHighHz = p.FMax->value();
  run.guardBand = params_.GuardBand;
  run.sigBwHz = Leading(p.SigBW);
  run.started = IsoUtc(now.toSecsSinceEpoch());
  calibrated.Describe(run);
  c_.dataLog->StartRun(run);
  mqtt_.PublishRun(run);
}

void CalibratedRecords::Show() {
  CalibratedEstimator& calibrated = loop_.calibrated();
  if (calibrated.settings().fftLen <= 0) return;
  const CalibratedFigures& f = calibrated.Latest();
  if (!f.measured) return;
  auto fixed = [](double v, int decimals) { return QString::number(v, 'f', decimals); };
  c_.CN0->setText(f.cn0DbHz ? "C/N0  " + fixed(*f.cn0DbHz, 1) + " dB-Hz"
                             : QStringLiteral("C/N0  not detected"));
  c_.CarrierFreq->setText(f.freqHz ? "Freq  " + fixed(*f.freqHz, 3) + " Hz" : QString());
  const std::optional<DriftFit::Slope> drift = calibrated.Drift();
  c_.CarrierDrift->setText(f.detected && drift
                                ? "Drift " + fixed(drift->hzPerS, 4) + " Hz/s"
                                : QString());
}

void CalibratedRecords::WriteRow(const QDateTime& second, bool steady, double logSN1HzDb) {
  DataLogPanel& dataLog = *c_.dataLog;
  if (!dataLog.enabled() && !mqtt_.enabled()) return;
  const qint64 unix = second.toSecsSinceEpoch();
  DataRecord row;
  row.utc = IsoUtc(unix);
  row.local = IsoLocal(unix);
  row.steady = steady;
  row.snr1HzDb = LoggedFigure(logSN1HzDb);
  row.droppedBlocks = run_.droppedBlocks();
  row.source = Std(run_.entry().text);
  CalibratedEstimator& calibrated = loop_.calibrated();
  if (calibrated.settings().fftLen > 0) calibrated.FillRecord(row, static_cast<double>(unix));
  if (dataLog.enabled()) dataLog.Append(row);
  mqtt_.PublishRecord(row);
}

}  // namespace corvane
