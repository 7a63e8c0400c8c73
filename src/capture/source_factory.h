#pragma once
// The entries of `DeviceBox` and the sources behind them. List positions are paired with
// sources through this table, never by list index = device number.

#include <QString>
#include <memory>
#include <vector>

#include "capture/block_source.h"

namespace corvane {

struct SourceEntry {
  enum class Kind { SoundCard, TestSignal, WavFile };
  Kind kind = Kind::SoundCard;
  QString text;      // as listed in DeviceBox
  QByteArray id;     // the sound card's device id, empty for the others
  QString path;      // the audio file
};

inline constexpr const char* kTestSignalText = "Test signal (simulated beacon)";

// InitDevices: every capture device that takes 16-bit stereo, in the platform's order, then
// our own sources.
std::vector<SourceEntry> ListSources();
// The platform's default input (or the first one when it names none); kind TestSignal when
// the machine has no capture device at all.
SourceEntry DefaultSource();
SourceEntry WavFileEntry(const QString& path);
// A name that says it is an audio file we read: .wav, .flac, .aif, .aiff, .aifc, .w64, .rf64.
bool IsAudioFileName(const QString& path);
// No entry selected: the platform's default input (or its first), whatever it is at START.
SourceEntry PlatformDefaultEntry();

// `centreHz` steers the simulated beacon. `fast`: a file or the test signal is read back to
// back, as fast as blocks are processed, and drives its own clock.
std::unique_ptr<BlockSource> CreateSource(const SourceEntry& entry, double centreHz, bool fast);

}  // namespace corvane
