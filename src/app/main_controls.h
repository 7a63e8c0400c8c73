#pragma once
// The main window's own controls, named as in its design, and their places: the source and
// START, the setup group, the parameters, the plot with its read-outs, the results, logging
// and General Info. The window builds them once and handles their events.

#include "settings/parameters.h"

class QCheckBox;
class QComboBox;
class QDockWidget;
class QGroupBox;
class QLabel;
class QMainWindow;
class QPushButton;

namespace corvane {

class BandPlot;
class DataLogPanel;
class LevelMeter;
class LevelScale;
class LogPanel;
class ParameterPanel;
class PlotWithAxes;
class WaterfallWindow;

struct MainControls {
  // Builds every control into `window` (its central widget and layout).
  MainControls(QMainWindow* window, MeasurementParams& params);

  ParameterPanel* panel = nullptr;
  LogPanel* log = nullptr;
  DataLogPanel* dataLog = nullptr;
  BandPlot* Spectrum = nullptr;
  WaterfallWindow* WF = nullptr;
  // The plot with its read-outs, and the waterfall docked under it (or floated).
  QMainWindow* PlotArea = nullptr;
  QDockWidget* WFDock = nullptr;

  QComboBox* DeviceBox = nullptr;
  QCheckBox* SBswap = nullptr;
  QPushButton* Start = nullptr;
  QComboBox* WindType = nullptr;
  QLabel* BinSize = nullptr;
  QLabel* SourceStatus = nullptr;
  QCheckBox* RecordInput = nullptr;
  QCheckBox* TrackSig = nullptr;
  QPushButton* CFToPeak = nullptr;
  QGroupBox* SNResults = nullptr;
  QLabel* SNBin = nullptr;
  QLabel* SN1Hz = nullptr;
  QLabel* SN2k5Hz = nullptr;
  QLabel* ShowNoise = nullptr;
  QLabel* ShowSignal = nullptr;
  // The calibrated figures beside the design's read-outs.
  QGroupBox* Calibrated = nullptr;
  QLabel* CN0 = nullptr;
  QLabel* CarrierFreq = nullptr;
  QLabel* CarrierDrift = nullptr;
  QLabel* CsrLoc = nullptr;
  QLabel* PeakDet = nullptr;
  QLabel* CarrStabMsg = nullptr;
  QLabel* Drift = nullptr;
  QLabel* AlarmVisual = nullptr;
  LevelMeter* IPAmplitude = nullptr;
  // Beside the design's plot and meter: their axes and scale.
  PlotWithAxes* SpectrumAxes = nullptr;
  LevelScale* IPAmplitudeScale = nullptr;

 private:
  void Build(QMainWindow* window, MeasurementParams& params);
  void LayOut(QMainWindow* window);
};

// Text colour of a label through its style sheet, set only when it changes.
void SetLabelColour(QLabel* label, const Rgb& colour);

}  // namespace corvane
