#include "display/history_view.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>
#include <cmath>
#include <string>

#include "logging/log_history.h"
#include "support/history_logs.h"

namespace corvane {
namespace {

const double kT0 = 20795.0 * 86400 + 10 * 3600;  // 2026-12-08 10:00:00 UTC

class HistoryViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    path_ = dir_.filePath("SIGREC.csv");
  }
  void Write(const std::string& text, QIODevice::OpenMode mode = QIODevice::WriteOnly) {
    QFile f(path_);
    ASSERT_TRUE(f.open(mode));
    f.write(text.data(), static_cast<qint64>(text.size()));
  }
  void Open(HistoryView& v) {
    v.resize(1000, 700);
    QString error;
    ASSERT_TRUE(v.openFiles({path_}, &error)) << error.toStdString();
    v.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&v));
  }
  QPoint At(const HistoryView& v, double t) const {
    return QPoint(static_cast<int>(std::lround(v.plot().xAtTime(t))),
                  v.plot().plotRect(0).center().y());
  }

  QTemporaryDir dir_;
  QString path_;
};

TEST_F(HistoryViewTest, WheelZoomsAboutThePointerDragPansDoubleClickShowsAll) {
  Write(testing::DataLogText(kT0, 7200));
  HistoryView v;
  Open(v);
  EXPECT_EQ(v.from(), kT0);
  EXPECT_EQ(v.to(), kT0 + 7199);

  // One notch forward: a fifth less time, the time under the pointer stays put.
  const QPoint p = At(v, kT0 + 1800);
  QWheelEvent wheel(p, v.mapToGlobal(p), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
  QApplication::sendEvent(&v, &wheel);
  EXPECT_NEAR(v.to() - v.from(), 0.8 * 7199, 1e-6);
  EXPECT_NEAR(v.plot().timeAtX(p.x()), kT0 + 1800, 7199.0 / 1000);

  // Dragging 50 pixels to the right brings earlier records in.
  const double perPixel = (v.to() - v.from()) / v.plot().plotRect(0).width();
  const double before = v.from();
  QTest::mousePress(&v, Qt::LeftButton, {}, p);
  QTest::mouseMove(&v, p + QPoint(50, 0));
  QTest::mouseRelease(&v, Qt::LeftButton, {}, p + QPoint(50, 0));
  EXPECT_NEAR(v.from(), before - 50 * perPixel, 1e-6);
  EXPECT_NEAR(v.to() - v.from(), 0.8 * 7199, 1e-6);
  // ... but not past the first record.
  QTest::mousePress(&v, Qt::LeftButton, {}, p);
  QTest::mouseMove(&v, p + QPoint(600, 0));
  QTest::mouseRelease(&v, Qt::LeftButton, {}, p + QPoint(600, 0));
  EXPECT_EQ(v.from(), kT0);

  QTest::mouseDClick(&v, Qt::LeftButton, {}, p);
  EXPECT_EQ(v.from(), kT0);
  EXPECT_EQ(v.to(), kT0 + 7199);
}

TEST_F(HistoryViewTest, CursorReadsTheTimeAndTheRecordsUnderIt) {
  Write(testing::DataLogText(kT0, 3600, kT0 + 2000, kT0 + 2600));
  HistoryView v;
  Open(v);
  v.setTimeRange(kT0 + 1100, kT0 + 1400);

  QTest::mouseMove(&v, At(v, kT0 + 1234));
  QStringList text = v.cursorText();
  ASSERT_FALSE(text.isEmpty());
  EXPECT_EQ(text[0].toStdString(), "2026-12-08 10:20:34 UTC");
  const QString snr = QString("S/N in 1 Hz %1 dB").arg(testing::SnrAt(kT0 + 1234), 0, 'f', 1);
  EXPECT_TRUE(text.contains(snr)) << text.join(" | ").toStdString();

  // Record 1260 was unsteady: its S/N is missing, its noise density is not.
  ASSERT_TRUE(testing::Unsteady(1260));
  QTest::mouseMove(&v, At(v, kT0 + 1260));
  text = v.cursorText();
  EXPECT_TRUE(text.contains("S/N in 1 Hz missing")) << text.join(" | ").toStdString();
  EXPECT_TRUE(text.contains("Noise -126.0 dBFS/Hz")) << text.join(" | ").toStdString();

  // In the middle of the stretch without records there is nothing to read.
  v.setTimeRange(kT0 + 1800, kT0 + 2800);
  QTest::mouseMove(&v, At(v, kT0 + 2300));
  EXPECT_TRUE(v.cursorText().contains(QString::fromUtf8("S/N in 1 Hz \u2014")));

  QTest::mouseMove(&v, QPoint(2, 2));
  EXPECT_TRUE(v.cursorText().isEmpty());
}

TEST_F(HistoryViewTest, FollowsALogBeingWrittenUnlessTheUserLooksBack) {
  Write(testing::DataLogText(kT0, 600));
  HistoryView v;
  Open(v);
  auto records = [&v] { return v.files().history[HistoryField::Cn0DbHz].size(); };

  // A new START: its header again, then records.
  Write(testing::DataLogText(kT0 + 600, 60), QIODevice::Append);
  ASSERT_TRUE(QTest::qWaitFor([&] { return records() == 660; }, 20000)) << records();
  EXPECT_EQ(v.from(), kT0);
  EXPECT_EQ(v.to(), kT0 + 659);

  // Looking back at the first minutes: new records do not move the view.
  v.setTimeRange(kT0, kT0 + 120);
  Write(testing::DataLogText(kT0 + 660, 60), QIODevice::Append);
  ASSERT_TRUE(QTest::qWaitFor([&] { return records() == 720; }, 20000)) << records();
  EXPECT_EQ(v.to(), kT0 + 120);
}

// Pixels of the S/N line's blue in one column of the S/N pane.
int BluePixels(const QImage& image, const QRect& pane, int x) {
  int n = 0;
  for (int y = pane.top() + 1; y < pane.bottom(); ++y) {
    const QColor c = image.pixelColor(x, y);
    if (c.blue() - c.red() > 30) ++n;  // even half covered by the antialiased line
  }
  return n;
}

TEST(HistoryPlot, NoLineIsDrawnAcrossGapsAndSingleRecordsStillShow) {
  // An hour of records, two hours without, an hour more, then twenty minutes of missing
  // values with one record in their middle.
  LogHistory h;
  HistorySeries& s = h[HistoryField::Snr1HzDb];
  for (int k = 0; k < 12000; ++k) {
    if (k >= 3600 && k < 7200) continue;
    s.t.push_back(k);
    s.v.push_back(k < 10800 ? 20.0f : k == 11400 ? 25.0f : std::nanf(""));
  }
  HistoryPlot plot;
  plot.setHistory(&h);
  QImage image(1200, 800, QImage::Format_RGB32);
  QPainter p(&image);
  plot.paint(p, image.rect(), 0, 12000);
  p.end();

  const QRect pane = plot.plotRect(0);
  auto x = [&](double t) { return static_cast<int>(std::lround(plot.xAtTime(t))); };
  EXPECT_GT(BluePixels(image, pane, x(1800)), 0);
  EXPECT_GT(BluePixels(image, pane, x(9000)), 0);
  EXPECT_GT(BluePixels(image, pane, x(11400)), 0);
  for (const double t : {3700.0, 5400.0, 7100.0, 11000.0, 11800.0}) {
    EXPECT_EQ(BluePixels(image, pane, x(t)), 0) << "at " << t << " s";
  }
}

}  // namespace
}  // namespace corvane
