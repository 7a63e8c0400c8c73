// What sits beside the main window's own controls: the waterfall docked under the plot on
// the plot's frequency axis, and the station network's settings window.

#include <QDockWidget>
#include <QEvent>
#include <QMainWindow>
#include <QResizeEvent>
#include <cmath>

#include "app/corvane_window.h"
#include "app/main_controls.h"
#include "app/window_session.h"
#include "display/band_plot.h"
#include "display/waterfall_window.h"
#include "dsp/fft.h"
#include "network/mqtt_link.h"
#include "network/publishing_window.h"

namespace corvane {

// ---- The waterfall under the plot -------------------------------------------------------

void CorvaneWindow::AlignWaterfall() {
  BandPlot* plot = c_->Spectrum;
  const double left = plot->scaleLeft(), width = plot->scaleWidth();
  const double hzPerBin =
      Module1::FFTLen > 0 ? params_.SampleRate / Module1::FFTLen : 0.0;
  c_->WF->setScale(left, width, hzPerBin);
  if (c_->WFDock->isFloating()) {
    c_->WF->setInsets(0, 0);
    return;
  }
  // The band's pixel edges in the plot, carried into the waterfall's own coordinates.
  const int x0 = c_->Spectrum->mapTo(c_->PlotArea, QPoint(0, 0)).x();
  const int w0 = c_->WF->mapTo(c_->PlotArea, QPoint(0, 0)).x();
  const auto bandLeft = static_cast<int>(std::lround(plot->binsToX(left)));
  const auto bandRight = static_cast<int>(std::lround(plot->binsToX(left + width)));
  c_->WF->setInsets(x0 + bandLeft - w0, (w0 + c_->WF->width()) - (x0 + bandRight));
}

bool CorvaneWindow::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (watched == c_->PlotArea && type == QEvent::Resize && !c_->WFDock->isFloating() &&
      !c_->WFDock->isHidden()) {
    // The plot and the waterfall share what the window gains or loses; the first time, the
    // waterfall takes a little more than half.
    const auto* resize = static_cast<QResizeEvent*>(event);
    const int oldHeight = resize->oldSize().height();
    const int height = resize->size().height();
    if (!waterfallSplitSet_ && height > 0) {
      waterfallSplitSet_ = true;
      c_->PlotArea->resizeDocks({c_->WFDock}, {height * 11 / 20}, Qt::Vertical);
    } else if (oldHeight > 0 && height != oldHeight) {
      const double share = static_cast<double>(c_->WFDock->height()) / oldHeight;
      c_->PlotArea->resizeDocks({c_->WFDock}, {static_cast<int>(std::lround(share * height))},
                                Qt::Vertical);
    }
  }
  if ((watched == c_->Spectrum || watched == c_->WF) &&
      (type == QEvent::Resize || type == QEvent::Move)) {
    AlignWaterfall();
  }
  return QMainWindow::eventFilter(watched, event);
}

// ---- The station network ----------------------------------------------------------------

bool CorvaneWindow::setMqtt(const QString& url, const QString& credentialsFile, QString* error) {
  return mqtt_->Configure({url, credentialsFile, true}, false, error);
}

void CorvaneWindow::showPublishingSettings() {
  if (!publishingWindow_) {
    publishingWindow_ = new PublishingWindow(*mqtt_, this);
    // What the operator applies there is kept for the next start; --mqtt is for one run.
    connect(publishingWindow_, &PublishingWindow::applied, this, [this](const MqttSettings& s) {
      session_.mqttUrl = s.url;
      session_.mqttCredentialsFile = s.credentialsFile;
      session_.mqttOn = s.enabled;
      SaveSession(this, c_->PlotArea, session_);
    });
  }
  publishingWindow_->Reload();
  publishingWindow_->show();
  publishingWindow_->raise();
  publishingWindow_->activateWindow();
}

}  // namespace corvane
