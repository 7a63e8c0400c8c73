#include "display/waterfall_window.h"

#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "common/numtext.h"
#include "display/axis_scales.h"
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

WaterfallWindow::WaterfallWindow(QWidget* parent) : QWidget(parent) {
  setObjectName("WF");
  setWindowTitle("Wfall ");

  area_ = new QWidget(this);
  area_->setObjectName("WFPictureArea");
  area_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  view_ = new WaterfallView(area_);
  scale_ = new FrequencyScale(area_);
  area_->setMinimumSize(view_->minimumWidth(),
                        view_->minimumHeight() + scale_->minimumSizeHint().height());
  area_->installEventFilter(this);
  gain_ = MakeBar(this, "WFGain", 1, 255, 1, 5, 50);
  threshold_ = MakeBar(this, "WFThr", 0, 100, 1, 5, 30);
  palette_ = MakeBar(this, "WFpal", 0, 2, 1, 1, 0);
  label1_ = MakeLabel(this, "Label1", "WF Gain");
  label2_ = MakeLabel(this, "Label2", "Threshold");
  label3_ = MakeLabel(this, "Label3", "Pallette");
  autoLevel_ = new QCheckBox("Auto level", this);
  autoLevel_->setObjectName("AutoLevel");
  autoLevel_->setToolTip("Sets gain and threshold from the measured noise floor: the noise "
                         "dark, a carrier 10 dB above it yellow-green. Off: WF Gain and "
                         "Threshold set them");

  auto* controls = new QGridLayout;
  controls->setContentsMargins(4, 2, 4, 2);
  controls->setVerticalSpacing(0);
  controls->addWidget(label1_, 0, 0);
  controls->addWidget(label2_, 0, 1);
  controls->addWidget(label3_, 0, 2);
  controls->addWidget(gain_, 1, 0);
  controls->addWidget(threshold_, 1, 1);
  controls->addWidget(palette_, 1, 2);
  controls->addWidget(autoLevel_, 1, 3);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(area_, 1);
  layout->addLayout(controls);

  connect(gain_, &QScrollBar::valueChanged, this, &WaterfallWindow::onGainChanged);
  connect(threshold_, &QScrollBar::valueChanged, this, &WaterfallWindow::onThresholdChanged);
  connect(autoLevel_, &QCheckBox::toggled, this, &WaterfallWindow::onAutoLevel);
  autoLevel_->setChecked(true);

  resize(WaterfallView::kDesignWidthPx, 319);  // 6735 x 4785 units
}

void WaterfallWindow::setupForStart(double scaleWidthBins) {
  view_->setScaleWidth(scaleWidthBins);
}

void WaterfallWindow::setScale(double leftBins, double widthBins, double hzPerBin) {
  view_->setScale(leftBins, widthBins);
  scale_->setScale(leftBins, widthBins, hzPerBin);
}

void WaterfallWindow::setInsets(int left, int right) {
  if (insetLeft_ == left && insetRight_ == right) return;
  insetLeft_ = left;
  insetRight_ = right;
  placePicture();
}

void WaterfallWindow::placePicture() {
  const int width = area_->width(), height = area_->height();
  const int scaleHeight = scale_->sizeHint().height();
  const int left = std::clamp(insetLeft_, 0, std::max(0, width - view_->minimumWidth()));
  const int right = std::clamp(insetRight_, 0, std::max(0, width - left - view_->minimumWidth()));
  const int w = std::max(1, width - left - right);
  view_->setGeometry(left, 0, w, std::max(1, height - scaleHeight));
  scale_->setGeometry(left, height - scaleHeight, w, scaleHeight);
}

bool WaterfallWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == area_ && event->type() == QEvent::Resize) placePicture();
  return QWidget::eventFilter(watched, event);
}

void WaterfallWindow::clearPicture() { view_->clearPicture(); }

void WaterfallWindow::paintRow(const float* avgPwr, int fMinBin, int fMaxBin) {
  paintRow(avgPwr, fMinBin, fMaxBin, 0);
}

void WaterfallWindow::paintRow(const float* avgPwr, int fMinBin, int fMaxBin,
                               double secondsUtc) {
  // Followed while off too, so that switching it on is right from the next row.
  view_->takeRow(avgPwr, fMinBin, fMaxBin);
  const WaterfallScale automatic = auto_.Follow(view_->drawnFloor());
  if (autoLevel_->isChecked()) {
    lastScale_ = automatic;
  } else {
    // No event runs inside a row, so reading the palette once equals reading it per point.
    lastScale_ = {static_cast<float>(gain_->value()) / 20.0f,
                  static_cast<double>(threshold_->value())};
  }
  view_->paintRow(lastScale_.gain, lastScale_.threshold, static_cast<uint8_t>(palette_->value()));
  view_->stampRow(secondsUtc);
}

void WaterfallWindow::scrollRow() { view_->scrollRow(); }

void WaterfallWindow::showRows() { view_->update(); }

void WaterfallWindow::onGainChanged(int value) {
  label1_->setText(QString::fromStdString("WF Gain" + SignSpacedText(value)));
}

void WaterfallWindow::onThresholdChanged(int value) {
  label2_->setText(QString::fromStdString("WF Thresh " + SignSpacedText(value) + "dB"));
}

void WaterfallWindow::onAutoLevel(bool on) {
  gain_->setEnabled(!on);
  threshold_->setEnabled(!on);
  label1_->setEnabled(!on);
  label2_->setEnabled(!on);
}

// ---- FrequencyScale -----------------------------------------------------------------------

FrequencyScale::FrequencyScale(QWidget* parent) : QWidget(parent) {
  setObjectName("WFScale");
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize FrequencyScale::sizeHint() const { return {100, fontMetrics().height() + 6}; }
QSize FrequencyScale::minimumSizeHint() const { return {10, fontMetrics().height() + 6}; }

void FrequencyScale::setScale(double leftBins, double widthBins, double hzPerBin) {
  if (left_ == leftBins && width_ == widthBins && hzPerBin_ == hzPerBin) return;
  left_ = leftBins;
  width_ = widthBins;
  hzPerBin_ = hzPerBin;
  update();
}

std::vector<FrequencyScale::Label> FrequencyScale::labels() const {
  std::vector<Label> out;
  const double loHz = left_ * hzPerBin_;
  const double spanHz = width_ * hzPerBin_;
  const double step = RoundTickStep(spanHz, width(), 80);
  if (step <= 0) return out;
  for (double hz : TickValues(loHz, loHz + spanHz, step)) {
    const auto x = static_cast<int>(std::floor((hz - loHz) / spanHz * width()));
    out.push_back({std::min(x, width() - 1), QString::number(hz, 'f', step < 1 ? 1 : 0)});
  }
  return out;
}

void FrequencyScale::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), palette().window());
  p.setPen(palette().windowText().color());
  const QFontMetrics fm = fontMetrics();
  const std::vector<Label> marks = labels();
  const int unitWidth = fm.horizontalAdvance(" Hz");
  for (size_t i = 0; i < marks.size(); ++i) {
    const Label& m = marks[i];
    p.drawLine(m.x, 0, m.x, 3);
    const int w = fm.horizontalAdvance(m.text);
    // Centred on its tick, kept inside the scale at both ends.
    int x = std::clamp(m.x - w / 2, 0, std::max(0, width() - w - unitWidth));
    p.drawText(x, 3 + fm.ascent(), m.text);
  }
  if (!marks.empty()) p.drawText(width() - unitWidth, 3 + fm.ascent(), " Hz");
}

}  // namespace corvane
