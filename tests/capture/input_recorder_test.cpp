#include "capture/input_recorder.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <vector>

#include "capture/audio_file_reader.h"

namespace corvane {
namespace {

// The window's side: blocks in, notices out on the window's thread, a gap and the disk
// margin reported, and the file holding exactly what was taken.
TEST(InputRecorder, RecordsTheBlocksAndReportsGapsAndTheDiskMargin) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString where = dir.filePath("rec");  // made by start()
  InputRecorder rec;
  qint64 freeBytes = 300'000'000;
  rec.setFreeSpaceProbe([&](const QString&) { return freeBytes; });
  QDateTime now(QDate(2026, 12, 8), QTime(18, 0, 0), Qt::UTC);
  rec.setClock([&] { return now; });
  QSignalSpy notices(&rec, &InputRecorder::notice);
  QSignalSpy changes(&rec, &InputRecorder::recordingChanged);
  QSignalSpy gaps(&rec, &InputRecorder::gapRecorded);

  QString error;
  EXPECT_FALSE(rec.start(where, 1000, &error));
  EXPECT_TRUE(error.contains("300 MB free")) << error.toStdString();
  freeBytes = 2'000'000'000;
  ASSERT_TRUE(rec.start(where, 1000, &error)) << error.toStdString();
  ASSERT_EQ(changes.count(), 1);
  EXPECT_TRUE(changes.at(0).at(0).toBool());

  std::vector<int16_t> block(2 * 500);
  int next = 0;  // the frame number carried in the left channel
  auto take = [&] {
    for (int i = 0; i < 500; ++i) block[2 * i] = static_cast<int16_t>(next + i);
    next += 500;
    now = now.addMSecs(500);
    rec.takeBlock(block.data(), 500);
  };
  for (int b = 0; b < 4; ++b) take();
  rec.noteDroppedBlocks(2);
  next += 1000;
  now = now.addMSecs(1000);
  take();
  ASSERT_TRUE(gaps.wait(20000));
  EXPECT_EQ(gaps.at(0).at(0).toString(), where + "/corvane-20261208T180000Z.flac");
  EXPECT_EQ(gaps.at(0).at(1).toDouble(), 2.0);
  EXPECT_EQ(gaps.at(0).at(2).toLongLong(), 2);
  EXPECT_TRUE(notices.last().at(0).toString().endsWith("into the file: dropped by the capture"));

  freeBytes = 100'000'000;
  for (int b = 0; b < 12 && rec.isRecording(); ++b) take();
  ASSERT_TRUE(changes.count() == 2 || changes.wait(20000));
  EXPECT_FALSE(changes.at(1).at(0).toBool());
  EXPECT_FALSE(rec.isRecording());
  EXPECT_TRUE(notices.last().at(0).toString().startsWith("Recording stopped: 100 MB free"));
  rec.stop();

  AudioFileReader r;
  ASSERT_TRUE(r.Open(QFile::encodeName(where + "/corvane-20261208T180000Z.flac").toStdString()))
      << r.error();
  std::vector<int16_t> s(static_cast<size_t>(2 * r.frames()));
  ASSERT_EQ(r.ReadFrames(s.data(), r.frames()), r.frames());
  ASSERT_GT(r.frames(), 2500);
  for (int64_t i = 0; i < r.frames(); ++i) {
    // 2000 frames, then the 1000 dropped are not there.
    const int64_t frame = i < 2000 ? i : i + 1000;
    ASSERT_EQ(s[static_cast<size_t>(2 * i)], static_cast<int16_t>(frame)) << i;
  }
}

}  // namespace
}  // namespace corvane
