#include "app/corvane_window.h"

#include <algorithm>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>
#include <cstdio>

#include "app/level_meter.h"
#include "app/message.h"
#include "common/numtext.h"
#include "display/band_plot.h"
#include "display/waterfall_window.h"
#include "dsp/fft.h"
#include "logging/log_panel.h"
#include "settings/parameter_panel.h"
#include "settings/settings_file.h"
#include "settings/updown_bar.h"

namespace corvane {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string Std(const QString& s) { return s.toStdString(); }
double Leading(const QLineEdit* e) { return ParseLeadingNumber(Std(e->text())); }

DateTime ToDateTime(const QDateTime& t) {
  const QDate d = t.date();
  const QTime c = t.time();
  return {d.year(), d.month(), d.day(), c.hour(), c.minute(), c.second()};
}

QString ColourSheet(const Rgb& c) {
  return QString("color: rgb(%1, %2, %3);").arg(c.r).arg(c.g).arg(c.b);
}

void SetTextIfChanged(QLabel* label, const std::string& text) {
  const QString q = Q(text);
  if (label->text() != q) label->setText(q);
}

void SetColour(QLabel* label, const Rgb& c) {
  const QString sheet = ColourSheet(c);
  if (label->styleSheet() != sheet) label->setStyleSheet(sheet);
}

QLabel* MakeLabel(const QString& name, const QString& text, QWidget* parent) {
  auto* l = new QLabel(text, parent);
  l->setObjectName(name);
  return l;
}

// No capture device goes above this rate. A settings rate outside 1 Hz .. this (a line of
// 1e308 or 1e-320) is none a source delivers, and a fast run would never see a whole second.
constexpr double kMaxSampleRate = 384000;
bool UsableRate(double rate) { return rate >= 1 && rate <= kMaxSampleRate; }

constexpr const char* kCaptionClock = "Signal Logging    Velmora";
constexpr const char* kNoiseFailure = "Noise measurement not possible, Signal bandwidth reset";
constexpr const char* kOpenFailure = "Wave input device didn't open!!";

}  // namespace

CorvaneWindow::CorvaneWindow(QWidget* parent)
    : QMainWindow(parent), engine_(params_, *this) {
  setObjectName("Corvane");
  setWindowTitle(design::kCaption);
  // FFTLen is 0 when the window is created; the settings file or the FFT text sets it.
  Module1::FFTLen = 0;
  BuildControls();
  BuildLayout();
  FormLoad();
}

CorvaneWindow::~CorvaneWindow() {
  if (blockLoop_) blockLoop_->stop();
}

