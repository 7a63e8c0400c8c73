#include "network/mqtt_publisher.h"

#include <mosquitto.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <utility>
#include <vector>

#include "network/delivery_window.h"

namespace corvane {

namespace {

std::once_flag libraryReady;

// What the network thread tells the queue thread.
struct LinkEvent {
  enum class Kind { Connected, Refused, Lost, Unreachable, Acknowledged } kind;
  int generation = 0;  // which connection
  int mid = 0;
  std::string detail;
};

// Each thread's end is waited for this long at Close: a connect stuck on a host that does
// not answer, or a write to a disk that does not, is left to end with the process.
constexpr std::chrono::seconds kEndWait{3};

}  // namespace

std::string PublisherStatus::LinkText() const {
  std::string s;
  switch (state) {
    case LinkState::Connecting:
      s = "connecting";
      break;
    case LinkState::Connected:
      s = "connected";
      break;
    case LinkState::Unreachable:
      s = "broker unreachable";
      break;
    case LinkState::Refused:
      s = "broker refused the connection";
      break;
  }
  if (!detail.empty() && state != LinkState::Connected) s += " (" + detail + ")";
  return s;
}

std::string PublisherStatus::Text() const {
  std::string s = LinkText();
  s += ", " + std::to_string(queued) + " queued";
  if (dropped > 0) s += ", " + std::to_string(dropped) + " dropped";
  if (!queueError.empty()) s += "; queue file: " + queueError;
  return s;
}

struct MqttPublisher::Shared {
  explicit Shared(PublisherConfig c, StatusChanged s)
      : config(std::move(c)), changed(std::move(s)), sync(config.syncToDisk) {}

  const PublisherConfig config;
  const StatusChanged changed;

  std::mutex mutex;
  std::condition_variable wake;     // the queue thread: messages, events, the end
  std::condition_variable settled;  // Close and WaitQueued
  std::condition_variable netWake;  // the network thread's pause between attempts
  std::deque<QueuedMessage> inbox;
  std::deque<LinkEvent> events;
  uint64_t handedOver = 0;  // messages given to Publish
  uint64_t stored = 0;      // ... of which the queue thread has dealt with
  bool sync;
  bool stop = false;     // the queue thread ends
  bool netStop = false;  // the network thread ends
  bool netDone = false;
  bool queueDone = false;
  PublisherStatus status;

  // The client of the current connection; the queue thread publishes through it, the
  // network thread creates and destroys it.
  std::mutex clientMutex;
  mosquitto* client = nullptr;
  int clientGeneration = 0;

  void Post(LinkEvent e) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      events.push_back(std::move(e));
    }
    wake.notify_one();
  }
};

MqttPublisher::MqttPublisher(PublisherConfig config, StatusChanged changed)
    : config_(config), shared_(std::make_shared<Shared>(std::move(config), std::move(changed))) {
  std::call_once(libraryReady, [] { mosquitto_lib_init(); });
  // Each thread holds its own reference: one left behind at the end never touches freed
  // memory.
  queueThread_ = std::thread([s = shared_] { QueueThread(s); });
  networkThread_ = std::thread([s = shared_] { NetworkThread(s); });
}

MqttPublisher::~MqttPublisher() {
  if (!closed_) Close(std::chrono::milliseconds(0));
}

void MqttPublisher::Publish(MessageKind kind, std::string payload) {
  {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->inbox.push_back({kind, std::move(payload)});
    ++shared_->handedOver;
  }
  shared_->wake.notify_one();
}

void MqttPublisher::SetSyncToDisk(bool on) {
  std::lock_guard<std::mutex> lock(shared_->mutex);
  shared_->sync = on;
}

PublisherStatus MqttPublisher::status() const {
  std::lock_guard<std::mutex> lock(shared_->mutex);
  return shared_->status;
}

bool MqttPublisher::WaitQueued(std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(shared_->mutex);
  return shared_->settled.wait_for(lock, limit,
                                   [this] { return shared_->stored == shared_->handedOver; });
}

