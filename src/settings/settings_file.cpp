#include "settings/settings_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "common/file_io.h"
#include "common/numtext.h"

namespace corvane {

namespace {

// Splits bytes into settings lines as they arrive, so a huge file never sits in memory.
class LineSplitter {
 public:
  explicit LineSplitter(std::vector<std::string>* lines) : lines_(lines) { lines_->clear(); }

  bool Full() const { return static_cast<int>(lines_->size()) >= kSettingsLineCount; }

  void Feed(char c) {
    if (afterCR_) {
      afterCR_ = false;
      if (c == '\n') return;  // the LF of a CR LF pair
    }
    if (c == '\r' || c == '\n') {
      EndLine();
      afterCR_ = c == '\r';
      return;
    }
    open_ = true;
    if (c != '\0' && line_.size() < kSettingsMaxLineLength) line_.push_back(c);
  }

  // A last line without a line end still counts.
  int Finish() {
    if (open_) EndLine();
    return static_cast<int>(lines_->size());
  }

 private:
  void EndLine() {
    if (!Full()) lines_->push_back(std::move(line_));
    line_.clear();
    open_ = false;
  }

  std::vector<std::string>* lines_;
  std::string line_;
  bool open_ = false;
  bool afterCR_ = false;
};

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

std::string NumberLine(double x) {
  return SignSpacedText(std::isfinite(x) ? x : 0.0) + " \r\n";
}

std::string ErrorText(const std::string& path, const char* what, int err) {
  return "cannot " + std::string(what) + " " + path + ": " + std::strerror(err);
}

// Best effort: makes the rename itself durable.
void SyncDirectoryOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const std::string dir =
      slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

std::string SettingsFileText(const SettingsValues& v) {
  std::string name;
  for (char c : v.logFileName) {
    if (c != '\r' && c != '\n' && c != '\0') name.push_back(c);
  }
  std::string text;
  text += NumberLine(v.sampleRate);
  text += NumberLine(v.fftLen);
  text += NumberLine(v.centreBin);
  text += NumberLine(v.sigBWBins);
  text += NumberLine(v.fMin);
  text += NumberLine(v.fMax);
  text += NumberLine(v.stabLimitDb);
  text += NumberLine(v.detFrames);
  text += NumberLine(v.logIntervalSecs);
  text += name + "\r\n";
  text += NumberLine(v.histLen);
  return text;
}

namespace {

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// The file a symbolic link at path leads to (through any chain of links), or path itself.
std::string WriteTarget(const std::string& path) {
  std::string target = path;
  for (int depth = 0; depth < 40; ++depth) {
    struct stat st {};
    if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return target;
    char buf[PATH_MAX];
    const ssize_t n = ::readlink(target.c_str(), buf, sizeof buf - 1);
    if (n <= 0) return target;
    std::string next(buf, static_cast<size_t>(n));
    target = next[0] == '/' ? next : DirectoryOf(target) + "/" + next;
  }
  return target;
}

}  // namespace

bool WriteSettingsFile(const std::string& linkOrPath, const SettingsValues& values,
                       std::string* error) {
  auto fail = [&](const std::string& reason) {
    if (error != nullptr) *error = reason;
    return false;
  };
  if (linkOrPath.empty() || linkOrPath.find('\0') != std::string::npos) {
    return fail("cannot write settings: invalid file name");
  }
  const std::string path = WriteTarget(linkOrPath);

  // A fresh name beside the target (same file system, so the rename is atomic); O_EXCL never
  // reuses someone else's file, and the mode passed lets the umask apply as for any new file.
  std::string tmp;
  int fd = -1;
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    tmp = path + ".new" + std::to_string(::getpid()) + "_" + std::to_string(attempt);
    fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return fail(ErrorText(path, "write", errno));

  struct stat old {};
  if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
    // Keep the old file's owner and permissions; only root may give the file away, and
    // where that fails the file is still ours and whole.
    if (::fchown(fd, old.st_uid, old.st_gid) != 0) { /* not permitted: keep our own */ }
    ::fchmod(fd, old.st_mode & 07777);
  }

  int err = 0;
  if (!WriteAll(fd, SettingsFileText(values)) || ::fsync(fd) != 0) err = errno;
  if (::close(fd) != 0 && err == 0) err = errno;
  if (err == 0 && ::rename(tmp.c_str(), path.c_str()) != 0) err = errno;
  if (err != 0) {
    ::unlink(tmp.c_str());
    return fail(ErrorText(path, "write", err));
  }
  SyncDirectoryOf(path);
  if (error != nullptr) error->clear();
  return true;
}

int RemoveSettingsLeftovers(const std::string& linkOrPath) {
  const std::string path = WriteTarget(linkOrPath);
  const size_t slash = path.find_last_of('/');
  const std::string dir = DirectoryOf(path);
  const std::string prefix = (slash == std::string::npos ? path : path.substr(slash + 1)) + ".new";
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) return 0;
  int removed = 0;
  while (const dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    // "<pid>_<attempt>", nothing else: a file of any other shape is not ours.
    const std::string rest = name.substr(prefix.size());
    const size_t us = rest.find('_');
    if (us == std::string::npos || us == 0 || us + 1 == rest.size() ||
        rest.find_first_not_of("0123456789_") != std::string::npos ||
        rest.find('_', us + 1) != std::string::npos) {
      continue;
    }
    const long pid = std::strtol(rest.substr(0, us).c_str(), nullptr, 10);
    // A process that still runs may be writing it right now.
    if (pid <= 0 || pid == ::getpid() || ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH)
      continue;
    if (::unlink((dir + "/" + name).c_str()) == 0) ++removed;
  }
  ::closedir(d);
  return removed;
}

bool SettingsFileUnreadable(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return errno == EACCES || errno == EPERM;
  ::close(fd);
  return false;
}

int ReadSettingsLines(const std::string& path, std::vector<std::string>* lines) {
  LineSplitter split(lines);
  if (path.find('\0') != std::string::npos) return 0;
  std::unique_ptr<std::FILE, FileCloser> f(std::fopen(path.c_str(), "rb"));
  if (!f) return 0;
  char buf[65536];
  while (!split.Full()) {
    size_t n = std::fread(buf, 1, sizeof buf, f.get());
    for (size_t i = 0; i < n && !split.Full(); ++i) split.Feed(buf[i]);
    if (n < sizeof buf) {
      // A read error ends the reading like the end of the file, but the line it cut off
      // is not taken as complete.
      if (std::ferror(f.get())) return static_cast<int>(lines->size());
      break;
    }
  }
  return split.Finish();
}

int SplitSettingsLines(std::string_view text, std::vector<std::string>* lines) {
  LineSplitter split(lines);
  for (size_t i = 0; i < text.size() && !split.Full(); ++i) split.Feed(text[i]);
  return split.Finish();
}

double SettingsNumber(std::string_view line) {
  return ParseLeadingNumber(line);
}

}  // namespace corvane