void CorvaneWindow::BuildControls() {
  auto* central = new QWidget(this);
  central->setObjectName("CentralWidget");
  setCentralWidget(central);

  panel_ = new ParameterPanel(params_, central);
  log_ = new LogPanel(params_, central);

  DeviceBox = new QComboBox(central);
  DeviceBox->setObjectName("DeviceBox");
  DeviceBox->setPlaceholderText("Choose Soundcard");
  DeviceBox->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  DeviceBox->setMinimumContentsLength(18);
  SBswap = new QCheckBox("Swap Sideband", central);
  SBswap->setObjectName("SBswap");
  Start = new QPushButton("START", central);
  Start->setObjectName("Start");
  Start->setDefault(false);
  Start->setStyleSheet("QPushButton { font-weight: bold; padding: 4px 14px; }");

  WindType = new QComboBox(central);
  WindType->setObjectName("WindType");
  for (const char* s : design::kWindowTypes) WindType->addItem(QString::fromLatin1(s));
  WindType->setPlaceholderText("FFT Window Type");
  WindType->setCurrentIndex(-1);
  BinSize = MakeLabel("BinSize", "", central);
  BinSize->hide();
  SourceStatusLabel = MakeLabel("SourceStatus", "", central);
  SourceStatusLabel->setStyleSheet("color: rgb(160, 0, 0);");
  SourceStatusLabel->setWordWrap(true);

  TrackSig = new QCheckBox("Auto Track FrequencyPeak", central);
  TrackSig->setObjectName("TrackSig");
  CFToPeak = new QPushButton("Centre Freq to Peak", central);
  CFToPeak->setObjectName("CFToPeak");

  SNResults = new QGroupBox("Signal / Noise", central);
  SNResults->setObjectName("SNResults");
  const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  auto makeSn = [&](const char* name) {
    QLabel* l = MakeLabel(name, "dB", SNResults);
    l->setFont(fixed);  // the ditto marks stand under "S/N" only in a fixed-pitch font
    return l;
  };
  ShowSignal = makeSn("ShowSignal");
  ShowNoise = makeSn("ShowNoise");
  SNBin = makeSn("SNBin");
  SN1Hz = makeSn("SN1Hz");
  SN2k5Hz = makeSn("SN2k5Hz");
  SetColour(ShowNoise, {128, 64, 0});
  SetColour(ShowSignal, {128, 64, 0});

  spectrum_ = new BandPlot(central);
  CsrLoc = MakeLabel("CsrLoc", "", central);
  PeakDet = MakeLabel("PeakDet", "", central);
  CarrStabMsg = MakeLabel("CarrStabMsg", "Carrier Stability", central);
  Drift = MakeLabel("Drift", "Carrier Drift", central);
  SetColour(Drift, {192, 0, 0});
  Drift->hide();
  AlarmVisual = MakeLabel("AlarmVisual", "", central);
  AlarmVisual->setStyleSheet("font-weight: bold;");
  IPAmplitude = new LevelMeter(central);

  wf_ = new WaterfallWindow(this);

  Timer1 = new QTimer(this);
  Timer1->setObjectName("Timer1");
  deferredTick_ = new QTimer(this);
  deferredTick_->setObjectName("DeferredTick");
  deferredTick_->setSingleShot(true);
  deferredTick_->setInterval(20);

  blockLoop_ = std::make_unique<BlockLoop>(engine_, params_, *this, spectrum_, wf_);

  panel_->plotScaleChanged = [this](double left, double width) {
    spectrum_->setScaleLeft(left);
    spectrum_->setScaleWidth(width);
  };
  panel_->bandCleared = [this] { wf_->clearPicture(); };

  connect(Start, &QPushButton::clicked, this, &CorvaneWindow::Start_Click);
  connect(TrackSig, &QCheckBox::toggled, this, &CorvaneWindow::TrackSig_Click);
  connect(CFToPeak, &QPushButton::clicked, this, &CorvaneWindow::CFToPeak_Click);
  connect(Timer1, &QTimer::timeout, this, &CorvaneWindow::Timer1_Timer);
  connect(deferredTick_, &QTimer::timeout, this, &CorvaneWindow::Timer1_Timer);
  connect(spectrum_, &BandPlot::mouseMoved, this, &CorvaneWindow::Spectrum_MouseMove);
  connect(spectrum_, &BandPlot::mousePressed, this, &CorvaneWindow::Spectrum_MouseDown);
}