PublisherStatus MqttPublisher::Close(std::chrono::milliseconds limit) {
  if (closed_) return status();
  closed_ = true;
  Shared& s = *shared_;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  {
    std::unique_lock<std::mutex> lock(s.mutex);
    // What was handed over reaches the file first; a disk stuck beyond kEndWait is left to
    // the process's end.
    s.settled.wait_for(lock, kEndWait, [&s] { return s.stored == s.handedOver; });
    // A connection that is still being made counts: a short run may end before it is up.
    s.settled.wait_until(lock, deadline, [&s] {
      return s.status.queued == 0 || s.status.state == LinkState::Unreachable ||
             s.status.state == LinkState::Refused;
    });
    s.netStop = true;
    s.stop = true;
  }
  s.netWake.notify_all();
  s.wake.notify_all();
  {
    std::lock_guard<std::mutex> lock(s.clientMutex);
    // Ends the connection cleanly, and wakes the network thread from its wait.
    if (s.client != nullptr) mosquitto_disconnect(s.client);
  }
  bool queueEnded = false, netEnded = false;
  {
    std::unique_lock<std::mutex> lock(s.mutex);
    queueEnded = s.settled.wait_for(lock, kEndWait, [&s] { return s.queueDone; });
    netEnded = s.settled.wait_for(lock, kEndWait, [&s] { return s.netDone; });
  }
  if (queueEnded) {
    queueThread_.join();
  } else {
    queueThread_.detach();
  }
  if (netEnded) {
    networkThread_.join();
  } else {
    networkThread_.detach();
  }
  return status();
}

void MqttPublisher::QueueThread(const std::shared_ptr<Shared>& sp) {
  Shared& s = *sp;
  const PublisherConfig& c = s.config;
  DiskQueue queue(c.queuePath, c.queueCapacity);
  DeliveryWindow window(c.maxInFlight);
  std::deque<QueuedMessage> unstored;  // messages the file would not take yet
  bool open = false;
  bool connected = false;
  int generation = -1;
  int refusedGeneration = -1;
  PublisherStatus status;
  std::string warning;
  uint64_t droppedUnstored = 0;

  auto tryOpen = [&] {
    std::string error;
    open = queue.Open(&error, &warning);
    status.queueError = open ? std::string() : error;
  };
  tryOpen();
  status.queued = queue.size();

  std::unique_lock<std::mutex> lock(s.mutex);
  s.status = status;
  while (true) {
    s.wake.wait(lock, [&s] { return s.stop || !s.inbox.empty() || !s.events.empty(); });
    std::deque<QueuedMessage> inbox;
    std::deque<LinkEvent> events;
    inbox.swap(s.inbox);
    events.swap(s.events);
    const bool stopping = s.stop;
    const uint64_t taken = inbox.size();
    queue.SetSyncToDisk(s.sync);
    lock.unlock();

    for (QueuedMessage& m : inbox) unstored.push_back(std::move(m));
    if (!open && !unstored.empty()) tryOpen();
    while (open && !unstored.empty()) {
      std::string error;
      if (!queue.Push(unstored.front(), &error)) {
        status.queueError = error;
        break;
      }
      status.queueError.clear();
      unstored.pop_front();
    }
    // A file that takes nothing: messages wait in memory, within the same bound.
    while (unstored.size() > c.queueCapacity) {
      unstored.pop_front();
      ++droppedUnstored;
    }

    for (const LinkEvent& e : events) {
      switch (e.kind) {
        case LinkEvent::Kind::Connected:
          generation = e.generation;
          connected = true;
          window.Reset();
          status.state = LinkState::Connected;
          status.detail.clear();
          break;
        case LinkEvent::Kind::Refused:
          connected = false;
          refusedGeneration = e.generation;
          status.state = LinkState::Refused;
          status.detail = e.detail;
          break;
        case LinkEvent::Kind::Lost:
          connected = false;
          // A refusal ends its connection too; the refusal is what the operator must see.
          if (e.generation == refusedGeneration) break;
          status.state = LinkState::Unreachable;
          status.detail = e.detail;
          break;
        case LinkEvent::Kind::Unreachable:
          connected = false;
          status.state = LinkState::Unreachable;
          status.detail = e.detail;
          break;
        case LinkEvent::Kind::Acknowledged:
          if (e.generation == generation && open) {
            const size_t done = window.Acknowledged(e.mid, queue.frontSeq());
            std::string error;
            if (done > 0 && !queue.PopFront(done, &error)) status.queueError = error;
            status.delivered += done;
          }
          break;
      }
    }

    while (connected && open) {
      const std::optional<uint64_t> seq = window.Next(queue.frontSeq(), queue.size());
      if (!seq) break;
      QueuedMessage m;
      std::string error;
      if (!queue.Read(*seq, &m, &error)) {
        status.queueError = error;
        break;
      }
      const char* leaf = m.kind == MessageKind::Run     ? "/run"
                         : m.kind == MessageKind::Alarm ? "/alarm"
                                                        : "/record";
      const std::string topic = c.url.topic + leaf;
      int mid = 0;
      int rc = MOSQ_ERR_NO_CONN;
      {
        std::lock_guard<std::mutex> clientLock(s.clientMutex);
        if (s.client != nullptr && s.clientGeneration == generation) {
          rc = mosquitto_publish(s.client, &mid, topic.c_str(), static_cast<int>(m.payload.size()),
                                 m.payload.data(), 1, m.kind == MessageKind::Run);
        }
      }
      // The connection is going: its loss arrives as an event and the message goes again.
      if (rc != MOSQ_ERR_SUCCESS) break;
      window.Sent(mid, *seq);
    }

    status.queued = (open ? queue.size() : 0) + unstored.size();
    status.dropped = queue.dropped() + droppedUnstored;

    lock.lock();
    s.stored += taken;
    const bool changed = !(status == s.status);
    s.status = status;
    s.settled.notify_all();
    if (changed && s.changed) {
      lock.unlock();
      s.changed(status);
      lock.lock();
    }
    if (stopping) break;
  }
  s.queueDone = true;
  s.settled.notify_all();
}

