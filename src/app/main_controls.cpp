#include "app/main_controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDockWidget>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "app/level_meter.h"
#include "app/level_scale.h"
#include "app/panel_box.h"
#include "display/band_plot.h"
#include "display/plot_with_axes.h"
#include "display/waterfall_window.h"
#include "logging/data_log_panel.h"
#include "logging/log_panel.h"
#include "settings/parameter_panel.h"
#include "settings/updown_bar.h"
#include "settings/updown_keys.h"
#include "app/tool_tips.h"

namespace corvane {
namespace {

QLabel* MakeLabel(const QString& name, const QString& text, QWidget* parent) {
  auto* l = new QLabel(text, parent);
  l->setObjectName(name);
  return l;
}

}  // namespace

void SetLabelColour(QLabel* label, const Rgb& c) {
  const QString sheet = QString("color: rgb(%1, %2, %3);").arg(c.r).arg(c.g).arg(c.b);
  if (label->styleSheet() != sheet) label->setStyleSheet(sheet);
}

MainControls::MainControls(QMainWindow* window, MeasurementParams& params) {
  Build(window, params);
  LayOut(window);
  SetToolTips(*this);
}

void MainControls::Build(QMainWindow* window, MeasurementParams& params) {
  auto* central = new QWidget(window);
  central->setObjectName("CentralWidget");
  window->setCentralWidget(central);

  panel = new ParameterPanel(params, central);
  log = new LogPanel(params, central);
  dataLog = new DataLogPanel(params, central);

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
  SourceStatus = MakeLabel("SourceStatus", "", central);
  SourceStatus->setStyleSheet("color: rgb(160, 0, 0);");
  SourceStatus->setWordWrap(true);
  RecordInput = new QCheckBox("Record the input", central);
  RecordInput->setObjectName("RecordInput");

  TrackSig = new QCheckBox("Auto Track FrequencyPeak", central);
  TrackSig->setObjectName("TrackSig");
  CFToPeak = new QPushButton("Centre Freq to Peak", central);
  CFToPeak->setObjectName("CFToPeak");

  SNResults = new PanelBox("Signal / Noise", central);
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
  Calibrated = new PanelBox("Calibrated", central);
  Calibrated->setObjectName("Calibrated");
  Calibrated->setToolTip("Figures calibrated against the noise density and full scale, averaged "
                         "over 20 s; the data log (CSV) holds them with every record");
  CN0 = makeSn("CN0");
  CN0->setParent(Calibrated);
  CarrierFreq = makeSn("CarrierFreq");
  CarrierFreq->setParent(Calibrated);
  CarrierDrift = makeSn("CarrierDrift");
  CarrierDrift->setParent(Calibrated);
  for (QLabel* l : {CN0, CarrierFreq, CarrierDrift}) l->setText(QString());
  CN0->setToolTip("Carrier to noise density, dB-Hz; \"not detected\" below the detection "
                  "threshold (0.1% false alarms on noise alone)");
  CarrierFreq->setToolTip("Carrier frequency, interpolated between bins");
  CarrierDrift->setToolTip("Least-squares slope of the frequency over the last 60 s, Hz/s");
  SetLabelColour(ShowNoise, {128, 64, 0});
  SetLabelColour(ShowSignal, {128, 64, 0});

  Spectrum = new BandPlot(central);
  CsrLoc = MakeLabel("CsrLoc", "", central);
  PeakDet = MakeLabel("PeakDet", "", central);
  CarrStabMsg = MakeLabel("CarrStabMsg", "Carrier Stability", central);
  Drift = MakeLabel("Drift", "Carrier Drift", central);
  SetLabelColour(Drift, {192, 0, 0});
  Drift->hide();
  AlarmVisual = MakeLabel("AlarmVisual", "", central);
  AlarmVisual->setStyleSheet("font-weight: bold;");
  IPAmplitude = new LevelMeter(central);
  SpectrumAxes = new PlotWithAxes(Spectrum, central);
  IPAmplitudeScale = new LevelScale(IPAmplitude, central);

  WF = new WaterfallWindow;
}

void MainControls::LayOut(QMainWindow* window) {
  QWidget* central = window->centralWidget();
  ParameterPanel& p = *panel;

  // Left column: source, setup and the parameters.
  auto* sourceRow = new QHBoxLayout;
  sourceRow->addWidget(DeviceBox, 1);
  sourceRow->addWidget(Start);
  auto* sourceBox = new QVBoxLayout;
  sourceBox->addLayout(sourceRow);
  sourceBox->addWidget(SBswap);

  auto* setup = new PanelBox("Setup", central);
  setup->setObjectName("SetupGroup");
  auto* setupGrid = new QGridLayout(setup);
  setupGrid->addWidget(p.Label16, 0, 0);
  setupGrid->addWidget(p.SRate, 0, 1);
  setupGrid->addWidget(p.Label15, 0, 2);
  setupGrid->addWidget(p.FFTSize, 0, 3);
  setupGrid->addWidget(WindType, 1, 0, 1, 4);
  setupGrid->addWidget(BinSize, 2, 0, 1, 4);
  setupGrid->addWidget(SourceStatus, 3, 0, 1, 4);
  setupGrid->addWidget(RecordInput, 4, 0, 1, 4);
  setupGrid->setColumnStretch(1, 1);
  setupGrid->setColumnStretch(3, 1);

  auto* freq = new PanelBox("Frequency Parameters", central);
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
  for (auto [edit, bar] : {std::pair<QLineEdit*, QScrollBar*>{p.CF, p.CFUD}, {p.SigBW, p.SigBWUD},
                           {p.DetPeriod, p.DetPeriodUD}, {p.StabFactor, p.StabFactUD},
                           {p.Hist, p.HistUD}, {p.AlarmThresh, p.AlarmThreshUD},
                           {p.AVConst, p.AvConstUD}})
    AttachUpDownKeys(edit, bar);
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
  plotRow->addWidget(IPAmplitudeScale);
  plotRow->addWidget(IPAmplitude);
  plotRow->addWidget(SpectrumAxes, 1);

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

  auto* logging = new PanelBox("Logging", central);
  logging->setObjectName("LoggingGroup");
  LogPanel& lp = *log;
  auto* logGrid = new QGridLayout(logging);
  logGrid->addWidget(lp.IntervalLabel, 0, 0);
  logGrid->addWidget(lp.LogFileLabel, 0, 1);
  logGrid->addWidget(lp.LogInterval, 1, 0);
  logGrid->addWidget(lp.LogFile, 1, 1);
  logGrid->addWidget(lp.StartLog, 2, 0);
  logGrid->addWidget(lp.LogMsg, 2, 1);
  logGrid->addWidget(dataLog->DataLogOn, 3, 0);
  logGrid->addWidget(dataLog->DataLogFile, 3, 1);
  logGrid->setColumnStretch(1, 1);
  logGrid->setRowStretch(4, 1);
  logging->setMinimumWidth(220);

  auto* general = new PanelBox("General Info", central);
  general->setObjectName("GeneralInfoGroup");
  auto* generalBox = new QVBoxLayout(general);
  generalBox->addWidget(lp.GenInfo);
  lp.GenInfo->setMinimumHeight(60);
  // A whole record fits where the window has room (General Info takes what the row gains);
  // on a small screen the records scroll sideways rather than push the window past it.
  lp.GenInfo->setMinimumWidth(
      lp.GenInfo->fontMetrics().horizontalAdvance(QString(16, QLatin1Char('0'))) + 30);

  // The results and logging row keeps its height; the plot takes what the window gains.
  auto* bottomRow = new QWidget(central);
  bottomRow->setObjectName("BottomRow");
  bottomRow->setFixedHeight(170);
  auto* bottom = new QHBoxLayout(bottomRow);
  bottom->setContentsMargins(0, 0, 0, 0);
  auto* calibratedBox = new QVBoxLayout(Calibrated);
  calibratedBox->setSpacing(1);
  for (QLabel* l : {CN0, CarrierFreq, CarrierDrift}) calibratedBox->addWidget(l);
  calibratedBox->addStretch(1);
  const int calWidth = CN0->fontMetrics().horizontalAdvance("C/N0  not detected  ");
  for (QLabel* l : {CN0, CarrierFreq, CarrierDrift})
    l->setFixedSize(calWidth, l->sizeHint().height());
  bottom->addWidget(SNResults);
  bottom->addWidget(Calibrated);
  bottom->addWidget(logging);
  bottom->addWidget(general, 1);
  // Out of band the frame is hidden; its place stays so the row does not jump.
  QSizePolicy snPolicy = SNResults->sizePolicy();
  snPolicy.setRetainSizeWhenHidden(true);
  SNResults->setSizePolicy(snPolicy);

  // The plot and its read-outs are the centre of a main window of their own inside the right
  // column, so that the waterfall docks right under the plot rather than under the whole
  // window, and floats as a window of its own.
  PlotArea = new QMainWindow(central);
  PlotArea->setWindowFlags(Qt::Widget);  // its constructor makes it a window of its own
  PlotArea->setObjectName("PlotArea");
  PlotArea->setDockOptions(QMainWindow::AnimatedDocks);
  auto* plotCentral = new QWidget(PlotArea);
  plotCentral->setObjectName("PlotCentral");
  auto* plotBox = new QVBoxLayout(plotCentral);
  plotBox->setContentsMargins(0, 0, 0, 0);
  plotBox->setSpacing(2);
  plotBox->addLayout(plotRow, 1);
  plotBox->addLayout(readRow);
  PlotArea->setCentralWidget(plotCentral);
  WFDock = new QDockWidget(WF->windowTitle(), PlotArea);
  WFDock->setObjectName("WaterfallDock");
  WFDock->setAllowedAreas(Qt::TopDockWidgetArea | Qt::BottomDockWidgetArea);
  WFDock->setWidget(WF);
  PlotArea->addDockWidget(Qt::BottomDockWidgetArea, WFDock);

  auto* right = new QVBoxLayout;
  right->addLayout(statusRow);
  right->addWidget(PlotArea, 1);
  right->addWidget(bottomRow);

  auto* top = new QHBoxLayout(central);
  top->addLayout(left);
  top->addLayout(right, 1);

  window->resize(std::max(1180, window->sizeHint().width()),
                 std::max(760, window->sizeHint().height()));
}

}  // namespace corvane
