#pragma once
// The block loop, event-driven: the source signals a filled buffer, one block is processed
// in full, the next is queued. Window events, the timer and mouse handlers run between
// blocks only, from the ordinary Qt event loop.

#include <QList>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <memory>

#include <functional>

#include "capture/block_source.h"
#include "measure/calibrated_estimator.h"
#include "display/frame_pacer.h"
#include "measure/measurement_engine.h"

namespace corvane {

class BandPlot;
class WaterfallWindow;

class BlockLoopHost {
 public:
  virtual ~BlockLoopHost() = default;
  virtual bool SidebandSwapChecked() = 0;
  // Input level meter: level in dB (scale height 50), red above 10 000. Given at the pace of
  // the pictures, with the last block's level.
  virtual void ShowInputLevel(double levelDb, bool red) = 0;
  // The read-outs of the last block, to be put into the labels: a few times a second, since
  // no one reads faster.
  virtual void ApplyReadouts(const Readouts& readouts) = 0;
  // The local time of day (the file's clock with a fast source).
  virtual DateTime Now() = 0;
  // The block has been taken into the plot and the waterfall; what must follow the picture
  // (the alarm's sound, after a repaint) runs here, before the waterfall scrolls.
  virtual void BlockDrawn() = 0;
};

// Every block is measured, logged and put into the waterfall's rows; the plot, the
// waterfall and the meter are repainted at most kFramesPerSecond times a second (never
// faster than the screen refreshes), the read-outs kReadoutsPerSecond times. A fast run
// (a file read back to back) draws kFastFramesPerSecond times a second, or never when no
// one can see the window (offscreen).
class BlockLoop : public QObject {
  Q_OBJECT
 public:
  static constexpr int kFramesPerSecond = 25;
  static constexpr int kFastFramesPerSecond = 4;
  static constexpr int kReadoutsPerSecond = 4;

  BlockLoop(MeasurementEngine& engine, MeasurementParams& params, BlockLoopHost& host,
            BandPlot* plot, WaterfallWindow* waterfall, QObject* parent = nullptr);
  ~BlockLoop() override;

  // DoLogging: takes an opened source and queues the first block. A fresh run starts the
  // engine's counters anew; a source reopened within a run (a sound card back) does not.
  void start(std::unique_ptr<BlockSource> source, bool freshRun = true);
  // The source is closed, no further block runs.
  void stop();
  // Shows the block just processed at once, whatever the pace: its read-outs and its plot
  // (in a fast run, all that changed in the window). For what must follow the picture (the
  // alarm's sound).
  void paintNow();

  // The calibrated figures, formed from the same blocks beside the engine's; each block is
  // stamped with `blockEnd` (seconds of the run's clock).
  CalibratedEstimator& calibrated() { return calibrated_; }
  void setBlockEndClock(std::function<double()> blockEnd) { blockEnd_ = std::move(blockEnd); }

  bool running() const { return source_ != nullptr; }
  // Paces the plot, waterfall and meter repaints, and the read-outs.
  FramePacer& frames() { return frames_; }
  FramePacer& readoutFrames() { return readouts_; }
  bool inBlock() const { return inBlock_; }
  qint64 blocksProcessed() const { return blocks_; }
  BlockSource* source() const { return source_.get(); }

 signals:
  // A block has arrived and is about to be processed; nothing of it is measured yet.
  void blockArrived();
  // Each block's frames as taken from the source, before anything is done with them
  // (`frames` interleaved 16-bit stereo frames); the recorder listens here.
  void blockTaken(const int16_t* stereo, int frames);
  // After every block, outside it (inBlock() is false).
  void blockProcessed();

 private:
  void onBlockDone();
  void processBlock();
  void setPace(bool fast);
  void suspendRepaints(bool suspend);
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showFrame();
  void showReadouts();

  MeasurementEngine& engine_;
  MeasurementParams& params_;
  BlockLoopHost& host_;
  BandPlot* plot_;
  WaterfallWindow* waterfall_;
  std::unique_ptr<BlockSource> source_;
  CalibratedEstimator calibrated_;
  std::function<double()> blockEnd_;
  bool inBlock_ = false;
  qint64 blocks_ = 0;
  double inLevelDb_ = 0;
  bool inLevelRed_ = false;
  FramePacer frames_;
  FramePacer readouts_;
  bool suspended_ = false;  // the windows' paint requests wait for the next frame
  bool framing_ = false;
  QList<QPointer<QWidget>> heldWindows_;
  std::unique_ptr<int16_t[]> sampleBuf_;  // SampleBuf: the largest block, allocated once
  std::unique_ptr<float[]> fftData_;      // FFTData
};

}  // namespace corvane