void CorvaneWindow::BuildLayout() {
  QWidget* central = centralWidget();
  ParameterPanel& p = *panel_;

  // Left column: source, setup and the parameters.
  auto* sourceRow = new QHBoxLayout;
  sourceRow->addWidget(DeviceBox, 1);
  sourceRow->addWidget(Start);
  auto* sourceBox = new QVBoxLayout;
  sourceBox->addLayout(sourceRow);
  sourceBox->addWidget(SBswap);

  auto* setup = new QGroupBox("Setup", central);
  setup->setObjectName("SetupGroup");
  auto* setupGrid = new QGridLayout(setup);
  setupGrid->addWidget(p.Label16, 0, 0);
  setupGrid->addWidget(p.SRate, 0, 1);
  setupGrid->addWidget(p.Label15, 0, 2);
  setupGrid->addWidget(p.FFTSize, 0, 3);
  setupGrid->addWidget(WindType, 1, 0, 1, 4);
  setupGrid->addWidget(BinSize, 2, 0, 1, 4);
  setupGrid->addWidget(SourceStatusLabel, 3, 0, 1, 4);
  setupGrid->setColumnStretch(1, 1);
  setupGrid->setColumnStretch(3, 1);

  auto* freq = new QGroupBox("Frequency Parameters", central);
  freq->setObjectName("FrequencyGroup");
  auto* freqBox = new QVBoxLayout(freq);
  auto* heading = MakeLabel("FrequencyHeading", "Detection and tracking parameters", freq);
  heading->setStyleSheet("font-weight: bold;");
  freqBox->addWidget(heading);
  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(6);
  grid->setVerticalSpacing(3);
  int row = 0;
  auto addRow = [&](QLabel* caption, QLineEdit* edit, QScrollBar* updown) {
    // Room for a frame-exact period such as 2.73066666666667.
    const int wide = edit->fontMetrics().horizontalAdvance(QStringLiteral("00.00000000000000")) + 12;
    edit->setMinimumWidth(wide);
    edit->setMaximumWidth(wide);
    grid->addWidget(caption, row, 0);
    grid->addWidget(edit, row, 1);
    updown->setFixedHeight(edit->sizeHint().height() + 2);
    grid->addWidget(updown, row, 2);
    ++row;
  };
  addRow(p.CFLabel, p.CF, p.CFUD);
  addRow(p.SigBWLabel, p.SigBW, p.SigBWUD);
  addRow(p.DetPeriodLabel, p.DetPeriod, p.DetPeriodUD);
  addRow(p.StabFactorLabel, p.StabFactor, p.StabFactUD);
  addRow(p.HistLabel, p.Hist, p.HistUD);
  addRow(p.AlarmThreshLabel, p.AlarmThresh, p.AlarmThreshUD);
  addRow(p.AVConstLabel, p.AVConst, p.AvConstUD);
  grid->addWidget(p.GBLabel, row, 0);
  grid->addWidget(p.GB, row, 1, 1, 2);
  ++row;
  grid->setColumnStretch(0, 1);
  freqBox->addLayout(grid);
  auto* band = new QVBoxLayout;
  band->setSpacing(2);
  band->addWidget(p.FBandLabel);
  band->addWidget(p.FBand);
  band->addWidget(p.FMin);
  band->addWidget(p.FMax);
  p.FMin->setToolTip("Lower edge of the band, Hz");
  p.FMax->setToolTip("Upper edge of the band, Hz");
  freqBox->addSpacing(4);
  freqBox->addLayout(band);
  freqBox->addSpacing(4);
  auto* track = new QHBoxLayout;
  track->addWidget(TrackSig);
  track->addStretch(1);
  track->addWidget(CFToPeak);
  freqBox->addLayout(track);

  auto* left = new QVBoxLayout;
  left->addLayout(sourceBox);
  left->addWidget(setup);
  left->addWidget(freq);
  left->addStretch(1);

  // Right column: the plot and its read-outs, then results and logging.
  auto* spectrumCaption = MakeLabel("SpectrumLabel", "Spectrum", central);
  spectrumCaption->setStyleSheet("font-weight: bold;");
  auto* statusRow = new QHBoxLayout;
  statusRow->addWidget(spectrumCaption);
  statusRow->addSpacing(12);
  statusRow->addWidget(CarrStabMsg);
  statusRow->addSpacing(12);
  statusRow->addWidget(Drift);
  statusRow->addSpacing(12);
  statusRow->addWidget(AlarmVisual);
  statusRow->addStretch(1);

  auto* plotRow = new QHBoxLayout;
  plotRow->setSpacing(4);
  plotRow->addWidget(IPAmplitude);
  plotRow->addWidget(spectrum_, 1);

  auto* readRow = new QHBoxLayout;
  readRow->addStretch(1);
  readRow->addWidget(PeakDet);
  readRow->addSpacing(16);
  readRow->addWidget(CsrLoc);
  CsrLoc->setMinimumWidth(90);
  CsrLoc->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

  auto* snBox = new QVBoxLayout(SNResults);
  snBox->setSpacing(1);
  for (QLabel* l : {ShowSignal, ShowNoise, SNBin, SN1Hz, SN2k5Hz}) snBox->addWidget(l);
  snBox->addStretch(1);
  // Wide enough for the longest caption, "Signal" with a three-digit level.
  const int snWidth =
      ShowSignal->fontMetrics().horizontalAdvance("Signal            -100.0dB (Sig B/W)");
  SNResults->setMinimumWidth(snWidth + 30);
  // Read-outs that change with every block have a fixed size: a new text then only repaints
  // the label, where a label that may change size lays out the whole window again.
  for (QLabel* l : {ShowSignal, ShowNoise, SNBin, SN1Hz, SN2k5Hz})
    l->setFixedSize(snWidth, l->sizeHint().height());
  PeakDet->setFixedSize(PeakDet->fontMetrics().horizontalAdvance("Peak at 999999Hz"),
                        PeakDet->fontMetrics().height());
  PeakDet->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

  auto* logging = new QGroupBox("Logging", central);
  logging->setObjectName("LoggingGroup");
  LogPanel& lp = *log_;
  auto* logGrid = new QGridLayout(logging);
  logGrid->addWidget(lp.IntervalLabel, 0, 0);
  logGrid->addWidget(lp.LogFileLabel, 0, 1);
  logGrid->addWidget(lp.LogInterval, 1, 0);
  logGrid->addWidget(lp.LogFile, 1, 1);
  logGrid->addWidget(lp.StartLog, 2, 0);
  logGrid->addWidget(lp.LogMsg, 2, 1);
  logGrid->setColumnStretch(1, 1);
  logGrid->setRowStretch(3, 1);
  logging->setMinimumWidth(280);

  auto* general = new QGroupBox("General Info", central);
  general->setObjectName("GeneralInfoGroup");
  auto* generalBox = new QVBoxLayout(general);
  generalBox->addWidget(lp.GenInfo);
  lp.GenInfo->setMinimumHeight(60);
  // A whole record fits without scrolling sideways.
  lp.GenInfo->setMinimumWidth(
      lp.GenInfo->fontMetrics().horizontalAdvance(QString(48, QLatin1Char('0'))) + 30);

  // The results and logging row keeps its height; the plot takes what the window gains.
  auto* bottomRow = new QWidget(central);
  bottomRow->setObjectName("BottomRow");
  bottomRow->setFixedHeight(170);
  auto* bottom = new QHBoxLayout(bottomRow);
  bottom->setContentsMargins(0, 0, 0, 0);
  bottom->addWidget(SNResults);
  bottom->addWidget(logging);
  bottom->addWidget(general, 1);
  // Out of band the frame is hidden; its place stays so the row does not jump.
  QSizePolicy snPolicy = SNResults->sizePolicy();
  snPolicy.setRetainSizeWhenHidden(true);
  SNResults->setSizePolicy(snPolicy);

  auto* right = new QVBoxLayout;
  right->addLayout(statusRow);
  right->addLayout(plotRow, 1);
  right->addLayout(readRow);
  right->addWidget(bottomRow);

  auto* top = new QHBoxLayout(central);
  top->addLayout(left);
  top->addLayout(right, 1);

  resize(std::max(1180, sizeHint().width()), std::max(760, sizeHint().height()));
}

