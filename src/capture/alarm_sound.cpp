#include "capture/alarm_sound.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include <pulse/pulseaudio.h>

#include "capture/audio_file_reader.h"

#include <functional>

namespace corvane {

// One play, shared between the caller, who may give up waiting, and the output thread,
// which may still be stuck in the audio system when the caller has gone on.
struct AlarmSound::Playback {
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;
  bool abandoned = false;
  bool played = false;
  QString failure;
};

namespace {

// Plays through the audio server's default output with libpulse on a main loop of our own,
// stepped at most 10 ms at a time, so a server that stops answering or the caller giving up
// ends the play. Qt's audio sink was not used here: when the server went away in the middle
// of an alarm, its stream callback ran on a destroyed sink and took the program down.
class PulsePlayer {
 public:
  PulsePlayer() : loop_(pa_mainloop_new()) {}
  ~PulsePlayer() {
    if (stream_) {
      pa_stream_disconnect(stream_);
      pa_stream_unref(stream_);
    }
    if (context_) {
      pa_context_disconnect(context_);
      pa_context_unref(context_);
    }
    if (loop_) pa_mainloop_free(loop_);
  }
  PulsePlayer(const PulsePlayer&) = delete;
  PulsePlayer& operator=(const PulsePlayer&) = delete;

  // Runs the loop until `done` or `stop` holds or the loop fails; true when `done` held.
  template <class Done, class Stop>
  bool RunUntil(Done done, Stop stop) {
    while (!done()) {
      if (stop() || pa_mainloop_prepare(loop_, 10000) < 0 || pa_mainloop_poll(loop_) < 0 ||
          pa_mainloop_dispatch(loop_) < 0) {
        return false;
      }
    }
    return true;
  }

