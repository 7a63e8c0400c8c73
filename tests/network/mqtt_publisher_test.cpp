#include "network/mqtt_publisher.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "support/closed_port.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

TEST(MqttPublisher, WithTheBrokerAwayMessagesWaitOnDiskInOrderForTheNextStart) {
  std::string tmpl = (fs::temp_directory_path() / "corvane_publisher_XXXXXX").string();
  ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
  const fs::path dir = tmpl;
  PublisherConfig config;
  std::string error;
  const int port = testing::ClosedPort();
  ASSERT_NE(port, 0);
  ASSERT_TRUE(ParseBrokerUrl("mqtt://127.0.0.1:" + std::to_string(port) + "/corvane/T", &config.url,
                             &error))
      << error;
  config.queuePath = (dir / "SIGREC.TXT.mqtt-queue").string();
  config.syncToDisk = false;

  std::mutex m;
  std::condition_variable cv;
  PublisherStatus last;
  {
    MqttPublisher p(config, [&](const PublisherStatus& s) {
      std::lock_guard<std::mutex> lock(m);
      last = s;
      cv.notify_all();
    });
    p.Publish(MessageKind::Run, "{\"run\":1}");
    for (int i = 0; i < 3; ++i) p.Publish(MessageKind::Record, "{\"n\":" + std::to_string(i) + "}");
    ASSERT_TRUE(p.WaitQueued(std::chrono::seconds(60)));
    {
      std::unique_lock<std::mutex> lock(m);
      ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(60), [&] {
        return last.state == LinkState::Unreachable && last.queued == 4;
      })) << last.Text();
    }
    EXPECT_EQ(last.Text().rfind("broker unreachable (Connection refused), 4 queued", 0), 0u)
        << last.Text();
    p.Close(std::chrono::seconds(0));
  }

  DiskQueue q(config.queuePath);
  std::string warning;
  ASSERT_TRUE(q.Open(&error, &warning)) << error;
  std::vector<std::string> kept;
  for (uint64_t s = q.frontSeq(); s < q.frontSeq() + q.size(); ++s) {
    QueuedMessage message;
    ASSERT_TRUE(q.Read(s, &message, &error)) << error;
    kept.push_back(std::string(1, static_cast<char>(message.kind)) + message.payload);
  }
  EXPECT_EQ(kept,
            (std::vector<std::string>{"D{\"run\":1}", "R{\"n\":0}", "R{\"n\":1}", "R{\"n\":2}"}));
  fs::remove_all(dir);
}

}  // namespace
}  // namespace corvane