// ---- Start-up ---------------------------------------------------------------------------

void CorvaneWindow::ReadIni() {
  std::vector<std::string> lines;
  const int count = ReadSettingsLines(kSettingsFileName, &lines);
  iniLinesApplied_ = 0;
  for (int i = 0; i < count && i < kSettingsLineCount; ++i) {
    if (!ApplyIniLine(i + 1, lines[static_cast<size_t>(i)])) break;
    iniLinesApplied_ = i + 1;
  }
}

bool CorvaneWindow::ApplyIniLine(int lineNo, const std::string& line) {
  ParameterPanel& p = *panel_;
  const double v = SettingsNumber(line);
  const double rate = params_.SampleRate;
  const int32_t len = Module1::FFTLen;
  switch (lineNo) {
    case 1:
      // Read as the design rate at once, so the lines below convert with a usable one.
      params_.SampleRate = UsableRate(v) ? v : ParseLeadingNumber(design::kSRate);
      break;
    case 2:
      Module1::FFTLen = OfferedFFTLen(v);
      p.FFTSize->setEditText(Q(line));
      // A length the list does not offer is shown as the one that will be used.
      if (Module1::FFTLen != RoundHalfEven32(v)) p.FFTSize->setEditText(QString::number(Module1::FFTLen));
      break;
    case 3:
      params_.CentreBin = v;
      p.CF->setText(Q(CentreFreqText(v, rate, len)));
      break;
    case 4:
      params_.SigBWBins = v;
      p.SigBW->setText(Q(SignSpacedText(len > 0 ? (rate * v) / len : 0)));
      break;
    case 5:
    case 6: {
      QScrollBar* bar = lineNo == 5 ? p.FMin : p.FMax;
      if (!SetValueInRange(bar, RoundHalfEven32(v))) return false;
      const double bin = rate > 0 ? (bar->value() / rate) * len : 0;
      (lineNo == 5 ? params_.FMinBin : params_.FMaxBin) = bin;
      break;
    }
    case 7:
      params_.StabLimitDb = v;
      p.StabFactor->setText(Q(SignSpacedText(v)));
      break;
    case 8:
      params_.DetFrames = v;
      p.DetPeriod->setText(Q(PlainText(rate > 0 ? (len * v) / rate : 0)));
      break;
    case 9:
      params_.LogIntervalSecs = v;
      log_->LogInterval->setEditText(LogPanel::IntervalText(v));
      break;
    case 10:
      params_.LogFileName = line;
      log_->LogFile->setText(Q(line));
      break;
    case 11:
      params_.HistLen = RoundHalfEven32(v);
      break;
    default:
      return false;
  }
  return true;
}

