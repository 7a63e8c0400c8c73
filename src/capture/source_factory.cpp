#include "capture/source_factory.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QFileInfo>
#include <QMediaDevices>

#include "capture/audio_capture_source.h"
#include "capture/test_signal_source.h"
#include "capture/audio_file_source.h"

namespace corvane {

namespace {

SourceEntry CardEntry(const QAudioDevice& d) {
  SourceEntry e;
  e.kind = SourceEntry::Kind::SoundCard;
  e.text = d.description();
  e.id = d.id();
  return e;
}

SourceEntry TestEntry() {
  SourceEntry e;
  e.kind = SourceEntry::Kind::TestSignal;
  e.text = QString::fromLatin1(kTestSignalText);
  return e;
}

}  // namespace

std::vector<SourceEntry> ListSources() {
  // The capability test is 16-bit stereo at 11025 Hz, the classic sign of a stereo card.
  QAudioFormat probe;
  probe.setSampleRate(11025);
  probe.setChannelCount(2);
  probe.setSampleFormat(QAudioFormat::Int16);
  std::vector<SourceEntry> list;
  for (const QAudioDevice& d : QMediaDevices::audioInputs()) {
    if (d.isFormatSupported(probe)) list.push_back(CardEntry(d));
  }
  list.push_back(TestEntry());
  return list;
}

SourceEntry DefaultSource() {
  const QList<QAudioDevice> inputs = QMediaDevices::audioInputs();
  for (const QAudioDevice& d : inputs) {
    if (d.isDefault()) return CardEntry(d);
  }
  const QAudioDevice def = QMediaDevices::defaultAudioInput();
  if (!def.isNull()) return CardEntry(def);
  if (!inputs.isEmpty()) return CardEntry(inputs.first());
  return TestEntry();
}

SourceEntry WavFileEntry(const QString& path) {
  SourceEntry e;
  e.kind = SourceEntry::Kind::WavFile;
  e.text = QStringLiteral("Audio file: ") + QFileInfo(path).fileName();
  e.path = path;
  return e;
}

bool IsAudioFileName(const QString& path) {
  static const QStringList kSuffixes = {"wav", "flac", "aif", "aiff", "aifc", "w64", "rf64"};
  return kSuffixes.contains(QFileInfo(path).suffix(), Qt::CaseInsensitive);
}

SourceEntry PlatformDefaultEntry() {
  SourceEntry e;
  e.kind = SourceEntry::Kind::SoundCard;
  e.text = QStringLiteral("Default Soundcard");
  return e;  // an empty id opens the default input
}

std::unique_ptr<BlockSource> CreateSource(const SourceEntry& entry, double centreHz, bool fast) {
  switch (entry.kind) {
    case SourceEntry::Kind::SoundCard:
      return std::make_unique<AudioCaptureSource>(entry.id);
    case SourceEntry::Kind::TestSignal:
      return std::make_unique<TestSignalSource>(centreHz, fast);
    case SourceEntry::Kind::WavFile:
      return std::make_unique<AudioFileSource>(entry.path, fast);
  }
  return nullptr;
}

}  // namespace corvane
