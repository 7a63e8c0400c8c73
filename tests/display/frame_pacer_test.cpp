#include "display/frame_pacer.h"

#include <gtest/gtest.h>

#include <QTest>

namespace corvane {
namespace {

struct Counted {
  FramePacer pacer;
  int frames = 0;
  Counted() {
    QObject::connect(&pacer, &FramePacer::frame, &pacer, [this] { ++frames; });
  }
};

// The frame held back comes by itself once the interval has passed.
TEST(FramePacer, HeldBackFrameComesAfterTheInterval) {
  Counted c;
  c.pacer.setInterval(30);
  c.pacer.changed();
  c.pacer.changed();
  ASSERT_EQ(c.frames, 1);
  EXPECT_TRUE(QTest::qWaitFor([&] { return c.frames == 2; }, 10000));
  EXPECT_FALSE(c.pacer.pending());
}

// Held (no one can see the picture): changes give no frame until the flush.
TEST(FramePacer, HeldGivesFramesOnlyWhenFlushed) {
  Counted c;
  c.pacer.setInterval(0);
  c.pacer.setHeld(true);
  for (int i = 0; i < 10; ++i) c.pacer.changed();
  QTest::qWait(20);
  EXPECT_EQ(c.frames, 0);
  c.pacer.flush();
  EXPECT_EQ(c.frames, 1);
}

}  // namespace
}  // namespace corvane