void MqttPublisher::NetworkThread(const std::shared_ptr<Shared>& sp) {
  Shared& s = *sp;
  const PublisherConfig& c = s.config;
  struct Context {
    Shared* shared;
    int generation;
    bool accepted;  // the broker took this connection (set on this thread, in the loop)
  };
  auto pause = std::chrono::seconds(1);
  for (int generation = 1;; ++generation) {
    {
      std::lock_guard<std::mutex> lock(s.mutex);
      if (s.netStop) break;
    }
    Context context{&s, generation, false};
    mosquitto* m = mosquitto_new(nullptr, true, &context);
    std::string detail;
    if (m == nullptr) {
      detail = std::strerror(errno);
    } else {
      mosquitto_threaded_set(m, true);
      mosquitto_max_inflight_messages_set(m, static_cast<unsigned>(c.maxInFlight));
      if (!c.credentials.user.empty()) {
        mosquitto_username_pw_set(
            m, c.credentials.user.c_str(),
            c.credentials.password.empty() ? nullptr : c.credentials.password.c_str());
      }
      int rc = MOSQ_ERR_SUCCESS;
      if (c.url.tls) {
        rc = c.credentials.caFile.empty() ? mosquitto_int_option(m, MOSQ_OPT_TLS_USE_OS_CERTS, 1)
                                          : mosquitto_tls_set(m, c.credentials.caFile.c_str(),
                                                              nullptr, nullptr, nullptr, nullptr);
      }
      mosquitto_connect_callback_set(m, [](mosquitto*, void* data, int result) {
        auto* ctx = static_cast<Context*>(data);
        if (result == 0) {
          ctx->accepted = true;
          ctx->shared->Post({LinkEvent::Kind::Connected, ctx->generation, 0, {}});
        } else {
          ctx->shared->Post(
              {LinkEvent::Kind::Refused, ctx->generation, 0, mosquitto_connack_string(result)});
        }
      });
      mosquitto_publish_callback_set(m, [](mosquitto*, void* data, int mid) {
        auto* ctx = static_cast<Context*>(data);
        ctx->shared->Post({LinkEvent::Kind::Acknowledged, ctx->generation, mid, {}});
      });
      if (rc == MOSQ_ERR_SUCCESS) {
        errno = 0;
        rc = mosquitto_connect(m, c.url.host.c_str(), c.url.port, c.keepAliveS);
      }
      if (rc != MOSQ_ERR_SUCCESS) {
        detail = rc == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(rc);
        s.Post({LinkEvent::Kind::Unreachable, generation, 0, detail});
      } else {
        {
          std::lock_guard<std::mutex> lock(s.clientMutex);
          s.client = m;
          s.clientGeneration = generation;
        }
        while (true) {
          {
            std::lock_guard<std::mutex> lock(s.mutex);
            if (s.netStop) break;
          }
          // Wakes at least once a second for the keep-alive, and at once when the queue
          // thread publishes.
          rc = mosquitto_loop(m, 1000, 1);
          if (rc != MOSQ_ERR_SUCCESS) break;
        }
        {
          std::lock_guard<std::mutex> lock(s.clientMutex);
          s.client = nullptr;
        }
        detail = rc == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(rc);
        s.Post({LinkEvent::Kind::Lost, generation, 0, detail});
      }
      mosquitto_destroy(m);
    }
    // A connection the broker took starts the pauses over.
    if (context.accepted) pause = std::chrono::seconds(1);
    const auto wait = pause;
    pause = std::min<std::chrono::seconds>(pause * 2, kMaxRetryPause);
    std::unique_lock<std::mutex> lock(s.mutex);
    if (s.netWake.wait_for(lock, wait, [&s] { return s.netStop; })) break;
  }
  std::lock_guard<std::mutex> lock(s.mutex);
  s.netDone = true;
  s.settled.notify_all();
}

}  // namespace corvane
