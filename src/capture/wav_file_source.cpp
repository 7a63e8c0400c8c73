#include "capture/wav_file_source.h"

#include <QFile>
#include <QFileInfo>
#include <cmath>

#include "settings/parameters.h"

namespace corvane {

namespace {

// A rate no sound card delivers would be drawn, measured and saved as the settings' rate,
// and the next live run would start from it.
QString RateProblem(int rate) {
  if (UsableSampleRate(rate)) return {};
  return QStringLiteral("sampling rate %1 Hz is outside 1 .. %2 Hz, what a sound card delivers")
      .arg(rate)
      .arg(kMaxSampleRate);
}

}  // namespace

WavFileSource::WavFileSource(const QString& path, bool fast, QObject* parent)
    : PacedSource(fast, parent), path_(path) {}

bool WavFileSource::Probe(const QString& path, int* rate, qint64* frames, QString* error) {
  WavReader reader;
  if (!reader.Open(QFile::encodeName(path).toStdString())) {
    if (error) *error = QString::fromStdString(reader.error());
    return false;
  }
  if (reader.truncated()) {
    if (error) {
      *error = QStringLiteral("truncated file: the data chunk declares %1 frames, %2 are present")
                   .arg(reader.declaredFrames())
                   .arg(reader.frames());
    }
    return false;
  }
  if (const QString problem = RateProblem(reader.sampleRate()); !problem.isEmpty()) {
    if (error) *error = problem;
    return false;
  }
  if (rate) *rate = reader.sampleRate();
  if (frames) *frames = reader.frames();
  return true;
}

bool WavFileSource::open(double /*sampleRate*/, int frames, QString* error) {
  close();
  auto fail = [&](const QString& why) {
    if (error) *error = path_ + QStringLiteral(": ") + why;
    reader_.Close();
    return false;
  };
  if (frames <= 0) return fail(QStringLiteral("invalid block length"));
  if (!reader_.Open(QFile::encodeName(path_).toStdString())) {
    return fail(QString::fromStdString(reader_.error()));
  }
  if (reader_.truncated()) {
    return fail(QStringLiteral("truncated file: the data chunk declares %1 frames, %2 are present")
                    .arg(reader_.declaredFrames())
                    .arg(reader_.frames()));
  }
  if (const QString problem = RateProblem(reader_.sampleRate()); !problem.isEmpty()) {
    return fail(problem);
  }
  if (reader_.frames() < frames) {
    return fail(QStringLiteral("the file holds %1 frames, less than one block of %2")
                    .arg(reader_.frames())
                    .arg(frames));
  }
  startPacing(reader_.sampleRate(), frames);
  return true;
}

QDateTime WavFileSource::firstFrameTime() const {
  const double rate = actualSampleRate();
  if (!(rate > 0)) return {};
  const auto ms = static_cast<qint64>(std::llround(1000.0 * static_cast<double>(totalFrames()) / rate));
  return QFileInfo(path_).lastModified().addMSecs(-ms);
}

void WavFileSource::close() {
  PacedSource::close();
  reader_.Close();
}

bool WavFileSource::fillBlock(int16_t* buffer, int frames) {
  if (reader_.frames() - reader_.position() < frames) return false;
  const int64_t got = reader_.ReadFrames(buffer, frames);
  if (got < frames) {
    emit statusChanged(QStringLiteral("WAV file ended early (it was cut short while being "
                                      "read): %1 frames read")
                           .arg(reader_.position()));
    return false;
  }
  return true;
}

}  // namespace corvane
