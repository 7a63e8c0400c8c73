#pragma once
// The main window `Corvane`: start-up from the settings file, START and STOP, the one-second
// tick with its caption and records, the plot's cursor and click, and the program end. It
// shows what the run control and the measurement engine report; the run control runs the
// capture and the engine measures.

#include <QDateTime>
#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "app/window_session.h"
#include "capture/alarm_sound.h"
#include "capture/block_loop.h"
#include "capture/source_factory.h"
#include "measure/engine_host.h"
#include "measure/measurement_engine.h"
#include "settings/parameters.h"

class QTimer;

namespace corvane {

struct MainControls;
struct MainMenu;
class BandPlot;
class CalibratedRecords;
class DataLogPanel;
class IniStartup;
class LogPanel;
class MqttLink;
class ParameterPanel;
class PublishingWindow;
class RunControl;
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
  // START as the command line presses it: a failure is reported without a message box.
  void pressStart();
  void setLogging(bool on);
  // The data log's own file name (--csv); empty: the log's name with ".csv".
  void setDataLogFile(const std::string& name);
  // Publishing to an MQTT broker for this run (--mqtt, --mqtt-credentials); false with the
  // reason when the URL or the credentials will not do.
  bool setMqtt(const QString& url, const QString& credentialsFile, QString* error);
  // The small window that sets up publishing; for a menu to call.
  void showPublishingSettings();
  MqttLink& mqtt() { return *mqtt_; }
  // Where "Record the input" records, and whether it is on.
  void setRecording(const QString& directory, bool on);
  // Picks the log interval whose list text is `text` ("1s", "5min"); false if none is.
  bool chooseLogInterval(const QString& text);
  // Replaces the clock of the caption, the alarm's stamp and a tick run by hand (tests).
  void setClock(std::function<QDateTime()> clock);
  // Runs in place of the alarm's sound, at the moment it would play (tests).
  void setAlarmSound(std::function<void()> play);
  // Fast mode: a file or the beacon read back to back on its own clock; records are not
  // synced one by one (the input can be run again).
  void setFastMode(bool fast);
  BlockLoop* blockLoop() { return blockLoop_.get(); }
  RunControl* runControl() { return run_.get(); }
  MeasurementEngine& engine() { return engine_; }
  MeasurementParams& params() { return params_; }
  ParameterPanel& parameters();
  LogPanel& logging();
  DataLogPanel& dataLog();
  WaterfallWindow* waterfall();
  BandPlot* spectrum();
  // CaptureRunning: capture has been started in this run of the program (a record is only
  // ever due from then on); whether it runs now is runControl()->running().
  bool captureRunning() const { return captureRunning_; }
  // The last START found no source to open.
  bool openFailed() const { return openFailed_; }
  const std::vector<SourceEntry>& sources() const { return sources_; }

  // Handlers and public methods, named after their controls and events.
  void ReadIni();
  void InitDevices();
  void Start_Click();
  // The one-second tick for `second`; without one, the clock's current second.
  void Timer1_Timer(const QDateTime& second);
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
  void BlockDrawn() override;

 signals:
  // A run ended by itself (the end of a file) or never opened: the command line ends a
  // fast run here.
  void runEnded(bool opened);

 protected:
  // Form_Unload.
  void closeEvent(QCloseEvent* event) override;
  // Keeps the waterfall under the plot's band as either of them moves or changes size.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FormLoad();
  void ConnectMenu();
  void OpenRecording();
  void OpenLogHistory();
  void StartCapture(bool interactive);
  void StopCapture();
  // The setup controls as they are before START (also after STOP or a failed START).
  void ShowIdleControls();
  void ShowNothingMeasured();
  // Something the operator should know: the status line, GenInfo and standard error.
  void Notice(const QString& text);
  SourceEntry ChosenSource() const;
  void ApplyDriftReadout();
  // The caption's clock, the drift and the calibrated read-outs of the latest tick.
  void ShowTick();
  void PublishAlarm();
  QDateTime ClockNow() const;
  // The waterfall on the plot's frequency axis; docked, its picture's edges under the
  // plot's.
  void AlignWaterfall();

  MeasurementParams params_;
  MeasurementEngine engine_;
  MainControls* c_ = nullptr;
  std::unique_ptr<MainMenu> menu_;
  WindowSession session_;
  std::unique_ptr<IniStartup> ini_;
  std::unique_ptr<BlockLoop> blockLoop_;
  std::unique_ptr<RunControl> run_;
  qint64 nowSecond_ = std::numeric_limits<qint64>::min();  // Now() of this second
  DateTime nowFields_;
  std::unique_ptr<CalibratedRecords> calibrated_;
  QTimer* Timer1 = nullptr;
  QTimer* deferredTick_ = nullptr;
  QDateTime deferredSecond_;

  AlarmSound alarmSound_;
  MqttLink* mqtt_ = nullptr;
  QPointer<PublishingWindow> publishingWindow_;
  std::vector<SourceEntry> sources_;
  std::function<QDateTime()> clock_;
  QString recordDir_ = QStringLiteral("recordings");
  std::function<void()> alarmSoundStandIn_;
  bool fast_ = false;
  QString tickCaption_;
  bool tickShown_ = true;
  bool captureRunning_ = false;
  bool openFailed_ = false;
  bool closing_ = false;
  bool alarmPending_ = false;
  bool iniUnreadable_ = false;
  // The waterfall's share of the plot area is set once, unless the last run's came back.
  bool waterfallSplitSet_ = false;
  int iniLinesApplied_ = 0;
  // The colours the read-out labels were last given.
  std::optional<Rgb> carrStabColour_, alarmColour_;
};

}  // namespace corvane
