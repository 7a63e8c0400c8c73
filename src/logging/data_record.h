#pragma once
// One row of the data log: the calibrated figures beside the design's record, and the run
// they belong to. The CSV file, the history view and the network publisher all work from
// these two types. An unknown value is empty (std::nullopt), never a made-up number.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace corvane {

struct DataRecord {
  std::string utc;    // ISO 8601 with date and zone: 2026-12-08T18:00:00Z
  std::string local;  // the same second in local time: 2026-12-08T19:00:00
  std::optional<double> freqHz;       // sub-bin carrier frequency
  std::optional<double> cn0DbHz;      // carrier to noise density; empty when not detected
  std::optional<bool> detected;       // the detection test with its stated false-alarm rate
  std::optional<bool> steady;         // the design's "Carrier steady" verdict
  std::optional<double> snr1HzDb;     // the design's S/N in 1 Hz as logged (empty for -99)
  std::optional<double> signalDbfs;   // carrier power, dB below a 16-bit full-scale sine
  std::optional<double> noiseDbfsHz;  // noise density, dBFS per Hz
  std::optional<double> driftHzS;     // least-squares slope of the frequency
  std::optional<double> driftSpanS;   // span the slope was taken over
  std::optional<double> ageS;         // age of the block measured at the record's second
  int64_t droppedBlocks = 0;          // blocks dropped by the capture since START
  std::string source;                 // the input, as listed
};

// What a run was measured with: the data log's "#" lines, written again at every START.
struct RunDescription {
  std::string program;  // "Corvane 0.1"
  std::string source;
  double sampleRate = 0;
  int fftLen = 0;
  std::string window;      // "Blackman Harris"
  double enbwBins = 0;     // the window's equivalent noise bandwidth, bins
  int averaging = 0;       // spectra averaged (HistLen)
  double bandLowHz = 0, bandHighHz = 0;
  double guardBand = 0;    // multiples of the signal bandwidth
  double sigBwHz = 0;
  std::string started;     // UTC, ISO 8601
  // How the calibrated figures were formed.
  std::string input;           // "I/Q" or "mono": what full scale means
  double integrationS = 0;     // time the averaged spectra span
  int calibratedSpectra = 0;   // spectra averaged
  double falseAlarm = 0;       // share of noise-alone decisions that read "detected"
  double driftSpanS = 0;
};

// The data log's columns, in order. The first fourteen are fixed; more may follow.
const std::vector<std::string>& DataRecordColumns();

}  // namespace corvane
