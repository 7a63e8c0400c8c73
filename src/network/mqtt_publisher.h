#pragma once
// Publishes a station's messages to an MQTT broker (libmosquitto), QoS 1, in order, with
// nothing lost while the broker is away: every message goes first into the on-disk queue
// (disk_queue.h) and leaves it only once the broker has acknowledged it.
//
// Two threads of its own, so neither the disk nor the network ever holds up the caller:
// one owns the queue and decides what to send; the other connects (a connect to a host
// that does not answer can block for minutes), runs the connection and reconnects with a
// growing pause (1 s up to kMaxRetryPause). Each connection is a fresh client that starts
// from the oldest queued message.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "network/broker_credentials.h"
#include "network/broker_url.h"
#include "network/disk_queue.h"

namespace corvane {

struct PublisherConfig {
  BrokerUrl url;
  BrokerCredentials credentials;
  std::string queuePath;
  size_t queueCapacity = DiskQueue::kDayOfRecords;
  size_t maxInFlight = 20;  // messages sent and not yet acknowledged
  int keepAliveS = 30;
  bool syncToDisk = true;  // each queued message synced before it counts as kept
};

enum class LinkState { Connecting, Connected, Unreachable, Refused };

struct PublisherStatus {
  LinkState state = LinkState::Connecting;
  std::string detail;      // why unreachable or refused: "Connection refused"
  size_t queued = 0;       // waiting for the broker, those in flight included
  uint64_t dropped = 0;    // dropped from a full queue since the start
  uint64_t delivered = 0;  // acknowledged by the broker since the start
  std::string queueError;  // the queue's file failed and has not recovered

  // The status line: "broker unreachable (Connection refused), 12 queued, 3 dropped".
  std::string Text() const;
  // Its first part, the link alone: "broker unreachable (Connection refused)".
  std::string LinkText() const;
  bool operator==(const PublisherStatus&) const = default;
};

inline constexpr std::chrono::seconds kMaxRetryPause{10};

class MqttPublisher {
 public:
  // Called on the publisher's own thread whenever the status changes.
  using StatusChanged = std::function<void(const PublisherStatus&)>;

  MqttPublisher(PublisherConfig config, StatusChanged changed = {});
  // Close(0) unless closed already.
  ~MqttPublisher();
  MqttPublisher(const MqttPublisher&) = delete;
  MqttPublisher& operator=(const MqttPublisher&) = delete;

  // Hands a message over; returns at once.
  void Publish(MessageKind kind, std::string payload);
  void SetSyncToDisk(bool on);
  // Waits until every message handed over is in the queue's file; false when `limit` passed.
  bool WaitQueued(std::chrono::milliseconds limit);
  // The program's end: every message handed over goes into the queue; while the broker is
  // connected, waits up to `limit` for it to acknowledge them all. What is left stays in
  // the queue's file for the next start.
  PublisherStatus Close(std::chrono::milliseconds limit);
  PublisherStatus status() const;
  const PublisherConfig& config() const { return config_; }

 private:
  struct Shared;
  static void QueueThread(const std::shared_ptr<Shared>& s);
  static void NetworkThread(const std::shared_ptr<Shared>& s);

  PublisherConfig config_;
  std::shared_ptr<Shared> shared_;
  std::thread queueThread_, networkThread_;
  bool closed_ = false;
};

}  // namespace corvane
