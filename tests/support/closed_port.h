#pragma once
// A localhost TCP port nothing listens on: a connection to it is refused at once, as to a
// broker that is down.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace corvane::testing {

inline int ClosedPort() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  const bool bound = ::bind(s, reinterpret_cast<sockaddr*>(&a), len) == 0 &&
                     ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0;
  ::close(s);
  return bound ? ntohs(a.sin_port) : 0;
}

}  // namespace corvane::testing
