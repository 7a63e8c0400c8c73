#pragma once
// Where a station publishes: mqtt://host[:port]/topic or mqtts://host[:port]/topic (TLS).
// The topic names the station; its last level is the station's name in every message.
// User names and passwords never go in the URL (it shows in `ps` and in shell history):
// they come from a file or the environment (broker_credentials.h).

#include <string>

namespace corvane {

struct BrokerUrl {
  bool tls = false;
  std::string host;  // a name, an IPv4 address or an IPv6 address without brackets
  int port = 0;
  std::string topic;    // "corvane/STATION": messages go to <topic>/record, /run, /alarm
  std::string station;  // the topic's last level

  // The URL as the status line shows it: no credentials, nothing that varies by spelling.
  std::string Display() const;
};

inline constexpr int kMqttPort = 1883;
inline constexpr int kMqttTlsPort = 8883;

// False with a one-line reason when `text` is not such a URL.
bool ParseBrokerUrl(const std::string& text, BrokerUrl* url, std::string* error);

}  // namespace corvane