void CorvaneWindow::ApplyDesignDefaults(int firstMissingLine) {
  ParameterPanel& p = *panel_;
  // The conversions below need a rate and a length: a file without them gets the
  // design-time ones.
  if (!UsableRate(params_.SampleRate)) params_.SampleRate = ParseLeadingNumber(design::kSRate);
  if (Module1::FFTLen <= 0) Module1::FFTLen = OfferedFFTLen(ParseLeadingNumber(Std(p.FFTSize->currentText())));
  for (int line = std::max(firstMissingLine, 3); line <= kSettingsLineCount; ++line) {
    switch (line) {
      case 3: p.CF_Change(); break;
      case 4: p.SigBW_Change(); break;
      case 7: params_.StabLimitDb = Leading(p.StabFactor); break;
      case 8: p.DetPeriod_Change(); break;
      case 10: log_->LogFile_Change(); break;
      default: break;  // 5, 6, 9, 11: the start-up steps derive them from their controls
    }
  }
}

void CorvaneWindow::FormLoad() {
  ParameterPanel& p = *panel_;
  ReadIni();
  ApplyDesignDefaults(iniLinesApplied_ + 1);
  captureRunning_ = false;
  const double typed = ParseLeadingNumber(Std(p.FFTSize->currentText()));
  Module1::FFTLen = OfferedFFTLen(typed);
  if (Module1::FFTLen != RoundHalfEven32(typed)) p.FFTSize->setEditText(QString::number(Module1::FFTLen));
  p.SRate->setText(Q(SignSpacedText(params_.SampleRate)));
  if (params_.LogIntervalSecs == 0) {
    log_->LogFile->setEnabled(false);
    log_->LogFileLabel->setEnabled(false);
    log_->LogMsg->setEnabled(false);
    log_->StartLog->setEnabled(false);
  }
  params_.TraceColour = {0, 0, 0};
  p.FBand->setText(p.BandText());
  params_.FMinBin = HzToBin(p.FMin->value(), params_.SampleRate, Module1::FFTLen);
  params_.FMaxBin = HzToBin(p.FMax->value(), params_.SampleRate, Module1::FFTLen);
  IPAmplitude->setScaleHeight(50);
  p.DeriveHistLenFromPeriod();
  Timer1->setInterval(1000);
  log_->StartLog->setText(log_->CaptionByFileRule());
  CsrLoc->hide();
  p.AlarmThresh->setText(Q(SignSpacedText(p.AlarmThreshUD->value())));
  params_.AlarmThreshDb = Leading(p.AlarmThresh);
  AlarmVisual->hide();
  params_.AlarmActive = false;
  p.AVConst->setText(Q(SignSpacedText(p.AvConstUD->value())));
  params_.GuardBand = 0.5f;
  WindType->setCurrentIndex(1);
  InitDevices();
}

