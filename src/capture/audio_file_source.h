#pragma once
// Blocks read from an audio file (WAV, RF64, W64, FLAC, AIFF; see AudioFileReader) at the
// file's own rate. A file that holds less than one block is refused at open(). The partial
// block at the end of the file is dropped: a block is always whole.

#include <QDateTime>
#include <QString>

#include "capture/audio_file_reader.h"
#include "capture/paced_source.h"

namespace corvane {

class AudioFileSource : public PacedSource {
  Q_OBJECT
 public:
  AudioFileSource(const QString& path, bool fast, QObject* parent = nullptr);

  // `sampleRate` is ignored: the file's rate is used (actualSampleRate()).
  bool open(double sampleRate, int frames, QString* error) override;
  void close() override;

  qint64 totalFrames() const override { return total_; }
  int channels() const override { return reader_.channels(); }
  // A recording named by its UTC start: that time. Any other file: its modification time
  // less its duration. Invalid before open().
  QDateTime firstFrameTime() const override { return firstFrame_; }

 private:
  bool fillBlock(int16_t* buffer, int frames) override;
  void holdInput(bool on) override { reader_.HoldLength(on); }

  QString path_;
  AudioFileReader reader_;
  qint64 total_ = -1;
  QDateTime firstFrame_;
};

}  // namespace corvane
