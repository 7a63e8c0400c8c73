#include "capture/run_control.h"

#include "capture/block_loop.h"

namespace corvane {

RunControl::RunControl(BlockLoop& loop, QObject* parent) : QObject(parent), loop_(loop) {
  reopenTimer_.setInterval(kReopenMs);
  connect(&reopenTimer_, &QTimer::timeout, this, &RunControl::tryReopen);
  connect(&tickClock_, &TickClock::tick, this, &RunControl::onTick);
  connect(&tickClock_, &TickClock::jumped, this, [this](qint64 expected, qint64 now) {
    emit clockJumped(QDateTime::fromSecsSinceEpoch(expected),
                     QDateTime::fromSecsSinceEpoch(now));
  });
  connect(&loop_, &BlockLoop::blockArrived, this, &RunControl::onBlockArrived);
  connect(&loop_, &BlockLoop::blockProcessed, this, &RunControl::onBlockProcessed);
  connect(&loop_, &BlockLoop::blockTaken, this, &RunControl::onBlockTaken);
  connect(&recorder_, &InputRecorder::notice, this, &RunControl::notice);
  connect(&recorder_, &InputRecorder::recordingChanged, this, &RunControl::recordingChanged);
  // The recording's own clock: a file read faster than real time is stamped with its time.
  recorder_.setClock([this] { return now().toUTC(); });
}

RunControl::~RunControl() { stop(false); }

bool RunControl::open(const Request& request, QString* error) {
  stop();
  request_ = request;
  std::unique_ptr<BlockSource> source = CreateSource(request.entry, request.centreHz, request.fast);
  QString why;
  if (!source) {
    why = QStringLiteral("no such source");
  } else if (!source->open(request.sampleRate, request.fftLen, &why)) {
    source.reset();
  }
  if (!source) {
    if (error) *error = why;
    return false;
  }
  pending_ = std::move(source);
  return true;
}

double RunControl::openedRate() const {
  return pending_ ? pending_->actualSampleRate() : request_.sampleRate;
}

void RunControl::start() {
  if (!pending_ || running_) return;
  running_ = true;
  dropped_ = 0;
  ticks_ = 0;
  droppedBase_ = 0;
  framesBefore_ = 0;
  missing_ = false;
  reopening_ = false;
  lastBlockAt_ = QDateTime::currentDateTimeUtc();
  if (request_.fast) {
    // A file's clock starts when its recording began; the beacon's now.
    QDateTime origin = pending_->firstFrameTime();
    if (!origin.isValid()) origin = QDateTime::currentDateTime();
    sourceClock_.Start(origin.toMSecsSinceEpoch(), pending_->actualSampleRate());
  }
  attach(std::move(pending_), true);
  droppedNoted_ = 0;
  startRecorder();
  // One clock at a time: a fast run's own, or the wall clock's seconds, which once started
  // keep ticking through STOP and the end of a file.
  if (request_.fast) {
    tickClock_.stop();
  } else if (!tickClock_.active()) {
    tickClock_.start();
  }
}

void RunControl::attach(std::unique_ptr<BlockSource> source, bool freshRun) {
  BlockSource* s = source.get();
  connect(s, &BlockSource::lost, this, &RunControl::onLost);
  connect(s, &BlockSource::finished, this, &RunControl::onFinished, Qt::QueuedConnection);
  connect(s, &BlockSource::statusChanged, this, &RunControl::sourceStatus);
  loop_.start(std::move(source), freshRun);
}

void RunControl::stop(bool keepTicking) {
  const bool was = running_ || pending_;
  running_ = false;
  reopening_ = false;
  reopenTimer_.stop();
  if (!keepTicking) tickClock_.stop();
  pending_.reset();
  if (was) loop_.stop();
  recorder_.stop();
}

void RunControl::setRecording(const QString& directory) {
  recordDir_ = directory;
  if (directory.isEmpty()) {
    recorder_.stop();
  } else if (running_) {
    startRecorder();
  }
}

void RunControl::startRecorder() {
  if (recordDir_.isEmpty() || recorder_.isRecording()) return;
  const BlockSource* s = loop_.source();
  QString why;
  if (!recorder_.start(recordDir_, s ? s->actualSampleRate() : request_.sampleRate, &why)) {
    emit notice(QStringLiteral("Recording not started: %1").arg(why));
    emit recordingChanged(false);
  }
}

qint64 RunControl::totalDropped() const {
  const BlockSource* s = loop_.source();
  return droppedBase_ + (s ? s->droppedBlocks() : 0);
}

void RunControl::onBlockTaken(const int16_t* stereo, int frames) {
  if (!recorder_.isRecording()) return;
  // The file cannot hold a gap: the recorder names the blocks the capture dropped.
  const qint64 dropped = totalDropped();
  if (dropped > droppedNoted_) recorder_.noteDroppedBlocks(dropped - droppedNoted_);
  droppedNoted_ = dropped;
  recorder_.takeBlock(stereo, frames);
}

QDateTime RunControl::now() const { return QDateTime::fromMSecsSinceEpoch(nowMs()); }

qint64 RunControl::nowMs() const {
  if (request_.fast && sourceClock_.started()) {
    const BlockSource* s = loop_.source();
    const qint64 frames = framesBefore_ + (s ? s->framesDelivered() : 0);
    return sourceClock_.NowMs(frames);
  }
  return QDateTime::currentMSecsSinceEpoch();
}

qint64 RunControl::blockMs() const {
  const BlockSource* s = loop_.source();
  const double rate = s ? s->actualSampleRate() : request_.sampleRate;
  return rate > 0 ? static_cast<qint64>(1000.0 * request_.fftLen / rate) : 1000;
}

void RunControl::onBlockProcessed() {
  BlockSource* s = loop_.source();
  if (!running_ || !s) return;
  lastBlockAt_ = QDateTime::currentDateTimeUtc();
  setMissing(false);
  const qint64 total = totalDropped();
  if (total > dropped_) {
    const qint64 now = total - dropped_;
    dropped_ = total;
    emit blocksDropped(now, total);
  }
}

void RunControl::onBlockArrived() {
  BlockSource* s = loop_.source();
  if (!running_ || !s || !request_.fast) return;
  // The seconds this block's frames pass are ticked before it is measured: a record at
  // second S then holds the last block that ended before S, as in a real-time run.
  for (const int64_t second : sourceClock_.Advance(framesBefore_ + s->framesDelivered())) {
    ++ticks_;
    s->yieldAfterThisBlock();
    emit tick(LocalSecond(second));
    if (!running_) return;  // a tick's handler ended the run
  }
}

void RunControl::onTick(qint64 second) {
  // A source that stopped delivering without a word is no input all the same.
  if (running_ && !reopening_ && !missing_ &&
      lastBlockAt_.msecsTo(QDateTime::currentDateTimeUtc()) > 2 * blockMs() + kStallMarginMs) {
    emit notice(QStringLiteral("No input: no block for %1 s")
                    .arg(lastBlockAt_.secsTo(QDateTime::currentDateTimeUtc())));
    setMissing(true);
  }
  ++ticks_;
  emit tick(LocalSecond(second));
}

void RunControl::setMissing(bool missing) {
  if (missing == missing_) return;
  missing_ = missing;
  if (missing) {
    emit inputMissing();
  } else {
    emit inputBack();
  }
}

void RunControl::onLost(const QString& why) {
  if (!running_ || reopening_) return;
  // Only a sound card comes back; the loss of anything else ends the run.
  if (request_.entry.kind != SourceEntry::Kind::SoundCard) {
    setMissing(true);
    stop();
    emit ended(why);
    return;
  }
  emit notice(why + QStringLiteral("; trying to reopen it every %1 s").arg(kReopenMs / 1000));
  if (const BlockSource* s = loop_.source()) {
    framesBefore_ += s->framesDelivered();
    droppedBase_ = dropped_;
  }
  loop_.stop();
  reopening_ = true;
  setMissing(true);
  reopenTimer_.start();
}

void RunControl::tryReopen() {
  if (!running_ || !reopening_) {
    reopenTimer_.stop();
    return;
  }
  std::unique_ptr<BlockSource> source =
      CreateSource(request_.entry, request_.centreHz, request_.fast);
  QString why;
  if (!source || !source->open(request_.sampleRate, request_.fftLen, &why)) return;
  reopenTimer_.stop();
  reopening_ = false;
  emit notice(QStringLiteral("Capture reopened: %1").arg(request_.entry.text));
  attach(std::move(source), false);
}

void RunControl::onFinished() {
  if (!running_) return;
  const QString why = request_.entry.kind == SourceEntry::Kind::WavFile
                          ? QStringLiteral("End of file %1").arg(request_.entry.path)
                          : QStringLiteral("End of input: %1").arg(request_.entry.text);
  setMissing(true);
  stop();
  emit ended(why);
}

}  // namespace corvane
