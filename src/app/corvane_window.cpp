#include "app/corvane_window.h"

#include <QApplication>
#include <QFileInfo>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDockWidget>
#include <QResizeEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/calibrated_records.h"
#include "app/ini_startup.h"
#include "app/level_meter.h"
#include "app/main_controls.h"
#include "app/main_menu.h"
#include "app/window_session.h"
#include "app/window_text.h"
#include "app/message.h"
#include "capture/run_control.h"
#include "common/numtext.h"
#include "display/band_plot.h"
#include "display/plot_with_axes.h"
#include "display/waterfall_window.h"
#include "dsp/fft.h"
#include "logging/data_log.h"
#include "logging/data_log_panel.h"
#include "logging/log_panel.h"
#include "network/mqtt_link.h"
#include "network/publishing_window.h"
#include "settings/list_pick_box.h"
#include "settings/parameter_panel.h"
#include "settings/settings_file.h"
#include "settings/updown_bar.h"

namespace corvane {
namespace {

DateTime ToDateTime(const QDateTime& t) {
  const QDate d = t.date();
  const QTime c = t.time();
  return {d.year(), d.month(), d.day(), c.hour(), c.minute(), c.second()};
}

constexpr const char* kCaptionClock = "Signal Logging    Velmora";
constexpr const char* kOpenFailure = "Wave input device didn't open!!";

}  // namespace

CorvaneWindow::CorvaneWindow(QWidget* parent) : QMainWindow(parent), engine_(params_, *this) {
  setObjectName("Corvane");
  setWindowTitle(design::kCaption);
  // FFTLen is 0 when the window is created; the settings file or the FFT text sets it.
  Module1::FFTLen = 0;
  c_ = new MainControls(this, params_);
  ini_ = std::make_unique<IniStartup>(*c_, params_);
  statusBar()->setObjectName("StatusLine");

  deferredTick_ = new QTimer(this);
  deferredTick_->setObjectName("DeferredTick");
  deferredTick_->setSingleShot(true);
  deferredTick_->setInterval(0);
  connect(deferredTick_, &QTimer::timeout, this, [this] { Timer1_Timer(deferredSecond_); });

  blockLoop_ = std::make_unique<BlockLoop>(engine_, params_, *this, c_->Spectrum, c_->WF);
  run_ = std::make_unique<RunControl>(*blockLoop_);
  mqtt_ = new MqttLink(this);
  mqtt_->setQueuePath([this] {
    return (params_.LogFileName.empty() ? std::string("SIGREC.TXT") : params_.LogFileName) +
           ".mqtt-queue";
  });
  calibrated_ = std::make_unique<CalibratedRecords>(*c_, params_, *blockLoop_, *run_, *mqtt_);
  connect(run_.get(), &RunControl::tick, this,
          qOverload<const QDateTime&>(&CorvaneWindow::Timer1_Timer));
  connect(run_.get(), &RunControl::notice, this, &CorvaneWindow::Notice);
  connect(run_.get(), &RunControl::sourceStatus, c_->SourceStatus, &QLabel::setText);
  connect(run_.get(), &RunControl::clockJumped, this,
          [this](const QDateTime& expected, const QDateTime& now) {
            Notice(QStringLiteral("The clock jumped from %1 to %2; records go on from %2")
                       .arg(expected.toString("yyyy-MM-dd hh:mm:ss"),
                            now.toString("yyyy-MM-dd hh:mm:ss")));
          });
  connect(run_.get(), &RunControl::blocksDropped, this, [this](qint64 blocks, qint64 total) {
    Notice(QStringLiteral("%1 block(s) dropped, %2 since START").arg(blocks).arg(total));
  });
  connect(run_.get(), &RunControl::inputMissing, this, &CorvaneWindow::ShowNothingMeasured);
  connect(run_.get(), &RunControl::ended, this, [this](const QString& why) {
    Notice(why);
    ShowIdleControls();
    emit runEnded(true);
  });

  ParameterPanel& p = *c_->panel;
  // The axes turn bins into hertz with the rate and length the band was set with.
  auto syncAxes = [this] {
    c_->SpectrumAxes->setFrequencyScale(params_.SampleRate, Module1::FFTLen);
  };
  p.plotScaleChanged = [this, syncAxes](double left, double width) {
    c_->Spectrum->setScaleLeft(left);
    c_->Spectrum->setScaleWidth(width);
    syncAxes();
    AlignWaterfall();
  };
  connect(p.SRate, &QLineEdit::textChanged, this, syncAxes);
  if (auto* fftSize = qobject_cast<ListPickBox*>(p.FFTSize))
    connect(fftSize, &ListPickBox::picked, this, syncAxes);
  for (QObject* o : {static_cast<QObject*>(c_->Spectrum), static_cast<QObject*>(c_->WF),
                     static_cast<QObject*>(c_->PlotArea)})
    o->installEventFilter(this);
  connect(c_->WFDock, &QDockWidget::topLevelChanged, this, [this] { AlignWaterfall(); });
  p.bandCleared = [this] { c_->WF->clearPicture(); };
  connect(c_->Start, &QPushButton::clicked, this, &CorvaneWindow::Start_Click);
  connect(c_->TrackSig, &QCheckBox::toggled, this, &CorvaneWindow::TrackSig_Click);
  connect(c_->CFToPeak, &QPushButton::clicked, this, &CorvaneWindow::CFToPeak_Click);
  connect(c_->Spectrum, &BandPlot::mouseMoved, this, &CorvaneWindow::Spectrum_MouseMove);
  connect(c_->Spectrum, &BandPlot::mousePressed, this, &CorvaneWindow::Spectrum_MouseDown);
  connect(c_->RecordInput, &QCheckBox::toggled, this, [this](bool on) {
    run_->setRecording(on ? recordDir_ : QString());
  });
  // Recording that stops by itself (the disk's margin, a failed write) unchecks the box.
  connect(run_.get(), &RunControl::recordingChanged, this, [this](bool recording) {
    if (!recording && c_->RecordInput->isChecked() && run_->running()) {
      const QSignalBlocker quiet(c_->RecordInput);
      c_->RecordInput->setChecked(false);
      run_->setRecording(QString());
    }
  });
  connect(c_->log->LogFile, &QLineEdit::textChanged, c_->dataLog, &DataLogPanel::Refresh);
  connect(c_->dataLog, &DataLogPanel::writeFailureChanged, this,
          [this](bool failed, const QString& text) {
            Notice(failed ? QStringLiteral("Data log write failed: ") + text
                          : QStringLiteral("Data log writes succeed again"));
          });
  // The calibrated figures' blocks are stamped on the run's own clock, as the records are.
  blockLoop_->setBlockEndClock(
      [this] { return static_cast<double>(run_->nowMs()) / 1000.0; });
  connect(c_->log, &LogPanel::writeFailureChanged, this, [this](bool failed, const QString& text) {
    Notice(failed ? text : QStringLiteral("Log writes succeed again"));
  });

  FormLoad();
  syncAxes();
  menu_ = std::make_unique<MainMenu>(this);
  ConnectMenu();
  session_ = RestoreSession(this, c_->PlotArea);
  waterfallSplitSet_ = session_.plotAreaRestored;
  if (const QScreen* screen = this->screen(); screen != nullptr && !session_.geometryRestored) {
    // A first start on a small screen: within it, and maximised where the usual size would
    // not fit (room left for the window manager's frame).
    const QSize room = screen->availableGeometry().size() - QSize(10, 40);
    if (width() > room.width() || height() > room.height()) {
      resize(std::max(minimumSizeHint().width(), std::min(width(), room.width())),
             std::max(minimumSizeHint().height(), std::min(height(), room.height())));
      setWindowState(windowState() | Qt::WindowMaximized);
    }
  }
  c_->WF->autoLevel()->setChecked(session_.waterfallAutoLevel);
  connect(c_->WF->autoLevel(), &QCheckBox::toggled, this,
          [this](bool on) { session_.waterfallAutoLevel = on; });
  c_->dataLog->setEnabled(session_.dataLogOn);
  setRecording(session_.recordDirectory, session_.recording);
  // What the operator switches is kept for the next run; what the command line asked for
  // is for this run only.
  connect(c_->dataLog->DataLogOn, &QCheckBox::clicked, this,
          [this](bool on) { session_.dataLogOn = on; });
  connect(c_->RecordInput, &QCheckBox::clicked, this, [this](bool on) { session_.recording = on; });
  connect(menu_->recordInput, &QAction::triggered, this,
          [this](bool on) { session_.recording = on; });

  // Publishing: the kept settings, started with the first message; its state at the right
  // of the status line.
  auto* mqttState = new QLabel(this);
  mqttState->setObjectName("MqttState");
  statusBar()->addPermanentWidget(mqttState);
  connect(mqtt_, &MqttLink::statusChanged, mqttState, &QLabel::setText);
  connect(mqtt_, &MqttLink::notice, this, &CorvaneWindow::Notice);
  QString mqttError;
  if (!mqtt_->Configure({session_.mqttUrl, session_.mqttCredentialsFile, session_.mqttOn}, false,
                        &mqttError))
    Notice("MQTT settings not taken: " + mqttError);
}

CorvaneWindow::~CorvaneWindow() {
  run_->stop();
  for (QObject* o : {static_cast<QObject*>(c_->Spectrum), static_cast<QObject*>(c_->WF),
                     static_cast<QObject*>(c_->PlotArea)})
    o->removeEventFilter(this);
  delete c_;
}

ParameterPanel& CorvaneWindow::parameters() { return *c_->panel; }
LogPanel& CorvaneWindow::logging() { return *c_->log; }
DataLogPanel& CorvaneWindow::dataLog() { return *c_->dataLog; }
WaterfallWindow* CorvaneWindow::waterfall() { return c_->WF; }
BandPlot* CorvaneWindow::spectrum() { return c_->Spectrum; }

// ---- Start-up ---------------------------------------------------------------------------

void CorvaneWindow::ReadIni() { iniLinesApplied_ = ini_->ReadIni(); }

void CorvaneWindow::FormLoad() {
  ParameterPanel& p = *c_->panel;
  LogPanel& log = *c_->log;
  // A write killed half-way leaves its temporary file; one that cannot be read at all must
  // not be replaced at the end with values it never gave.
  RemoveSettingsLeftovers(kSettingsFileName);
  iniUnreadable_ = SettingsFileUnreadable(kSettingsFileName);
  ReadIni();
  ini_->ApplyDesignDefaults(iniLinesApplied_ + 1);
  captureRunning_ = false;
  const double typed = ParseLeadingNumber(Std(p.FFTSize->currentText()));
  Module1::FFTLen = OfferedFFTLen(typed);
  if (Module1::FFTLen != RoundHalfEven32(typed)) p.FFTSize->setEditText(QString::number(Module1::FFTLen));
  p.SRate->setText(Q(SignSpacedText(params_.SampleRate)));
  if (params_.LogIntervalSecs == 0) {
    log.LogFile->setEnabled(false);
    log.LogFileLabel->setEnabled(false);
    log.LogMsg->setEnabled(false);
    log.StartLog->setEnabled(false);
  }
  params_.TraceColour = {0, 0, 0};
  p.FBand->setText(p.BandText());
  params_.FMinBin = HzToBin(p.FMin->value(), params_.SampleRate, Module1::FFTLen);
  params_.FMaxBin = HzToBin(p.FMax->value(), params_.SampleRate, Module1::FFTLen);
  c_->IPAmplitude->setScaleHeight(50);
  p.DeriveHistLenFromPeriod();
  log.StartLog->setText(log.CaptionByFileRule());
  c_->CsrLoc->hide();
  p.AlarmThresh->setText(Q(SignSpacedText(p.AlarmThreshUD->value())));
  params_.AlarmThreshDb = Leading(p.AlarmThresh);
  c_->AlarmVisual->hide();
  params_.AlarmActive = false;
  p.AVConst->setText(Q(SignSpacedText(p.AvConstUD->value())));
  params_.GuardBand = 0.5f;
  c_->WindType->setCurrentIndex(1);
  InitDevices();
  if (iniUnreadable_) {
    Notice(QStringLiteral("%1 cannot be read (permissions); the design's values are used and "
                          "the file will be left as it is")
               .arg(kSettingsFileName));
  }
}

void CorvaneWindow::InitDevices() {
  sources_ = ListSources();
  c_->DeviceBox->clear();
  for (const SourceEntry& e : sources_) c_->DeviceBox->addItem(e.text);
  c_->DeviceBox->setCurrentIndex(-1);
  // With no capture device at all the simulated beacon is chosen, so START shows something.
  const bool anyCard = std::any_of(sources_.begin(), sources_.end(), [](const SourceEntry& e) {
    return e.kind == SourceEntry::Kind::SoundCard;
  });
  if (!anyCard) {
    for (size_t i = 0; i < sources_.size(); ++i) {
      if (sources_[i].kind == SourceEntry::Kind::TestSignal) {
        c_->DeviceBox->setCurrentIndex(static_cast<int>(i));
      }
    }
  }
}

void CorvaneWindow::selectDefaultDevice() { c_->DeviceBox->setCurrentIndex(-1); }

void CorvaneWindow::selectSource(const SourceEntry& entry) {
  for (size_t i = 0; i < sources_.size(); ++i) {
    const SourceEntry& e = sources_[i];
    if (e.kind == entry.kind && e.text == entry.text && e.id == entry.id && e.path == entry.path) {
      c_->DeviceBox->setCurrentIndex(static_cast<int>(i));
      return;
    }
  }
  sources_.push_back(entry);
  c_->DeviceBox->addItem(entry.text);
  c_->DeviceBox->setCurrentIndex(c_->DeviceBox->count() - 1);
}

SourceEntry CorvaneWindow::ChosenSource() const {
  const int index = c_->DeviceBox->currentIndex();
  if (index >= 0 && static_cast<size_t>(index) < sources_.size())
    return sources_[static_cast<size_t>(index)];
  return PlatformDefaultEntry();
}

bool CorvaneWindow::chooseLogInterval(const QString& text) {
  QComboBox* box = c_->log->LogInterval;
  const int index = box->findText(text);
  if (index < 0) return false;
  box->setCurrentIndex(index);
  c_->log->LogInterval_Click();
  return true;
}

void CorvaneWindow::setFastMode(bool fast) {
  fast_ = fast;
  // A fast run goes through a file far faster than real time, and a sync per record would
  // take most of its time. Its input can be run again, so a record lost to a power cut is
  // not lost for good; in real time each record is synced (on the writer's thread).
  c_->log->SetSyncToDisk(!fast);
  c_->dataLog->SetSyncToDisk(!fast);
  c_->log->SetScrollPaced(fast);
  mqtt_->setSyncToDisk(!fast);
}

void CorvaneWindow::setDataLogFile(const std::string& name) {
  c_->dataLog->setFileName(name);
  if (!name.empty()) c_->dataLog->setEnabled(true);
}

void CorvaneWindow::setLogging(bool on) { c_->log->StartLog->setChecked(on); }

// ---- START and STOP ---------------------------------------------------------------------

void CorvaneWindow::pressStart() {
  if (!run_->running()) StartCapture(false);
}

void CorvaneWindow::Start_Click() {
  // START's button reads STOP while capture runs.
  if (run_->running()) {
    StopCapture();
  } else {
    StartCapture(true);
  }
}

void CorvaneWindow::StartCapture(bool interactive) {
  ParameterPanel& p = *c_->panel;

  // The source is opened first so that a file's own rate can take the place of SRate
  // before anything is derived from the rate; a failure is reported where the sequence
  // would have opened it.
  const SourceEntry entry = ChosenSource();
  const double requested = ParseLeadingNumber(Std(p.FFTSize->currentText()));
  const int32_t len = OfferedFFTLen(requested);
  QString error;
  const bool opened =
      run_->open({entry, params_.SampleRate, len, Leading(p.CF), fast_}, &error);
  if (opened && entry.kind == SourceEntry::Kind::WavFile) {
    const double rate = run_->openedRate();
    if (rate > 0 && rate != params_.SampleRate) p.SRate->setText(Q(SignSpacedText(rate)));
  }

  // 1 .. 3. A length typed into the box (not picked) takes effect here, with everything a
  // pick from the list derives from it.
  const bool lengthChanged = len != Module1::FFTLen;
  Module1::FFTLen = len;
  if (len != RoundHalfEven32(requested)) p.FFTSize->setEditText(QString::number(len));
  if (lengthChanged) p.FFTSize_Click();
  p.FFTSize->hide();
  p.SRate->hide();
  p.Label15->hide();
  p.Label16->hide();
  c_->BinSize->show();
  c_->WindType->show();
  c_->log->StartLog->setEnabled(true);
  const double rate = params_.SampleRate;
  c_->BinSize->setText(Q(BinSizeText(rate, len)));

  // 4: the bin-based parameters again, for the final length (rounded down here).
  if (rate > 0) {
    params_.SigBWBins = (Leading(p.SigBW) / rate) * len;
    p.SigBW->setText(Q(PlainText(rate * params_.SigBWBins / len)));
    const std::string cf = Std(p.CF->text());
    if (!cf.empty() && IsWholeNumber(cf))
      params_.CentreBin = std::floor((ParseLeadingNumber(cf) / rate) * len);
    const double binHz = rate / len;
    p.CFUD->setSingleStep(binHz < 1 ? 1 : RoundHalfEven16(binHz));
    params_.DetFrames = std::floor(rate * (Leading(p.DetPeriod) / len));
    if (params_.DetFrames < 2) params_.DetFrames = 2;
    p.DetPeriod->setText(Q(PlainText(len * params_.DetFrames / rate)));
  }
  params_.StabLimitDb = Leading(p.StabFactor);
  const int stab = StabFactUDValueFor(params_.StabLimitDb);
  if (stab >= 0) SetValueInRange(p.StabFactUD, stab);

  // 5 .. 7
  p.FMax->setMaximum(std::max<int>(p.FMax->minimum(), RoundHalfEven16(0.45 * rate)));
  c_->Spectrum->setScaleWidth(RoundHalfEven32(0.9 * len) / 2);
  c_->SpectrumAxes->setFrequencyScale(rate, len);
  // The waterfall on the plot's axis, shown again if it was closed.
  AlignWaterfall();
  c_->WFDock->show();
  Module1::MakeWindow(c_->WindType->currentIndex());
  c_->WindType->setEnabled(false);

  // 10: a failed open leaves the window ready for another START.
  if (!opened) {
    openFailed_ = true;
    std::fprintf(stderr, "%s: %s\n", kOpenFailure, error.toLocal8Bit().constData());
    Notice(QString(kOpenFailure) + " " + error);
    ShowIdleControls();
    // A message box only answers the operator's own click.
    if (interactive) ShowMessage(this, QString(kOpenFailure) + "\n" + error, QMessageBox::Warning);
    emit runEnded(false);
    return;
  }

  // 11
  openFailed_ = false;
  c_->DeviceBox->setPlaceholderText("Default Soundcard");
  c_->DeviceBox->setEnabled(false);
  c_->Start->setText("STOP");
  captureRunning_ = true;
  c_->CsrLoc->show();
  c_->SourceStatus->clear();
  const int channels = run_->openedChannels();
  run_->start();
  // Before the first block, which only comes from the event loop; after start(), so a fast
  // run's description carries the time its own clock starts from.
  calibrated_->Start(entry, channels, ClockNow());
  // Nothing measured yet from this source, whatever the last run left.
  if (!c_->SNResults->isHidden() || !c_->PeakDet->text().isEmpty()) ShowNothingMeasured();
}

void CorvaneWindow::StopCapture() {
  run_->stop();
  Notice(QStringLiteral("Capture stopped"));
  ShowNothingMeasured();
  ShowIdleControls();
}

// Capture has ended (STOP, the end of a file, a failed START). CaptureRunning stays as it
// was: once capture has started, the tick and its records go on, with missing values.
void CorvaneWindow::ShowIdleControls() {
  ParameterPanel& p = *c_->panel;
  alarmPending_ = false;
  p.FFTSize->show();
  p.SRate->show();
  p.Label15->show();
  p.Label16->show();
  c_->BinSize->hide();
  c_->WindType->setEnabled(true);
  c_->DeviceBox->setEnabled(true);
  c_->Start->setText("START");
  c_->Start->show();
}

void CorvaneWindow::ShowNothingMeasured() {
  engine_.NothingMeasured();
  ApplyReadouts(engine_.readouts());
  c_->IPAmplitude->setLevel(0, false);
}

void CorvaneWindow::PublishAlarm() {
  if (!mqtt_->enabled()) return;
  const qint64 unix = ClockNow().toSecsSinceEpoch();
  const double len = Module1::FFTLen;
  mqtt_->PublishAlarm({IsoUtc(unix), IsoLocal(unix), engine_.SN1HzDb, params_.AlarmThreshDb,
                       len > 0 ? params_.SampleRate * engine_.PeakBin / len : 0,
                       Std(run_->entry().text)});
}

// ---- The one-second tick ----------------------------------------------------------------

void CorvaneWindow::setClock(std::function<QDateTime()> clock) { clock_ = std::move(clock); }

void CorvaneWindow::setAlarmSound(std::function<void()> play) {
  alarmSoundStandIn_ = std::move(play);
}

QDateTime CorvaneWindow::ClockNow() const { return clock_ ? clock_() : run_->now(); }

DateTime CorvaneWindow::Now() {
  if (clock_) return ToDateTime(clock_());
  // Every block asks; the local time of a second is looked up once, when it begins.
  const qint64 ms = run_->nowMs();
  const qint64 second = ms >= 0 ? ms / 1000 : -((999 - ms) / 1000);
  if (second != nowSecond_) {
    nowSecond_ = second;
    nowFields_ = ToDateTime(LocalSecond(second));
  }
  return nowFields_;
}

void CorvaneWindow::Timer1_Timer() { Timer1_Timer(ClockNow()); }

void CorvaneWindow::Timer1_Timer(const QDateTime& second) {
  // A tick that comes while a block is processed runs right after that block, with its
  // own second.
  if (blockLoop_->inBlock()) {
    deferredSecond_ = second;
    deferredTick_->start();
    return;
  }
  const QDateTime stamp = clock_ ? clock_() : second;
  const DateTime now = ToDateTime(stamp);
  tickCaption_ = QString(kCaptionClock) + QString(20, QLatin1Char(' ')) +
                 Q(FormatPattern(now, "yyyy/MM/dd  hh:mm:ss"));
  engine_.TickDrift(Leading(c_->panel->AVConst));
  // A fast run ticks hundreds of times a second: what a tick shows waits for the read-outs'
  // next frame, as a block's figures do.
  tickShown_ = false;
  if (fast_ && captureRunning_) {
    blockLoop_->readoutFrames().changed();
  } else {
    ShowTick();
  }
  LogPanel& log = *c_->log;
  if (log.RecordDue(captureRunning_)) {
    log.WriteRecord(now, Module1::FFTLen,
                    {engine_.PeakBin, engine_.LogSignalDb, engine_.NoiseLevelDb,
                     engine_.LogSN1HzDb, engine_.DriftHzPerSec});
    calibrated_->WriteRow(stamp, engine_.Steady, engine_.LogSN1HzDb);
    engine_.ResetLogValues();
  }
  log.AdvanceTick();
}

void CorvaneWindow::ShowTick() {
  tickShown_ = true;
  if (windowTitle() != tickCaption_) setWindowTitle(tickCaption_);
  ApplyDriftReadout();
  calibrated_->Show();
}

void CorvaneWindow::ApplyDriftReadout() {
  const Readouts& r = engine_.readouts();
  SetTextIfChanged(c_->Drift, r.Drift);
  if (c_->Drift->isVisibleTo(this) != r.DriftVisible) c_->Drift->setVisible(r.DriftVisible);
}

void CorvaneWindow::Notice(const QString& text) {
  statusBar()->showMessage(text);
  c_->log->AddNotice(Now(), text);
  std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

// ---- Program end ------------------------------------------------------------------------

void CorvaneWindow::closeEvent(QCloseEvent* event) {
  if (!closing_) {
    closing_ = true;
    deferredTick_->stop();
    run_->stop(false);
    std::string error;
    if (iniUnreadable_) {
      std::fprintf(stderr, "%s could not be read at start-up and is left as it is\n",
                   kSettingsFileName);
    } else if (!ini_->WriteIni(&error)) {
      std::fprintf(stderr, "%s could not be written: %s\n", kSettingsFileName, error.c_str());
    }
    SaveSession(this, c_->PlotArea, session_);
    // Records still held after a failed write get one last chance.
    c_->log->FlushAtEnd();
    c_->dataLog->FlushAtEnd();
    mqtt_->FlushAtEnd();
    if (publishingWindow_) publishingWindow_->close();
    QApplication::quit();
  }
  event->accept();
}

}  // namespace corvane