void CorvaneWindow::InitDevices() {
  sources_ = ListSources();
  DeviceBox->clear();
  for (const SourceEntry& e : sources_) DeviceBox->addItem(e.text);
  DeviceBox->setCurrentIndex(-1);
  // With no capture device at all the simulated beacon is chosen, so START shows something.
  const bool anyCard = std::any_of(sources_.begin(), sources_.end(), [](const SourceEntry& e) {
    return e.kind == SourceEntry::Kind::SoundCard;
  });
  if (!anyCard) {
    for (size_t i = 0; i < sources_.size(); ++i) {
      if (sources_[i].kind == SourceEntry::Kind::TestSignal) {
        DeviceBox->setCurrentIndex(static_cast<int>(i));
      }
    }
  }
}

void CorvaneWindow::selectDefaultDevice() { DeviceBox->setCurrentIndex(-1); }

void CorvaneWindow::selectSource(const SourceEntry& entry) {
  for (size_t i = 0; i < sources_.size(); ++i) {
    const SourceEntry& e = sources_[i];
    if (e.kind == entry.kind && e.text == entry.text && e.id == entry.id && e.path == entry.path) {
      DeviceBox->setCurrentIndex(static_cast<int>(i));
      return;
    }
  }
  sources_.push_back(entry);
  DeviceBox->addItem(entry.text);
  DeviceBox->setCurrentIndex(DeviceBox->count() - 1);
}

SourceEntry CorvaneWindow::ChosenSource() const {
  const int index = DeviceBox->currentIndex();
  if (index >= 0 && static_cast<size_t>(index) < sources_.size())
    return sources_[static_cast<size_t>(index)];
  return PlatformDefaultEntry();
}

// ---- START ------------------------------------------------------------------------------

void CorvaneWindow::pressStart() { Start_Click(); }

void CorvaneWindow::setFastMode(bool fast) {
  fast_ = fast;
  // A fast run goes through a file far faster than real time, and a sync per record would
  // take most of its time (an hour of records is 3600 syncs). Its input can be run again,
  // so a record lost to a power cut is not lost for good; in real time each record is still
  // on the disk before the next block is taken.
  log_->writer().SetSyncToDisk(!fast);
}

