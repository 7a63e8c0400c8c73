#pragma once
// Runs a capture: opens the chosen source, feeds its blocks to the block loop, keeps the
// one-second tick (the wall clock's seconds, or the source's own clock for a file read
// faster than real time), and keeps the station going by itself: a sound card that is lost
// is reopened every few seconds, input that stops is reported as missing, and the end of a
// file ends the run. The window starts and stops it and shows what it reports.

#include <QDateTime>
#include <QObject>
#include <QTimer>
#include <memory>

#include "capture/block_source.h"
#include "capture/input_recorder.h"
#include "capture/source_clock.h"
#include "capture/source_factory.h"
#include "capture/tick_clock.h"

namespace corvane {

class BlockLoop;

class RunControl : public QObject {
  Q_OBJECT
 public:
  struct Request {
    SourceEntry entry;
    double sampleRate = 0;
    int fftLen = 0;
    double centreHz = 0;  // steers the simulated beacon
    bool fast = false;    // a file or the beacon read back to back, on its own clock
  };

  explicit RunControl(BlockLoop& loop, QObject* parent = nullptr);
  ~RunControl() override;

  // Opens the source; false with the reason when it does not open (nothing runs then).
  bool open(const Request& request, QString* error);
  // The opened source's own rate (a file's) and channels, before start().
  double openedRate() const;
  int openedChannels() const { return pending_ ? pending_->channels() : 2; }
  // Starts the blocks and, from the first START on, the tick.
  void start();
  // Stops the blocks and any reopening; the last picture stays where it is drawn. The tick of
  // a real-time run goes on, so the log keeps a record for every second, with missing values,
  // until the program ends (or stop(false)).
  void stop(bool keepTicking = true);

  bool running() const { return running_; }
  bool fast() const { return request_.fast; }
  // The run's clock: the source's own time in a fast run, else the wall clock.
  QDateTime now() const;
  // The same in milliseconds since the epoch: no local time is looked up.
  qint64 nowMs() const;
  qint64 droppedBlocks() const { return dropped_; }
  // Ticks given since start().
  qint64 ticksGiven() const { return ticks_; }
  const SourceEntry& entry() const { return request_.entry; }

  // Records the input into `directory` (FLAC, a file an hour) from now on while capture runs;
  // an empty directory stops recording.
  void setRecording(const QString& directory);
  bool recording() const { return recorder_.isRecording(); }
  QString recordDirectory() const { return recordDir_; }
  InputRecorder& recorder() { return recorder_; }

  // Seconds between attempts to reopen a lost sound card.
  static constexpr int kReopenMs = 3000;
  // Input counts as missing when no block came for this long beyond two blocks' time.
  static constexpr int kStallMarginMs = 2000;

 signals:
  // One per whole second of the run's clock, in order, stamped with its second.
  void tick(const QDateTime& second);
  // The clock jumped (a suspend, the time set by hand): the ticks go on from `now`.
  void clockJumped(const QDateTime& expected, const QDateTime& now);
  // Something the operator should know, for the status line, GenInfo and standard error.
  void notice(const QString& text);
  // The source's own running status (blocks dropped so far), shown beside the bin size.
  void sourceStatus(const QString& text);
  void blocksDropped(qint64 blocks, qint64 total);
  // Nothing is measured from here on until input returns (and inputBack()).
  void inputMissing();
  void inputBack();
  // The run ended by itself (end of a file): `why` says so; running() is false.
  void ended(const QString& why);
  // Recording began or ended (also by itself: the disk's margin reached, a write failed).
  void recordingChanged(bool recording);

 private:
  void attach(std::unique_ptr<BlockSource> source, bool freshRun);
  void startRecorder();
  void onBlockTaken(const int16_t* stereo, int frames);
  qint64 totalDropped() const;
  void onBlockArrived();
  void onBlockProcessed();
  void onTick(qint64 second);
  void onLost(const QString& why);
  void onFinished();
  void tryReopen();
  void setMissing(bool missing);
  qint64 blockMs() const;

  BlockLoop& loop_;
  Request request_;
  std::unique_ptr<BlockSource> pending_;  // opened, not yet started
  TickClock tickClock_;
  SourceClock sourceClock_;
  QTimer reopenTimer_;
  InputRecorder recorder_;
  QString recordDir_;
  qint64 droppedNoted_ = 0;  // drops already told to the recorder
  QDateTime lastBlockAt_;  // in UTC: set with every block, where local time costs a lookup
  qint64 dropped_ = 0;
  qint64 ticks_ = 0;
  qint64 droppedBase_ = 0;   // blocks dropped by the sources before a reopen
  qint64 framesBefore_ = 0;  // frames of the sources before a reopen, for the fast clock
  bool running_ = false;
  bool missing_ = false;
  bool reopening_ = false;
};

}  // namespace corvane
