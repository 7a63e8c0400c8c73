#include "capture/audio_file_source.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <vector>

#include "capture/recording_name.h"

namespace corvane {

AudioFileSource::AudioFileSource(const QString& path, bool fast, QObject* parent)
    : PacedSource(fast, parent), path_(path) {}

bool AudioFileSource::open(double /*sampleRate*/, int frames, QString* error) {
  close();
  auto fail = [&](const QString& why) {
    if (error) *error = path_ + QStringLiteral(": ") + why;
    reader_.Close();
    return false;
  };
  if (frames <= 0) return fail(QStringLiteral("invalid block length"));
  const std::string path = QFile::encodeName(path_).toStdString();
  if (!reader_.Open(path)) return fail(QString::fromStdString(reader_.error()));
  if (reader_.frames() < frames) {
    return fail(QStringLiteral("the file holds %1 frames, less than one block of %2")
                    .arg(reader_.frames())
                    .arg(frames));
  }
  total_ = reader_.frames();
  int64_t startUtc = 0;
  int64_t passOver = 0;
  if (ParseRecordingFileName(path, &startUtc)) {
    firstFrame_ = QDateTime::fromSecsSinceEpoch(startUtc, Qt::UTC);
    // The live run's blocks began this far in: the replay cuts them at the same frames.
    if (ParseBlockOffsetComment(reader_.comment(), &passOver) &&
        passOver <= total_ - frames) {
      std::vector<int16_t> scratch(2 * static_cast<size_t>(std::min<int64_t>(passOver, 65536)));
      for (int64_t left = passOver; left > 0;) {
        const int64_t n = std::min<int64_t>(left, 65536);
        if (reader_.ReadFrames(scratch.data(), n) != n) {
          return fail(QStringLiteral("unreadable at frame %1").arg(reader_.position()));
        }
        left -= n;
      }
    } else {
      passOver = 0;
    }
  } else {
    firstFrame_ = QFileInfo(path_).lastModified().addMSecs(
        -std::llround(1000.0 * static_cast<double>(total_) / reader_.sampleRate()));
  }
  startPacing(reader_.sampleRate(), frames, passOver);
  return true;
}

void AudioFileSource::close() {
  PacedSource::close();
  reader_.Close();
  total_ = -1;
  firstFrame_ = QDateTime();
}

bool AudioFileSource::fillBlock(int16_t* buffer, int frames) {
  if (reader_.frames() - reader_.position() < frames) return false;
  const int64_t got = reader_.ReadFrames(buffer, frames);
  if (got < frames) {
    emit statusChanged(QStringLiteral("Audio file ended early (it was cut short or damaged "
                                      "while being read): %1 frames read")
                           .arg(reader_.position()));
    return false;
  }
  return true;
}

}  // namespace corvane
