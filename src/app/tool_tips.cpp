#include "app/tool_tips.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <utility>

#include "app/level_meter.h"
#include "app/level_scale.h"
#include "app/main_controls.h"
#include "display/band_plot.h"
#include "display/plot_with_axes.h"
#include "logging/log_panel.h"
#include "settings/parameter_panel.h"
#include "settings/updown_bar.h"

namespace corvane {

void SetToolTips(MainControls& c) {
  ParameterPanel& p = *c.panel;
  LogPanel& log = *c.log;
  const std::pair<QWidget*, const char*> tips[] = {
      {c.DeviceBox,
       "The input: a sound card (16-bit; left = I, right = Q, or one channel on the left), an "
       "audio file or the simulated beacon. No entry chosen: the default input"},
      {c.SBswap,
       "Which sideband of an I/Q input lands in the displayed band; no effect on a mono input"},
      {c.Start,
       "START: fixes the sampling rate, FFT length and window and starts the capture. "
       "Reads STOP while capture runs"},
      {p.SRate, "Sampling rate, Hz (1 to 384000); fixed while capture runs"},
      {p.FFTSize,
       "FFT length, points (1024 to 32768): a bin is rate / length Hz wide and a block lasts "
       "length / rate s. A length typed here takes effect at START"},
      {c.WindType,
       "FFT window: Hamming, Blackman Harris (-67 dB side lobes), Hanning, or none (0.5)"},
      {c.BinSize, "The sampling rate and the width of one FFT bin"},
      {p.CF,
       "Centre frequency, Hz: where the carrier is expected. A peak within half the signal "
       "bandwidth of it counts as the carrier"},
      {p.CFUD, "Centre frequency, Hz (1 to 3000): steps of one bin in whole Hz"},
      {p.SigBW, "Signal bandwidth, Hz (1 to 999): the band around the peak summed as signal"},
      {p.SigBWUD, "Signal bandwidth, Hz (0 to 1000): arrows 10 Hz, page 100 Hz"},
      {p.DetPeriod,
       "Stable detection period, s: the carrier must stay steady this long; it becomes a "
       "whole number of FFT frames"},
      {p.DetPeriodUD, "Stable detection period, whole seconds (1 to 20)"},
      {p.StabFactor,
       "Carrier stability limit, dB: steady when 10 log10(mean / spread) of the signal power "
       "over the period exceeds it"},
      {p.StabFactUD, "Carrier stability limit, dB (4 to 20)"},
      {p.Hist,
       "Spectra averaged, FFT frames (2 to 64): follows the detection period until set here"},
      {p.HistUD, "Spectra averaged, FFT frames (2 to 64)"},
      {p.AlarmThresh,
       "Alarm threshold, dB S/N in 1 Hz: above it \"Big Signal\" shows with the time and "
       "ding.WAV plays once"},
      {p.AlarmThreshUD, "Alarm threshold, dB (2 to 50); stepping it arms the alarm again"},
      {p.AVConst,
       "Drift averaging factor N: the drift read-out moves 1/N of the way to each second's "
       "step (below 1 counts as 1)"},
      {p.AvConstUD, "Drift averaging factor (2 to 20)"},
      {p.GB,
       "Noise guard band, multiples of the signal bandwidth (0.0 to 2.0): bins this far "
       "beyond the signal band are not counted as noise"},
      {p.FBand, "The band searched and drawn, Hz"},
      {p.FMin, "Lower edge of the band searched and drawn, Hz (20 to 4962)"},
      {p.FMax, "Upper edge of the band searched and drawn, Hz (20 to 0.45 x the sampling rate)"},
      {c.TrackSig,
       "The centre frequency follows the peak while the carrier is in band; the first click "
       "shows the drift read-out"},
      {c.CFToPeak, "Sets the centre frequency to the peak, once"},
      {c.Spectrum,
       "The band's averaged spectrum: the pointer reads the frequency under it, a left click "
       "sets the centre frequency there"},
      {c.IPAmplitude, "Input level: the block's largest sample, red above 10 000"},
      {c.IPAmplitudeScale,
       "Input level in dBFS: 0 is a 16-bit full-scale peak; the meter's top, a peak of "
       "10 000, is -10.3 dBFS"},
      {c.SpectrumAxes,
       "Frequency in Hz along the bottom; level up the side in dB as the Noise and Signal "
       "read-outs give it (raw power per bin less 50)"},
      {c.ShowSignal, "Signal level over the signal band, dB of raw power per bin less 50"},
      {c.ShowNoise, "Noise level per bin beyond the guard band, dB of raw power less 50"},
      {c.SNBin, "S/N of the signal band over the noise of one bin, dB"},
      {c.SN1Hz,
       "S/N in 1 Hz, dB: the signal band's power (noise in it included) over the noise in "
       "1 Hz. The calibrated C/N0 beside it leaves the noise out"},
      {c.SN2k5Hz, "S/N in 2500 Hz: the S/N in 1 Hz less 33.98 dB"},
      {c.PeakDet, "Frequency of the strongest bin in the band, whole Hz"},
      {c.CsrLoc, "Frequency under the pointer: a left click sets the centre frequency there"},
      {c.CarrStabMsg,
       "Steady when the signal power held within the stability limit over the detection "
       "period; only a steady carrier's level and S/N are logged"},
      {c.Drift, "Drift of the centre frequency, Hz/s, smoothed by the averaging factor"},
      {c.AlarmVisual, "Time of the last alarm; black while the S/N stays above the threshold"},
      {log.LogInterval, "Time between records: No Log, or 1 s to 2 h"},
      {log.LogFile,
       "The log's file name, relative to the current folder; the CSV data log goes beside it"},
      {log.StartLog, "Starts or stops the records"},
      {log.GenInfo, "Every record written, newest first, and the station's notices with their time"},
  };
  for (const auto& [widget, text] : tips) widget->setToolTip(QString::fromUtf8(text));
}

}  // namespace corvane
