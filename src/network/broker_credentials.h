#pragma once
// The broker's user name and password, and the certificate authority for a private TLS
// broker. They come from a file (--mqtt-credentials, or the path kept in the settings) or,
// without one, from the environment; never from the command line.
//
// The file holds "key=value" lines; blank lines and lines beginning with "#" are skipped:
//   user=station-g4abc
//   password=the password, up to the line's end
//   ca_file=/etc/corvane/broker-ca.pem
// The environment: CORVANE_MQTT_USER, CORVANE_MQTT_PASSWORD, CORVANE_MQTT_CA_FILE.

#include <functional>
#include <string>

namespace corvane {

struct BrokerCredentials {
  std::string user;  // empty: connect without a user name
  std::string password;
  std::string caFile;  // empty: the system's certificate authorities (mqtts only)
};

// False with a one-line reason ("line 3: unknown key: username") when the text is not such
// a file.
bool ParseCredentials(const std::string& text, BrokerCredentials* out, std::string* error);

// Reads the file; `warning` is set when others may read it.
bool ReadCredentialsFile(const std::string& path, BrokerCredentials* out, std::string* error,
                         std::string* warning);

// From the environment, through `getenv` (std::getenv unless a test gives another).
BrokerCredentials CredentialsFromEnvironment(
    const std::function<const char*(const char*)>& getenv = {});

}  // namespace corvane
