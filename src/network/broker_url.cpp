#include "network/broker_url.h"

#include <cctype>

namespace corvane {

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// %XX escapes, so a topic level may hold a blank or a non-ASCII name.
bool PercentDecode(const std::string& in, std::string* out) {
  out->clear();
  for (size_t i = 0; i < in.size(); ++i) {
    if (in[i] != '%') {
      *out += in[i];
      continue;
    }
    if (i + 2 >= in.size()) return false;
    const int hi = HexDigit(in[i + 1]), lo = HexDigit(in[i + 2]);
    if (hi < 0 || lo < 0) return false;
    *out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  return true;
}

bool Fail(std::string* error, const std::string& why) {
  *error = why;
  return false;
}

}  // namespace

std::string BrokerUrl::Display() const {
  const std::string h = host.find(':') != std::string::npos ? "[" + host + "]" : host;
  return std::string(tls ? "mqtts://" : "mqtt://") + h + ":" + std::to_string(port) + "/" + topic;
}

bool ParseBrokerUrl(const std::string& text, BrokerUrl* url, std::string* error) {
  BrokerUrl u;
  const size_t schemeEnd = text.find("://");
  if (schemeEnd == std::string::npos)
    return Fail(error, "not a broker URL (mqtt://host:1883/corvane/STATION): " + text);
  const std::string scheme = Lower(text.substr(0, schemeEnd));
  if (scheme == "mqtts") {
    u.tls = true;
  } else if (scheme != "mqtt") {
    return Fail(error, "the URL must begin with mqtt:// or mqtts://: " + text);
  }
  const std::string rest = text.substr(schemeEnd + 3);
  const size_t slash = rest.find('/');
  const std::string authority = rest.substr(0, slash);
  if (authority.find('@') != std::string::npos) {
    return Fail(error,
                "no user or password in the URL: give them in a credentials file or "
                "in CORVANE_MQTT_USER and CORVANE_MQTT_PASSWORD");
  }
  std::string portText;
  if (!authority.empty() && authority[0] == '[') {
    const size_t close = authority.find(']');
    if (close == std::string::npos) return Fail(error, "unclosed [ in the host: " + text);
    u.host = authority.substr(1, close - 1);
    const std::string after = authority.substr(close + 1);
    if (!after.empty()) {
      if (after[0] != ':') return Fail(error, "not a host and port: " + authority);
      portText = after.substr(1);
      if (portText.empty()) return Fail(error, "no port after the colon: " + authority);
    }
  } else {
    const size_t colon = authority.find(':');
    u.host = authority.substr(0, colon);
    if (colon != std::string::npos) {
      portText = authority.substr(colon + 1);
      if (portText.empty()) return Fail(error, "no port after the colon: " + authority);
    }
  }
  if (u.host.empty()) return Fail(error, "the URL names no host: " + text);
  u.port = u.tls ? kMqttTlsPort : kMqttPort;
  if (!portText.empty()) {
    if (portText.size() > 5) return Fail(error, "not a port: " + portText);
    int port = 0;
    for (char c : portText) {
      if (c < '0' || c > '9') return Fail(error, "not a port: " + portText);
      port = port * 10 + (c - '0');
    }
    if (port < 1 || port > 65535) return Fail(error, "not a port: " + portText);
    u.port = port;
  }

  const std::string path = slash == std::string::npos ? std::string() : rest.substr(slash + 1);
  if (path.find('?') != std::string::npos) return Fail(error, "no query in a broker URL: " + text);
  if (!PercentDecode(path, &u.topic)) return Fail(error, "a bad %-escape in the topic: " + path);
  if (u.topic.empty()) {
    return Fail(error,
                "the URL needs a topic after the host, for example "
                "mqtt://host:1883/corvane/STATION");
  }
  if (u.topic.find_first_of("+#") != std::string::npos)
    return Fail(error, "a topic to publish to holds no wildcards (+ or #): " + u.topic);
  for (char c : u.topic) {
    if (c == '\0') return Fail(error, "a NUL character in the topic");
  }
  // An empty level ("a//b", a trailing "/") is allowed by MQTT but is nearly always a typo,
  // and it would leave the station without a name.
  if (u.topic.front() == '/' || u.topic.back() == '/' || u.topic.find("//") != std::string::npos) {
    return Fail(error, "an empty level in the topic: " + u.topic);
  }
  u.station = u.topic.substr(u.topic.find_last_of('/') + 1);
  *url = u;
  return true;
}

}  // namespace corvane
