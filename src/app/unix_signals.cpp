#include "app/unix_signals.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace corvane {
namespace {

int g_fds[2] = {-1, -1};

void OnSignal(int number) {
  const int saved = errno;
  const char byte = static_cast<char>(number);
  // Nothing to do when the pipe is full: a signal is already waiting to be handled.
  if (::write(g_fds[0], &byte, 1) < 0) {
  }
  errno = saved;
}

}  // namespace

UnixSignals::UnixSignals(QObject* parent) : QObject(parent) {
  std::signal(SIGPIPE, SIG_IGN);
  if (g_fds[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_fds) != 0) return;
  ::fcntl(g_fds[0], F_SETFL, O_NONBLOCK);
  ::fcntl(g_fds[1], F_SETFL, O_NONBLOCK);
  notifier_ = new QSocketNotifier(g_fds[1], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &UnixSignals::onReadable);
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  for (int number : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(number, &sa, nullptr);
}

UnixSignals::~UnixSignals() {
  struct sigaction sa {};
  sa.sa_handler = SIG_DFL;
  sigemptyset(&sa.sa_mask);
  for (int number : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(number, &sa, nullptr);
}

void UnixSignals::onReadable() {
  char byte = 0;
  while (::read(g_fds[1], &byte, 1) == 1) emit received(static_cast<unsigned char>(byte));
}

}  // namespace corvane