void CorvaneWindow::Start_Click() {
  if (startPressed_) return;  // once per run
  startPressed_ = true;
  ParameterPanel& p = *panel_;

  // The device is opened first so that a file's own rate can take the place of SRate before
  // anything is derived from the rate; the failure is only reported where the sequence
  // would have opened it.
  const SourceEntry entry = ChosenSource();
  const double requested = ParseLeadingNumber(Std(p.FFTSize->currentText()));
  const int32_t len = OfferedFFTLen(requested);
  std::unique_ptr<BlockSource> source = CreateSource(entry, Leading(p.CF), fast_);
  QString error;
  const bool opened = source && source->open(params_.SampleRate, len, &error);
  if (!source && error.isEmpty()) error = "no such source";
  if (opened && entry.kind == SourceEntry::Kind::WavFile) {
    const double rate = source->actualSampleRate();
    if (rate > 0 && rate != params_.SampleRate) p.SRate->setText(Q(SignSpacedText(rate)));
  }

  // 1 .. 3
  Module1::FFTLen = len;
  if (len != RoundHalfEven32(requested)) p.FFTSize->setEditText(QString::number(len));
  p.FFTSize->hide();
  p.SRate->hide();
  p.Label15->hide();
  p.Label16->hide();
  BinSize->show();
  WindType->show();
  log_->StartLog->setEnabled(true);
  const double rate = params_.SampleRate;
  BinSize->setText(Q(BinSizeText(rate, len)));

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
  spectrum_->setScaleWidth(RoundHalfEven32(0.9 * len) / 2);
  wf_->setupForStart(spectrum_->scaleWidth());
  // Beside the main window where the screen has room, so neither hides the other.
  if (const QScreen* screen = this->screen()) {
    const QRect avail = screen->availableGeometry();
    const QPoint right(frameGeometry().right() + 1, frameGeometry().top());
    if (right.x() + wf_->frameGeometry().width() <= avail.right()) {
      wf_->move(right);
    } else if (frameGeometry().bottom() + wf_->frameGeometry().height() <= avail.bottom()) {
      wf_->move(frameGeometry().left(), frameGeometry().bottom() + 1);
    }
  }
  wf_->show();
  Module1::MakeWindow(WindType->currentIndex());
  WindType->setEnabled(false);
  Start->hide();

  // 10
  if (!opened) {
    if (entry.kind == SourceEntry::Kind::SoundCard) {
      std::fprintf(stderr, "%s: %s\n", kOpenFailure, error.toLocal8Bit().constData());
      ShowMessage(this, kOpenFailure, QMessageBox::Warning);
    } else {
      ShowMessage(this, QString(kOpenFailure) + "\n" + error, QMessageBox::Warning);
    }
    return;
  }

  // 11
  DeviceBox->setPlaceholderText("Default Soundcard");
  DeviceBox->setEnabled(false);
  if (!source->drivesOwnClock()) Timer1->start();  // a fast source ticks by its own time
  captureRunning_ = true;
  CsrLoc->show();
  blockLoop_->start(std::move(source));
}

// ---- The one-second tick ----------------------------------------------------------------

void CorvaneWindow::setClock(std::function<QDateTime()> clock) {
  if (clock) clock_ = std::move(clock);
}

DateTime CorvaneWindow::Now() { return ToDateTime(clock_()); }

void CorvaneWindow::setLogging(bool on) { log_->StartLog->setChecked(on); }

void CorvaneWindow::Timer1_Timer() {
  // A tick that comes while a block waits on a message box runs right after that block.
  if (blockLoop_->inBlock()) {
    deferredTick_->start();
    return;
  }
  deferredTick_->stop();
  const DateTime now = Now();
  setWindowTitle(QString(kCaptionClock) + QString(20, QLatin1Char(' ')) +
                 Q(FormatPattern(now, "yyyy/MM/dd  hh:mm:ss")));
  engine_.TickDrift(Leading(panel_->AVConst));
  ApplyDriftReadout();
  if (log_->RecordDue(captureRunning_)) {
    log_->WriteRecord(now, Module1::FFTLen,
                      {engine_.PeakBin, engine_.LogSignalDb, engine_.NoiseLevelDb,
                       engine_.LogSN1HzDb, engine_.DriftHzPerSec});
    engine_.ResetLogValues();
  }
  log_->AdvanceTick();
}

void CorvaneWindow::ApplyDriftReadout() {
  const Readouts& r = engine_.readouts();
  SetTextIfChanged(Drift, r.Drift);
  if (Drift->isVisibleTo(this) != r.DriftVisible) Drift->setVisible(r.DriftVisible);
}

// ---- Tracking and the plot --------------------------------------------------------------

void CorvaneWindow::TrackSig_Click() {
  engine_.TrackSigClick();
  ApplyDriftReadout();
  // The engine shows the drift read-out from the first click on.
  Drift->show();
}

void CorvaneWindow::CFToPeak_Click() { engine_.CFToPeakClick(); }

void CorvaneWindow::Spectrum_MouseMove(double xBins, double) {
  const double width = spectrum_->scaleWidth();
  if (width == 0 || !std::isfinite(width)) return;
  const auto span = static_cast<int16_t>(panel_->FMax->value() - panel_->FMin->value());
  const auto cursorFreq = static_cast<float>(xBins / width * span);
  CsrLoc->setText(Q(FormatPattern(cursorFreq, "#####.#")) + "Hz");
}

void CorvaneWindow::Spectrum_MouseDown(Qt::MouseButton button, double xBins, double) {
  if (button != Qt::LeftButton) return;
  engine_.SpectrumClick(xBins);
}

