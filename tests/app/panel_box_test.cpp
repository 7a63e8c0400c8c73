#include "app/panel_box.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProxyStyle>
#include <QTest>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace {

using corvane::PanelBox;

// Counts the style's drawing of group boxes.
class CountingStyle : public QProxyStyle {
 public:
  int boxes = 0;
  void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                          QPainter* painter, const QWidget* widget) const override {
    if (control == CC_GroupBox) ++const_cast<CountingStyle*>(this)->boxes;
    QProxyStyle::drawComplexControl(control, option, painter, widget);
  }
};

QImage Picture(QWidget& w) { return w.grab().toImage().convertToFormat(QImage::Format_RGB32); }

// The largest difference of one colour channel between two pictures of one size; 255 when
// the sizes differ. The copy's translucent inside may round one unit apart from the style's.
int LargestDifference(const QImage& a, const QImage& b) {
  if (a.size() != b.size()) return 255;
  int largest = 0;
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) {
      const QRgb p = a.pixel(x, y);
      const QRgb q = b.pixel(x, y);
      largest = std::max({largest, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                          std::abs(qBlue(p) - qBlue(q))});
    }
  }
  return largest;
}

// The copied frame must be the style's own, pixel for pixel, through the changes that alter it.
TEST(PanelBox, LooksLikeAGroupBoxThroughTitleSizeAndStateChanges) {
  QWidget row;
  auto* layout = new QHBoxLayout(&row);
  auto* plain = new QGroupBox("Signal / Noise");
  auto* panel = new PanelBox("Signal / Noise");
  for (QGroupBox* b : {plain, static_cast<QGroupBox*>(panel)}) {
    b->setFixedSize(180, 120);
    auto* inner = new QVBoxLayout(b);
    inner->addWidget(new QLabel("-12.3 dB"));
    layout->addWidget(b);
  }
  row.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&row));
  const std::vector<std::pair<const char*, std::function<void(QGroupBox*)>>> changes = {
      {"as made", [](QGroupBox*) {}},
      {"new title", [](QGroupBox* b) { b->setTitle("Calibrated"); }},
      {"resized", [](QGroupBox* b) { b->setFixedSize(150, 140); }},
      {"disabled", [](QGroupBox* b) { b->setEnabled(false); }},
  };
  for (const auto& [what, change] : changes) {
    change(plain);
    change(panel);
    QCoreApplication::processEvents();
    const QImage expected = Picture(*plain);
    ASSERT_FALSE(expected.isNull());
    EXPECT_LE(LargestDifference(Picture(*panel), expected), 1) << what;
  }
}

// A read-out changing inside repaints the box under it from the copy, not through the style.
TEST(PanelBox, ChangingReadOutsDoNotRedrawTheFrame) {
  auto style = std::make_unique<CountingStyle>();
  PanelBox box("Signal / Noise");
  box.setStyle(style.get());
  auto* layout = new QVBoxLayout(&box);
  auto* readout = new QLabel("0.0 dB");
  readout->setFixedWidth(120);
  layout->addWidget(readout);
  box.resize(200, 140);
  // Windows opening and closing beside it must not matter.
  ASSERT_TRUE(box.palette().isEqual(QPalette::Active, QPalette::Inactive));
  box.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
  box.repaint();
  const int before = style->boxes;
  ASSERT_GE(before, 1);
  for (int i = 0; i < 20; ++i) {
    readout->setText(QString("%1.0 dB").arg(i));
    readout->repaint();
  }
  EXPECT_EQ(style->boxes, before);
  // A new size draws it once more.
  box.resize(220, 150);
  box.repaint();
  EXPECT_EQ(style->boxes, before + 1);
}

}  // namespace
