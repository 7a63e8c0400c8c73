#include "display/waterfall_window.h"

#include <QGridLayout>
#include <QLabel>
#include <QScrollBar>
#include <QVBoxLayout>

#include "common/numtext.h"
#include "display/waterfall_view.h"

namespace corvane {

namespace {
QScrollBar* MakeBar(QWidget* parent, const char* name, int min, int max, int small, int large,
                    int value) {
  auto* bar = new QScrollBar(Qt::Horizontal, parent);
  bar->setObjectName(name);
  bar->setRange(min, max);
  bar->setSingleStep(small);
  bar->setPageStep(large);
  bar->setValue(value);
  return bar;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const char* caption) {
  auto* label = new QLabel(caption, parent);
  label->setObjectName(name);
  return label;
}
}  // namespace

WaterfallWindow::WaterfallWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName("WF");
  setWindowTitle("Wfall ");

  view_ = new WaterfallView(this);
  gain_ = MakeBar(this, "WFGain", 1, 255, 1, 5, 50);
  threshold_ = MakeBar(this, "WFThr", 0, 100, 1, 5, 30);
  palette_ = MakeBar(this, "WFpal", 0, 2, 1, 1, 0);
  label1_ = MakeLabel(this, "Label1", "WF Gain");
  label2_ = MakeLabel(this, "Label2", "Threshold");
  label3_ = MakeLabel(this, "Label3", "Pallette");

  auto* controls = new QGridLayout;
  controls->setContentsMargins(4, 2, 4, 2);
  controls->setVerticalSpacing(0);
  controls->addWidget(label1_, 0, 0);
  controls->addWidget(label2_, 0, 1);
  controls->addWidget(label3_, 0, 2);
  controls->addWidget(gain_, 1, 0);
  controls->addWidget(threshold_, 1, 1);
  controls->addWidget(palette_, 1, 2);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(view_, 1);
  layout->addLayout(controls);

  connect(gain_, &QScrollBar::valueChanged, this, &WaterfallWindow::onGainChanged);
  connect(threshold_, &QScrollBar::valueChanged, this, &WaterfallWindow::onThresholdChanged);

  resize(WaterfallView::kDesignWidthPx, 319);  // 6735 x 4785 units
}

void WaterfallWindow::setupForStart(double scaleWidthBins) { view_->setScaleWidth(scaleWidthBins); }

void WaterfallWindow::clearPicture() { view_->clearPicture(); }

void WaterfallWindow::paintRow(const float* avgPwr, int fMinBin, int fMaxBin) {
  // No event runs inside a row, so reading the palette once equals reading it per point.
  const float gain = static_cast<float>(gain_->value()) / 20.0f;
  view_->paintRow(avgPwr, fMinBin, fMaxBin, gain, threshold_->value(),
                  static_cast<uint8_t>(palette_->value()));
}

void WaterfallWindow::scrollRow() { view_->scrollRow(); }

void WaterfallWindow::showRows() { view_->update(); }

void WaterfallWindow::onGainChanged(int value) {
  label1_->setText(QString::fromStdString("WF Gain" + SignSpacedText(value)));
}

void WaterfallWindow::onThresholdChanged(int value) {
  label2_->setText(QString::fromStdString("WF Thresh " + SignSpacedText(value) + "dB"));
}

}  // namespace corvane
