#include "app/ini_startup.h"

#include <QComboBox>
#include <QLineEdit>
#include <QScrollBar>
#include <algorithm>
#include <vector>

#include "app/main_controls.h"
#include "common/numtext.h"
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

}  // namespace

IniStartup::IniStartup(MainControls& controls, MeasurementParams& params)
    : c_(controls), p_(params) {}

int IniStartup::ReadIni() {
  std::vector<std::string> lines;
  const int count = ReadSettingsLines(kSettingsFileName, &lines);
  int applied = 0;
  for (int i = 0; i < count && i < kSettingsLineCount; ++i) {
    if (!ApplyIniLine(i + 1, lines[static_cast<size_t>(i)])) break;
    applied = i + 1;
  }
  return applied;
}

bool IniStartup::ApplyIniLine(int lineNo, const std::string& line) {
  ParameterPanel& p = *c_.panel;
  const double v = SettingsNumber(line);
  const double rate = p_.SampleRate;
  const int32_t len = Module1::FFTLen;
  switch (lineNo) {
    case 1:
      // Read as the design rate at once, so the lines below convert with a usable one.
      p_.SampleRate = UsableSampleRate(v) ? v : ParseLeadingNumber(design::kSRate);
      break;
    case 2:
      Module1::FFTLen = OfferedFFTLen(v);
      p.FFTSize->setEditText(Q(line));
      // A length the list does not offer is shown as the one that will be used.
      if (Module1::FFTLen != RoundHalfEven32(v)) p.FFTSize->setEditText(QString::number(Module1::FFTLen));
      break;
    case 3:
      p_.CentreBin = v;
      p.CF->setText(Q(CentreFreqText(v, rate, len)));
      break;
    case 4:
      p_.SigBWBins = v;
      p.SigBW->setText(Q(SignSpacedText(len > 0 ? (rate * v) / len : 0)));
      break;
    case 5:
    case 6: {
      QScrollBar* bar = lineNo == 5 ? p.FMin : p.FMax;
      if (!SetValueInRange(bar, RoundHalfEven32(v))) return false;
      const double bin = rate > 0 ? (bar->value() / rate) * len : 0;
      (lineNo == 5 ? p_.FMinBin : p_.FMaxBin) = bin;
      break;
    }
    case 7:
      p_.StabLimitDb = v;
      p.StabFactor->setText(Q(SignSpacedText(v)));
      break;
    case 8:
      p_.DetFrames = v;
      p.DetPeriod->setText(Q(PlainText(rate > 0 ? (len * v) / rate : 0)));
      break;
    case 9:
      p_.LogIntervalSecs = v;
      c_.log->LogInterval->setEditText(LogPanel::IntervalText(v));
      break;
    case 10:
      // The name's bytes are kept exactly as read; the box shows them as best it can.
      p_.LogFileName = line;
      c_.log->LogFile->setText(FileNameText(line));
      break;
    case 11:
      p_.HistLen = RoundHalfEven32(v);
      break;
    default:
      return false;
  }
  return true;
}

void IniStartup::ApplyDesignDefaults(int firstMissingLine) {
  ParameterPanel& p = *c_.panel;
  // The conversions below need a rate and a length: a file without them gets the
  // design-time ones.
  if (!UsableSampleRate(p_.SampleRate)) p_.SampleRate = ParseLeadingNumber(design::kSRate);
  if (Module1::FFTLen <= 0) Module1::FFTLen = OfferedFFTLen(ParseLeadingNumber(Std(p.FFTSize->currentText())));
  for (int line = std::max(firstMissingLine, 3); line <= kSettingsLineCount; ++line) {
    switch (line) {
      case 3: p.CF_Change(); break;
      case 4: p.SigBW_Change(); break;
      case 7: p_.StabLimitDb = Leading(p.StabFactor); break;
      case 8: p.DetPeriod_Change(); break;
      case 10: c_.log->LogFile_Change(); break;
      default: break;  // 5, 6, 9, 11: the start-up steps derive them from their controls
    }
  }
}

bool IniStartup::WriteIni(std::string* error) const {
  SettingsValues v;
  v.sampleRate = p_.SampleRate;
  v.fftLen = Module1::FFTLen;
  v.centreBin = p_.CentreBin;
  v.sigBWBins = p_.SigBWBins;
  v.fMin = c_.panel->FMin->value();
  v.fMax = c_.panel->FMax->value();
  v.stabLimitDb = p_.StabLimitDb;
  v.detFrames = p_.DetFrames;
  v.logIntervalSecs = p_.LogIntervalSecs;
  v.logFileName = p_.LogFileName;
  v.histLen = p_.HistLen;
  return WriteSettingsFile(kSettingsFileName, v, error);
}

}  // namespace corvane
