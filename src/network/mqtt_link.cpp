#include "network/mqtt_link.h"

#include <QFileInfo>
#include <QMetaObject>
#include <cstdio>
#include <mutex>

#include "network/broker_credentials.h"

namespace corvane {

namespace {

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

}  // namespace

// Carries the publisher's status from its thread to this object's, one hop at a time: a
// status that changes a thousand times a second while a backlog drains costs one event.
struct MqttLink::Relay {
  std::mutex mutex;
  MqttLink* target = nullptr;  // cleared before the link goes
  PublisherStatus latest;
  bool posted = false;
};

MqttLink::MqttLink(QObject* parent) : QObject(parent) {}

MqttLink::~MqttLink() {
  FlushAtEnd();
}

void MqttLink::setSyncToDisk(bool on) {
  sync_ = on;
  if (publisher_) publisher_->SetSyncToDisk(on);
}

QString MqttLink::queuePath() const {
  return Q(queuePath_ ? queuePath_() : std::string("SIGREC.TXT.mqtt-queue"));
}

bool MqttLink::Configure(const MqttSettings& settings, bool startNow, QString* error) {
  BrokerUrl url;
  BrokerCredentials credentials;
  if (settings.enabled || !settings.url.isEmpty()) {
    std::string why;
    if (!ParseBrokerUrl(settings.url.trimmed().toStdString(), &url, &why)) {
      *error = Q(why);
      return false;
    }
    if (!settings.credentialsFile.isEmpty()) {
      std::string warning;
      if (!ReadCredentialsFile(settings.credentialsFile.toStdString(), &credentials, &why,
                               &warning)) {
        *error = Q(why);
        return false;
      }
      if (!warning.empty()) emit notice("MQTT: " + Q(warning));
    } else {
      credentials = CredentialsFromEnvironment();
    }
  }
  const bool same = running() && settings.enabled && url.Display() == url_.Display() &&
                    credentials.user == credentials_.user &&
                    credentials.password == credentials_.password &&
                    credentials.caFile == credentials_.caFile;
  settings_ = settings;
  url_ = url;
  credentials_ = credentials;
  if (same) return true;
  Stop();
  if (enabled() && startNow) Start();
  return true;
}

bool MqttLink::Start() {
  if (publisher_ || !enabled()) return publisher_ != nullptr;
  PublisherConfig config;
  config.url = url_;
  config.credentials = credentials_;
  config.queuePath = queuePath().toStdString();
  config.syncToDisk = sync_;
  relay_ = std::make_shared<Relay>();
  relay_->target = this;
  std::shared_ptr<Relay> relay = relay_;
  haveLast_ = false;
  publisher_ = std::make_unique<MqttPublisher>(config, [relay](const PublisherStatus& s) {
    std::lock_guard<std::mutex> lock(relay->mutex);
    relay->latest = s;
    if (relay->target == nullptr || relay->posted) return;
    relay->posted = true;
    MqttLink* link = relay->target;
    QMetaObject::invokeMethod(
        link, [link] { link->TakeStatus(); }, Qt::QueuedConnection);
  });
  return true;
}

void MqttLink::Stop() {
  if (!publisher_) return;
  publisher_->Close(std::chrono::milliseconds(0));
  {
    std::lock_guard<std::mutex> lock(relay_->mutex);
    relay_->target = nullptr;
  }
  publisher_.reset();
  relay_.reset();
  status_.clear();
  emit statusChanged(status_);
}

void MqttLink::TakeStatus() {
  if (!relay_) return;  // stopped since this was posted
  PublisherStatus s;
  {
    std::lock_guard<std::mutex> lock(relay_->mutex);
    s = relay_->latest;
    relay_->posted = false;
  }
  const QString queue = queuePath();
  if (!haveLast_ || s.state != last_.state) {
    switch (s.state) {
      case LinkState::Connected:
        emit notice(
            QStringLiteral("MQTT: connected to %1").arg(Q(url_.Display())) +
            (s.queued > 0 ? QStringLiteral(", sending %1 queued").arg(s.queued) : QString()));
        break;
      case LinkState::Unreachable:
        emit notice(QStringLiteral("MQTT: broker unreachable (%1); records wait in %2")
                        .arg(Q(s.detail), queue));
        break;
      case LinkState::Refused:
        emit notice(QStringLiteral("MQTT: the broker refused the connection (%1); records "
                                   "wait in %2")
                        .arg(Q(s.detail), queue));
        break;
      case LinkState::Connecting:
        break;
    }
  }
  if (s.dropped > 0 && (!haveLast_ || last_.dropped == 0)) {
    emit notice(
        QStringLiteral("MQTT: the queue %1 is full; the oldest records are dropped").arg(queue));
  }
  if (!s.queueError.empty() && (!haveLast_ || last_.queueError != s.queueError))
    emit notice("MQTT: " + Q(s.queueError));
  last_ = s;
  haveLast_ = true;
  const QString text = "MQTT: " + Q(s.Text());
  if (text != status_) {
    status_ = text;
    emit statusChanged(status_);
  }
}

void MqttLink::Publish(MessageKind kind, std::string payload) {
  if (!enabled() || !Start()) return;
  publisher_->Publish(kind, std::move(payload));
}

void MqttLink::PublishRun(const RunDescription& run) {
  if (enabled()) Publish(MessageKind::Run, RunJson(run, url_.station));
}

void MqttLink::PublishRecord(const DataRecord& record) {
  if (enabled()) Publish(MessageKind::Record, RecordJson(record, url_.station));
}

void MqttLink::PublishAlarm(const AlarmEvent& alarm) {
  if (enabled()) Publish(MessageKind::Alarm, AlarmJson(alarm, url_.station));
}

void MqttLink::FlushAtEnd() {
  if (!publisher_) return;
  const PublisherStatus s = publisher_->Close(kEndDrain);
  const std::string queue = queuePath().toStdString();
  // The link's last state says why messages were left: it may have changed after the event
  // loop ended, too late for a notice.
  const std::string why = s.queued > 0 ? " for the next start; " + s.LinkText() : std::string();
  std::fprintf(stderr, "MQTT: %llu message(s) delivered, %zu left in %s%s\n",
               static_cast<unsigned long long>(s.delivered), s.queued, queue.c_str(),
               why.c_str());
  Stop();
}

}  // namespace corvane