  template <class Stop>
  bool Connect(const pa_sample_spec& sampleFormat, Stop stop, QString* failure) {
    if (!loop_) return Fail("the audio library did not start", failure);
    context_ = pa_context_new(pa_mainloop_get_api(loop_), "Corvane");
    // Never a server of our own: the machine's, or none.
    if (!context_ || pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
      return Fail("no audio output", failure);
    const bool ready = RunUntil(
        [this] {
          const pa_context_state_t st = pa_context_get_state(context_);
          return st == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(st);
        },
        stop);
    if (!ready || pa_context_get_state(context_) != PA_CONTEXT_READY)
      return Fail(ready ? "no audio output" : "the audio output answered too late", failure);
    stream_ = pa_stream_new(context_, "Alarm", &sampleFormat, nullptr);
    if (!stream_ || pa_stream_connect_playback(stream_, nullptr, nullptr, PA_STREAM_NOFLAGS,
                                               nullptr, nullptr) < 0)
      return Fail("the audio output did not open", failure);
    const bool open = RunUntil(
        [this] {
          const pa_stream_state_t st = pa_stream_get_state(stream_);
          return st == PA_STREAM_READY || !PA_STREAM_IS_GOOD(st);
        },
        stop);
    if (!open || pa_stream_get_state(stream_) != PA_STREAM_READY)
      return Fail(open ? "the audio output did not open" : "the audio output answered too late",
                  failure);
    return true;
  }

  template <class Stop>
  bool Play(const char* data, size_t total, Stop stop) {
    size_t written = 0;
    const bool all = RunUntil(
        [&] {
          if (written == total) return true;
          const size_t room = std::min(pa_stream_writable_size(stream_), total - written);
          if (room > 0 && room != static_cast<size_t>(-1) &&
              pa_stream_write(stream_, data + written, room, nullptr, 0, PA_SEEK_RELATIVE) == 0)
            written += room;
          return written == total;
        },
        [&] { return stop() || !PA_STREAM_IS_GOOD(pa_stream_get_state(stream_)); });
    if (!all) return false;
    // The end: what the server still holds has played.
    pa_operation* drain = pa_stream_drain(stream_, nullptr, nullptr);
    if (!drain) return true;
    RunUntil([drain] { return pa_operation_get_state(drain) != PA_OPERATION_RUNNING; },
             [&] { return stop() || !PA_STREAM_IS_GOOD(pa_stream_get_state(stream_)); });
    pa_operation_cancel(drain);
    pa_operation_unref(drain);
    return true;
  }

 private:
  static bool Fail(const char* why, QString* failure) {
    *failure = QString::fromUtf8(why);
    return false;
  }
  pa_mainloop* loop_;
  pa_context* context_ = nullptr;
  pa_stream* stream_ = nullptr;
};

// Returns how it went in `failure` (empty when it played).
bool PlayOnOutput(const std::vector<int16_t>& samples, int rate, int channels,
                  qint64 limitMs, const std::function<bool()>& abandoned, QString* failure) {
  pa_sample_spec sampleFormat;
  sampleFormat.format = PA_SAMPLE_S16NE;
  sampleFormat.rate = rate > 0 ? static_cast<uint32_t>(rate) : 0;
  sampleFormat.channels = static_cast<uint8_t>(std::clamp(channels, 0, 255));
  if (!pa_sample_spec_valid(&sampleFormat)) {
    *failure = QStringLiteral("the alarm's format cannot be played");
    return false;
  }
  QElapsedTimer clock;
  clock.start();
  auto stop = [&] { return clock.elapsed() >= limitMs || abandoned(); };
  // Said the same way whether this thread or the waiting caller saw the time run out.
  auto late = [&] {
    *failure = QStringLiteral("the audio output did not answer within %1 ms").arg(limitMs);
    return false;
  };
  PulsePlayer player;
  if (!player.Connect(sampleFormat, stop, failure)) return stop() ? late() : false;
  const bool played = player.Play(reinterpret_cast<const char*>(samples.data()),
                                  samples.size() * sizeof(int16_t), stop);
  if (!played) {
    if (stop()) return late();
    *failure = QStringLiteral("the audio output stopped playing");
  }
  return played;
}

}  // namespace

AlarmSound::AlarmSound(QString fileName) : fileName_(std::move(fileName)) {}

AlarmSound::~AlarmSound() {
  if (!thread_) return;
  thread_->quit();
  // A thread still stuck in an audio system that does not answer is left to the process's
  // end rather than holding the window's close.
  if (!thread_->wait(1000)) {
    thread_->setParent(nullptr);
    (void)thread_.release();
  }
}

QString AlarmSound::Locate() const {
  if (QFileInfo::exists(fileName_)) return QDir::current().absoluteFilePath(fileName_);
  if (QCoreApplication::instance() != nullptr) {
    const QString beside = QDir(QCoreApplication::applicationDirPath()).filePath(fileName_);
    if (QFileInfo::exists(beside)) return beside;
  }
  return {};
}

bool AlarmSound::PlayAndWait() {
  failure_.clear();
  lastWaitMs_ = 0;
  const QString path = Locate();
  if (path.isEmpty()) {
    failure_ = fileName_ + QStringLiteral(" not found in the current directory or beside the "
                                          "program");
  } else if (Play(path)) {
    return true;
  }
  QApplication::beep();
  return false;
}

bool AlarmSound::Play(const QString& path) {
  std::vector<int16_t> samples;
  int rate = 0;
  int channels = 0;
  std::string error;
  if (!AudioFileReader::ReadAll(QFile::encodeName(path).toStdString(), &samples, &rate,
                                &channels, &error)) {
    failure_ = path + QStringLiteral(": ") + QString::fromStdString(error);
    return false;
  }
  if (last_) {
    std::lock_guard<std::mutex> lock(last_->mutex);
    if (!last_->done) {
      failure_ = QStringLiteral("the audio output is still busy with the last alarm");
      return false;
    }
  }
  if (!thread_) {
    thread_ = std::make_unique<QThread>();
    thread_->setObjectName(QStringLiteral("AlarmOutput"));
    thread_->start();
  }
  const qint64 lengthMs =
      rate > 0 && channels > 0
          ? static_cast<qint64>(samples.size()) * 1000 / (static_cast<qint64>(rate) * channels)
          : 0;
  const qint64 limitMs = std::min<qint64>(lengthMs + 1000, kMaxWaitMs);

  auto playback = std::make_shared<Playback>();
  last_ = playback;
  QElapsedTimer clock;
  clock.start();
  auto job = [playback, samples = std::move(samples), rate, channels, limitMs] {
    QString failure;
    const bool ok = PlayOnOutput(
        samples, rate, channels, limitMs,
        [&playback] {
          std::lock_guard<std::mutex> lock(playback->mutex);
          return playback->abandoned;
        },
        &failure);
    std::lock_guard<std::mutex> lock(playback->mutex);
    playback->played = ok;
    playback->failure = failure;
    playback->done = true;
    playback->ended.notify_all();
  };
  // A context object living on the output thread runs the job there.
  auto* context = new QObject;
  context->moveToThread(thread_.get());
  QMetaObject::invokeMethod(
      context,
      [context, job = std::move(job)]() mutable {
        job();
        delete context;
      },
      Qt::QueuedConnection);

  std::unique_lock<std::mutex> lock(playback->mutex);
  const bool ended = playback->ended.wait_for(lock, std::chrono::milliseconds(limitMs),
                                              [&] { return playback->done; });
  lastWaitMs_ = clock.elapsed();
  if (!ended) {
    playback->abandoned = true;
    failure_ = QStringLiteral("the audio output did not answer within %1 ms").arg(limitMs);
    return false;
  }
  if (!playback->played) failure_ = playback->failure;
  return playback->played;
}

}  // namespace corvane
