// Any bytes as the MQTT message queue's file (a crash, a full disk or a hand edit may leave
// anything there) and as a credentials file: the queue opens, every entry it keeps reads back
// whole and of a known kind, within its bound, and an entry appended then survives a reopen
// behind the others.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "network/broker_credentials.h"
#include "network/disk_queue.h"

namespace corvane::fuzz {
namespace {

constexpr size_t kCapacity = 8;

const std::string& QueuePath() {
  static const std::string path = [] {
    char dir[] = "/tmp/corvane_queue_fuzz_XXXXXX";
    FUZZ_CHECK(mkdtemp(dir) != nullptr, "mkdtemp failed");
    return std::string(dir) + "/SIGREC.TXT.mqtt-queue";
  }();
  return path;
}

std::vector<std::string> Entries(const DiskQueue& q, const std::string& what) {
  std::vector<std::string> out;
  for (uint64_t s = q.frontSeq(); s < q.frontSeq() + q.size(); ++s) {
    QueuedMessage m;
    std::string error;
    FUZZ_CHECK(q.Read(s, &m, &error), what + ": " + error);
    const char k = static_cast<char>(m.kind);
    FUZZ_CHECK(k == 'R' || k == 'D' || k == 'A', what + " kind " + Quoted(std::string(1, k)));
    FUZZ_CHECK(m.payload.find('\n') == std::string::npos, what + " " + Quoted(m.payload));
    out.push_back(k + m.payload);
  }
  return out;
}

}  // namespace
}  // namespace corvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace corvane;
  using namespace corvane::fuzz;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::string what = Quoted(text);

  BrokerCredentials credentials;
  std::string error;
  if (ParseCredentials(std::string(text), &credentials, &error)) {
    FUZZ_CHECK(!credentials.user.empty() || credentials.password.empty(), what);
  } else {
    FUZZ_CHECK(!error.empty(), what);
  }

  const std::string& path = QueuePath();
  std::remove((path + ".unreadable").c_str());
  {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    FUZZ_CHECK(f != nullptr, "cannot write " + path);
    FUZZ_CHECK(std::fwrite(text.data(), 1, text.size(), f) == text.size(), "short write");
    std::fclose(f);
  }
  std::vector<std::string> kept;
  {
    DiskQueue q(path, kCapacity);
    q.SetSyncToDisk(false);
    std::string warning;
    FUZZ_CHECK(q.Open(&error, &warning), what + ": " + error);
    FUZZ_CHECK(q.size() <= kCapacity, what);
    kept = Entries(q, what);
    FUZZ_CHECK(q.Push({MessageKind::Alarm, "{\"last\":1}"}, &error), what + ": " + error);
    kept.push_back("A{\"last\":1}");
    if (kept.size() > kCapacity) kept.erase(kept.begin());
  }
  DiskQueue again(path, kCapacity);
  std::string warning;
  FUZZ_CHECK(again.Open(&error, &warning), what + " reopened: " + error);
  FUZZ_CHECK(Entries(again, what) == kept, what + ": entries changed at the reopen");
  return 0;
}
