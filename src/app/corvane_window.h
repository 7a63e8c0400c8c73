#pragma once
// The main window `Corvane`: the controls of the instrument, start-up from the settings
// file, START, the one-second tick and the program end. It is the host of the measurement
// engine (controls the engine sets) and of the block loop (controls a block shows).

#include <QDateTime>
#include <QMainWindow>
#include <functional>
#include <memory>
#include <vector>

#include "capture/alarm_sound.h"
#include "capture/block_loop.h"
#include "capture/source_factory.h"
#include "measure/engine_host.h"
#include "measure/measurement_engine.h"
#include "settings/parameters.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QTimer;

namespace corvane {

class LevelMeter;
class LogPanel;
class ParameterPanel;
class BandPlot;
class WaterfallWindow;

class CorvaneWindow : public QMainWindow, public EngineHost, public BlockLoopHost {
  Q_OBJECT
 public:
  // Builds the controls and runs the start-up (Form_Load) from "CORVANE.INI" in the current
  // directory.
  explicit CorvaneWindow(QWidget* parent = nullptr);
  ~CorvaneWindow() override;

  // For the command line and the tests.
  void selectSource(const SourceEntry& entry);
  // No entry: START opens the platform's default input.
  void selectDefaultDevice();
  void pressStart();
  void setLogging(bool on);
  void setClock(std::function<QDateTime()> clock);
  // Fast mode also writes log records without syncing each one to disk (see the .cpp).
  void setFastMode(bool fast);
  BlockLoop* blockLoop() { return blockLoop_.get(); }
  MeasurementEngine& engine() { return engine_; }
  MeasurementParams& params() { return params_; }
  ParameterPanel& parameters() { return *panel_; }
  LogPanel& logging() { return *log_; }
  WaterfallWindow* waterfall() { return wf_; }
  BandPlot* spectrum() { return spectrum_; }
  bool captureRunning() const { return captureRunning_; }
  const std::vector<SourceEntry>& sources() const { return sources_; }

  // Handlers and public methods, named after their controls and events.
  void ReadIni();
  void InitDevices();
  void Start_Click();
  void Timer1_Timer();
  void TrackSig_Click();
  void CFToPeak_Click();
  void Spectrum_MouseMove(double xBins, double yUnits);
  void Spectrum_MouseDown(Qt::MouseButton button, double xBins, double yUnits);

  // EngineHost
  double SigBWTextHz() override;
  bool TrackingOn() override;
  void ShowNoiseFailure() override;
  void ResetSignalBandwidth() override;
  void SetCentreFrequencyText(const std::string& text) override;
  void PlayAlarmSound() override;

  // BlockLoopHost
  bool SidebandSwapChecked() override;
  void ShowInputLevel(double levelDb, bool red) override;
  void ApplyReadouts(const Readouts& readouts) override;
  DateTime Now() override;
  void SourceClockTick() override;
  void SourceFinished() override;
  void SourceStatus(const QString& text) override;

 protected:
  // Form_Unload.
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildControls();
  void BuildLayout();
  void FormLoad();
  // One settings line through its control; false ends the reading.
  bool ApplyIniLine(int lineNo, const std::string& line);
  // Lines the file did not supply take the design-time texts of their controls.
  void ApplyDesignDefaults(int firstMissingLine);
  void WriteIni();
  SourceEntry ChosenSource() const;
  void ApplyDriftReadout();

  MeasurementParams params_;
  MeasurementEngine engine_;

  ParameterPanel* panel_ = nullptr;
  LogPanel* log_ = nullptr;
  BandPlot* spectrum_ = nullptr;
  WaterfallWindow* wf_ = nullptr;
  std::unique_ptr<BlockLoop> blockLoop_;
  QTimer* Timer1 = nullptr;
  QTimer* deferredTick_ = nullptr;

  QComboBox* DeviceBox = nullptr;
  QCheckBox* SBswap = nullptr;
  QPushButton* Start = nullptr;
  QComboBox* WindType = nullptr;
  QLabel* BinSize = nullptr;
  QLabel* SourceStatusLabel = nullptr;
  QCheckBox* TrackSig = nullptr;
  QPushButton* CFToPeak = nullptr;
  QGroupBox* SNResults = nullptr;
  QLabel* SNBin = nullptr;
  QLabel* SN1Hz = nullptr;
  QLabel* SN2k5Hz = nullptr;
  QLabel* ShowNoise = nullptr;
  QLabel* ShowSignal = nullptr;
  QLabel* CsrLoc = nullptr;
  QLabel* PeakDet = nullptr;
  QLabel* CarrStabMsg = nullptr;
  QLabel* Drift = nullptr;
  QLabel* AlarmVisual = nullptr;
  LevelMeter* IPAmplitude = nullptr;

  AlarmSound alarmSound_;
  std::vector<SourceEntry> sources_;
  std::function<QDateTime()> clock_ = [] { return QDateTime::currentDateTime(); };
  bool fast_ = false;
  bool captureRunning_ = false;
  bool closing_ = false;
  bool startPressed_ = false;
  int iniLinesApplied_ = 0;
};

}  // namespace corvane
