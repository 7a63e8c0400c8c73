#include "capture/block_loop.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <utility>

#include "capture/block_convert.h"
#include "display/band_plot.h"
#include "display/waterfall_window.h"
#include "dsp/fft.h"

namespace corvane {

namespace {
constexpr int kSampleBufSize = 65536;
}

BlockLoop::BlockLoop(MeasurementEngine& engine, MeasurementParams& params, BlockLoopHost& host,
                     BandPlot* plot, WaterfallWindow* waterfall, QObject* parent)
    : QObject(parent),
      engine_(engine),
      params_(params),
      host_(host),
      plot_(plot),
      waterfall_(waterfall),
      // Written before read, block by block: pages beyond a small block's stay untouched.
      sampleBuf_(std::make_unique_for_overwrite<int16_t[]>(kSampleBufSize)),
      fftData_(std::make_unique_for_overwrite<float[]>(Module1::kFFTDataSize)) {
  connect(&frames_, &FramePacer::frame, this, &BlockLoop::showFrame);
  connect(&readouts_, &FramePacer::frame, this, &BlockLoop::showReadouts);
}

BlockLoop::~BlockLoop() { stop(); }

void BlockLoop::start(std::unique_ptr<BlockSource> source, bool freshRun) {
  if (!source || source_) return;
  source_ = std::move(source);
  // Sources signal a block from the event loop, never inside queue(), so it is processed
  // there at once: a queued call would cost a wake-up of the event loop per block.
  connect(source_.get(), &BlockSource::blockDone, this, &BlockLoop::onBlockDone);
  if (freshRun) engine_.StartRun();
  setPace(source_->drivesOwnClock());
  source_->queue(sampleBuf_.get());
}

void BlockLoop::stop() {
  if (!source_) return;
  source_->disconnect(this);
  source_->close();
  // Later: stop() may run inside the source's own signal (a handler of blockProcessed).
  source_.release()->deleteLater();
  // The last block stays on the screen.
  frames_.flush();
  readouts_.flush();
  suspendRepaints(false);
}

void BlockLoop::setPace(bool fast) {
  int fps = fast ? kFastFramesPerSecond : kFramesPerSecond;
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (plot_ != nullptr && plot_->screen() != nullptr) screen = plot_->screen();
  if (screen != nullptr && screen->refreshRate() >= 1)
    fps = std::min(fps, static_cast<int>(screen->refreshRate()));
  const bool unseen = QGuiApplication::platformName() == QLatin1String("offscreen");
  frames_.setInterval(1000 / fps);
  frames_.setHeld(fast && unseen);
  readouts_.setInterval(1000 / kReadoutsPerSecond);
  readouts_.setHeld(fast && unseen);
  // A fast run changes the window (records, caption, read-outs) far more often than anyone
  // can follow; it is painted in frames only.
  suspendRepaints(fast);
}

void BlockLoop::suspendRepaints(bool suspend) {
  if (suspended_ == suspend) return;
  suspended_ = suspend;
  if (suspend) {
    // The waterfall may be a window of its own; each window's requests are held.
    for (QWidget* w : {plot_ ? plot_->window() : nullptr,
                       waterfall_ ? waterfall_->window() : nullptr}) {
      if (w == nullptr || heldWindows_.contains(w)) continue;
      w->installEventFilter(this);
      heldWindows_.push_back(w);
    }
    return;
  }
  const QList<QPointer<QWidget>> held = std::exchange(heldWindows_, {});
  for (QWidget* w : held) {
    if (w == nullptr) continue;
    w->removeEventFilter(this);
    // What changed since the last frame; held requests are not asked for again.
    QCoreApplication::postEvent(w, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
  }
}

bool BlockLoop::eventFilter(QObject* watched, QEvent* event) {
  // Between the frames of a fast run a window's paint request waits for the next frame,
  // which then paints only what changed: a whole-window repaint redraws every panel frame
  // and scroll bar too, and Qt hands such tall fills to its thread pool.
  if (event->type() == QEvent::UpdateRequest && suspended_ && !framing_) return true;
  return QObject::eventFilter(watched, event);
}

void BlockLoop::showFrame() {
  if (plot_) plot_->update();
  if (waterfall_) waterfall_->showRows();
  host_.ShowInputLevel(inLevelDb_, inLevelRed_);
  if (suspended_) {
    readouts_.flush();
    framing_ = true;
    const QList<QPointer<QWidget>> windows = heldWindows_;  // a paint may end the hold
    for (QWidget* w : windows) {
      if (w == nullptr || !w->isVisible()) continue;
      QEvent request(QEvent::UpdateRequest);
      QCoreApplication::sendEvent(w, &request);
    }
    framing_ = false;
  }
}

void BlockLoop::paintNow() {
  readouts_.flush();
  if (suspended_) {
    showFrame();
  } else if (plot_) {
    plot_->repaint();
  }
}

void BlockLoop::showReadouts() { host_.ApplyReadouts(engine_.readouts()); }

void BlockLoop::onBlockDone() {
  if (!source_ || inBlock_) return;
  emit blockArrived();
  if (!source_) return;  // a handler ended the run
  processBlock();
  // The next buffer is queued before anything outside the block runs: a handler of the
  // signal below may stop the loop (the end of a fast run), and then nothing is queued.
  if (source_) source_->queue(sampleBuf_.get());
  emit blockProcessed();
}

void BlockLoop::processBlock() {
  const int32_t fftLen = Module1::FFTLen;
  if (fftLen < 2 || fftLen > Module1::kMaxFFTLen) return;
  inBlock_ = true;
  emit blockTaken(sampleBuf_.get(), fftLen);

  const InputLevel level = ConvertBlock(sampleBuf_.get(), fftLen, Module1::WinTable,
                                        host_.SidebandSwapChecked(), inLevelDb_, fftData_.get());
  inLevelDb_ = level.levelDb;
  inLevelRed_ = level.red;

  Module1::ComplexFFT(fftData_.get());
  engine_.ProcessBlock(fftData_.get(), host_.Now());
  if (calibrated_.settings().fftLen == fftLen)
    calibrated_.ProcessBlock(fftData_.get(), engine_.marks(), blockEnd_ ? blockEnd_() : 0.0);

  if (plot_) plot_->takeBlock(engine_, params_, fftLen);
  const bool measured = engine_.marks().Measured;
  if (waterfall_ && measured && engine_.marks().BandLast >= engine_.marks().BandFirst) {
    // The band as averaged: clamped to the spectrum, whatever the edges hold.
    waterfall_->paintRow(engine_.AvgPwr(), engine_.marks().BandFirst, engine_.marks().BandLast,
                         blockEnd_ ? blockEnd_() : 0.0);
  }
  readouts_.changed();
  host_.BlockDrawn();
  if (waterfall_ && measured) waterfall_->scrollRow();
  frames_.changed();
  ++blocks_;
  inBlock_ = false;
}

}  // namespace corvane
