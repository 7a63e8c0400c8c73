#include "network/broker_credentials.h"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace corvane {

namespace {

std::string Trim(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  const size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

}  // namespace

bool ParseCredentials(const std::string& text, BrokerCredentials* out, std::string* error) {
  BrokerCredentials c;
  std::istringstream in(text);
  std::string line;
  for (int n = 1; std::getline(in, line); ++n) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string trimmed = Trim(line);
    if (trimmed.empty() || trimmed[0] == '#') continue;
    const size_t eq = line.find('=');
    if (eq == std::string::npos) {
      *error = "line " + std::to_string(n) + ": not key=value";
      return false;
    }
    const std::string key = Trim(line.substr(0, eq));
    // A password may begin or end with blanks: the value is taken exactly as written.
    const std::string value = line.substr(eq + 1);
    if (key == "user") {
      c.user = Trim(value);
    } else if (key == "password") {
      c.password = value;
    } else if (key == "ca_file") {
      c.caFile = Trim(value);
    } else {
      *error =
          "line " + std::to_string(n) + ": unknown key: " + key + " (user, password or ca_file)";
      return false;
    }
  }
  if (c.user.empty() && !c.password.empty()) {
    *error = "a password without a user";
    return false;
  }
  *out = c;
  return true;
}

bool ReadCredentialsFile(const std::string& path, BrokerCredentials* out, std::string* error,
                         std::string* warning) {
  warning->clear();
  std::ifstream f(path, std::ios::binary);
  if (!f) {
    *error = "cannot read " + path;
    return false;
  }
  std::ostringstream text;
  text << f.rdbuf();
  if (!ParseCredentials(text.str(), out, error)) {
    *error = path + ": " + *error;
    return false;
  }
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && (st.st_mode & (S_IRGRP | S_IROTH)) != 0 &&
      !out->password.empty()) {
    *warning = path + " holds a password and others may read it (chmod 600 " + path + ")";
  }
  return true;
}

BrokerCredentials CredentialsFromEnvironment(
    const std::function<const char*(const char*)>& getenv) {
  auto get = [&getenv](const char* name) -> std::string {
    const char* v = getenv ? getenv(name) : std::getenv(name);
    return v != nullptr ? std::string(v) : std::string();
  };
  BrokerCredentials c;
  c.user = get("CORVANE_MQTT_USER");
  c.password = get("CORVANE_MQTT_PASSWORD");
  c.caFile = get("CORVANE_MQTT_CA_FILE");
  return c;
}

}  // namespace corvane
