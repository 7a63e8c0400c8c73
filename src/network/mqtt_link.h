#pragma once
// The window's side of publishing to an MQTT broker: the settings in use (the window keeps
// the operator's between runs; the command line's are for one run only), the publisher they
// make, and its status for the status line. Messages are built here, on the
// caller's thread, and handed to the publisher, which never makes the caller wait.
//
// The queue where messages wait while the broker is away lies beside the log, named after
// it: SIGREC.TXT gives SIGREC.TXT.mqtt-queue.

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "logging/data_record.h"
#include "network/mqtt_publisher.h"
#include "network/record_json.h"

namespace corvane {

struct MqttSettings {
  QString url;              // mqtt://host:1883/corvane/STATION
  QString credentialsFile;  // empty: the environment's, if any
  bool enabled = false;
};

class MqttLink : public QObject {
  Q_OBJECT
 public:
  explicit MqttLink(QObject* parent = nullptr);
  // Gives the broker a short while to take what is queued (FlushAtEnd) unless done already.
  ~MqttLink() override;

  // Where the queue goes; asked whenever a publisher starts.
  void setQueuePath(std::function<std::string()> path) { queuePath_ = std::move(path); }
  void setSyncToDisk(bool on);

  // Takes these settings for this run; an enabled one starts publishing at once when
  // `startNow`, else with the first message. False, with the reason, when the URL or the
  // credentials will not do; the settings in use are then left as they were.
  bool Configure(const MqttSettings& settings, bool startNow, QString* error);
  const MqttSettings& settings() const { return settings_; }
  bool enabled() const { return settings_.enabled && url_.port != 0; }
  bool running() const { return publisher_ != nullptr; }
  QString queuePath() const;
  QString StatusText() const { return status_; }

  void PublishRun(const RunDescription& run);
  void PublishRecord(const DataRecord& record);
  void PublishAlarm(const AlarmEvent& alarm);
  // Program end: the broker gets up to kEndDrain to take what is queued; what is left
  // waits in the queue for the next start, and standard error says so.
  void FlushAtEnd();

  static constexpr std::chrono::seconds kEndDrain{10};

 signals:
  // "MQTT: connected, 0 queued"; empty when not publishing.
  void statusChanged(const QString& text);
  // Changes the operator should hear of: the broker lost or back, the queue overflowing.
  void notice(const QString& text);

 private:
  struct Relay;
  bool Start();
  void Stop();
  void Publish(MessageKind kind, std::string payload);
  void TakeStatus();

  MqttSettings settings_;
  BrokerUrl url_;
  BrokerCredentials credentials_;
  std::function<std::string()> queuePath_;
  bool sync_ = true;
  std::unique_ptr<MqttPublisher> publisher_;
  std::shared_ptr<Relay> relay_;
  QString status_;
  PublisherStatus last_;
  bool haveLast_ = false;
};

}  // namespace corvane
