#pragma once
// Where blocks come from: a sound card, an audio file or the simulated beacon.
//
// The block loop's contract: open() prepares the source for blocks of `frames` interleaved
// 16-bit stereo frames (left = in-phase, right = quadrature); queue() hands it the one
// buffer to fill; the source emits blockDone() once that buffer holds a whole block (never
// from inside queue(): always from the event loop); the loop then reads the buffer, which
// counts as released, and queues again when it is ready for the next block. Between
// queue() and blockDone() the source owns the buffer.

#include <QDateTime>
#include <QObject>
#include <QString>
#include <cstdint>

namespace corvane {

class BlockSource : public QObject {
  Q_OBJECT
 public:
  using QObject::QObject;
  ~BlockSource() override = default;

  // Opens and starts the source. On failure returns false and says why in *error.
  virtual bool open(double sampleRate, int frames, QString* error) = 0;
  // Hands over the buffer (at least 2 * frames int16 values) to be filled.
  virtual void queue(int16_t* buffer) = 0;
  // Stops the source; a queued buffer is abandoned. Safe to call when not open.
  virtual void close() = 0;

  // The rate the blocks really have (a file's own rate); the requested one otherwise.
  virtual double actualSampleRate() const = 0;
  // True when blocks may be delivered faster than real time (a file read back to back);
  // the tick then follows framesDelivered() instead of the wall clock.
  virtual bool drivesOwnClock() const { return false; }
  // Frames handed out so far since open().
  virtual qint64 framesDelivered() const = 0;
  // A source that hands over several blocks in one pass of the event loop (a fast one) lets
  // the loop run after the block now being handed over: a tick's records and status are
  // seen before the next second of audio is read.
  virtual void yieldAfterThisBlock() {}
  // Frames the source holds in all (a file's length); -1 when unbounded.
  virtual qint64 totalFrames() const { return -1; }
  // Blocks dropped so far because processing fell behind (whole blocks: the blocks handed
  // out are contiguous except where blocksDropped() said otherwise).
  virtual qint64 droppedBlocks() const { return 0; }
  // Channels the input really has: 2 for I/Q (or stereo), 1 for a mono file or card whose
  // one channel arrives on the left.
  virtual int channels() const { return 2; }
  // When the source's first frame was taken, where the source itself knows it (a file);
  // invalid otherwise.
  virtual QDateTime firstFrameTime() const { return {}; }

 signals:
  void blockDone();
  // The source has no more blocks (end of file).
  void finished();
  // The device went away (unplugged, the audio server stopped); no more blocks will come.
  void lost(const QString& why);
  // A change the operator should see: blocks dropped, file truncated.
  void statusChanged(const QString& text);
  // Once per gap, just before the first block after it: `blocks` whole blocks are missing
  // there, `total` dropped since open().
  void blocksDropped(qint64 blocks, qint64 total);
};

}  // namespace corvane