// ---- EngineHost -------------------------------------------------------------------------

double CorvaneWindow::SigBWTextHz() { return Leading(panel_->SigBW); }

bool CorvaneWindow::TrackingOn() { return TrackSig->isChecked(); }

void CorvaneWindow::ShowNoiseFailure() { ShowMessage(this, kNoiseFailure); }

void CorvaneWindow::ResetSignalBandwidth() {
  SetValueInRange(panel_->SigBWUD, 100);
  panel_->SigBW->setText("100");
}

void CorvaneWindow::SetCentreFrequencyText(const std::string& text) {
  panel_->CF->setText(Q(text));
}

void CorvaneWindow::PlayAlarmSound() { alarmSound_.PlayAndWait(); }

// ---- BlockLoopHost ----------------------------------------------------------------------

bool CorvaneWindow::SidebandSwapChecked() { return SBswap->isChecked(); }

void CorvaneWindow::ShowInputLevel(double levelDb, bool red) { IPAmplitude->setLevel(levelDb, red); }

void CorvaneWindow::ApplyReadouts(const Readouts& r) {
  SetTextIfChanged(PeakDet, r.PeakDet);
  SetTextIfChanged(SNBin, r.SNBin);
  SetTextIfChanged(SN1Hz, r.SN1Hz);
  SetTextIfChanged(SN2k5Hz, r.SN2k5Hz);
  SetTextIfChanged(ShowNoise, r.ShowNoise);
  SetTextIfChanged(ShowSignal, r.ShowSignal);
  if (SNResults->isVisibleTo(this) != r.SNResultsVisible) SNResults->setVisible(r.SNResultsVisible);
  SetTextIfChanged(CarrStabMsg, r.CarrStabMsg);
  SetColour(CarrStabMsg, r.CarrStabColour);
  ApplyDriftReadout();
  SetTextIfChanged(AlarmVisual, r.AlarmVisual);
  SetColour(AlarmVisual, r.AlarmColour);
  if (r.AlarmVisible && !AlarmVisual->isVisibleTo(this)) AlarmVisual->show();
}

void CorvaneWindow::SourceClockTick() { Timer1_Timer(); }

void CorvaneWindow::SourceFinished() {
  // Not from inside the source's own signal: closing deletes the source.
  QTimer::singleShot(0, this, &QWidget::close);
}

void CorvaneWindow::SourceStatus(const QString& text) {
  SourceStatusLabel->setText(text);
  // Without a screen nobody sees the label; the run may end right after (a file cut short).
  if (HeadlessPlatform()) std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

// ---- Program end ------------------------------------------------------------------------

void CorvaneWindow::WriteIni() {
  SettingsValues v;
  v.sampleRate = params_.SampleRate;
  v.fftLen = Module1::FFTLen;
  v.centreBin = params_.CentreBin;
  v.sigBWBins = params_.SigBWBins;
  v.fMin = panel_->FMin->value();
  v.fMax = panel_->FMax->value();
  v.stabLimitDb = params_.StabLimitDb;
  v.detFrames = params_.DetFrames;
  v.logIntervalSecs = params_.LogIntervalSecs;
  v.logFileName = params_.LogFileName;
  v.histLen = params_.HistLen;
  std::string error;
  if (!WriteSettingsFile(kSettingsFileName, v, &error))
    std::fprintf(stderr, "%s could not be written: %s\n", kSettingsFileName, error.c_str());
}

void CorvaneWindow::closeEvent(QCloseEvent* event) {
  if (!closing_) {
    closing_ = true;
    Timer1->stop();
    deferredTick_->stop();
    blockLoop_->stop();
    WriteIni();
    // Records still held after a failed write get one last chance.
    if (log_->writer().pending() > 0) {
      const AppendResult r = log_->writer().Flush(params_.LogFileName);
      if (!r.ok) std::fprintf(stderr, "%s\n", r.StatusText().c_str());
    }
    wf_->close();
    QApplication::quit();
  }
  event->accept();
}

}  // namespace corvane
