#pragma once
// Blocks read from a 16-bit PCM WAV file at the file's own rate. A file that is truncated
// (its data chunk runs past the end) or holds less than one block is refused at open().
// The partial block at the end of the file is dropped: a block is always whole.

#include <QString>

#include "capture/paced_source.h"
#include "capture/wav_reader.h"

namespace corvane {

class WavFileSource : public PacedSource {
  Q_OBJECT
 public:
  WavFileSource(const QString& path, bool fast, QObject* parent = nullptr);

  // `sampleRate` is ignored: the file's rate is used (actualSampleRate()).
  bool open(double sampleRate, int frames, QString* error) override;
  void close() override;
  qint64 totalFrames() const override { return reader_.frames(); }
  // The file's modification time less its duration: when a recording of it began.
  QDateTime firstFrameTime() const override;

  // The file's rate and length, readable before open() (0 if it does not parse).
  static bool Probe(const QString& path, int* rate, qint64* frames, QString* error);

 private:
  bool fillBlock(int16_t* buffer, int frames) override;

  QString path_;
  WavReader reader_;
};

}  // namespace corvane
