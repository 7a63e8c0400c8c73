#pragma once
// Runs the corvane binary in a folder, on the display the tests have, and reads what it
// leaves: its exit, its standard error, the log's records and whether it wrote its settings.

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace corvane::testing {

struct LogRecord {
  std::string time;
  int freq = 0;
  double signal = 0, noise = 0, snr = 0, drift = 0;
};

struct ProgramRun {
  bool finished = false;
  int exitCode = -1;  // -1 when it crashed or was killed
  std::string stdErr;
  std::vector<std::string> lines;  // the log's lines, CR kept
  std::vector<LogRecord> records;
  bool settingsWritten = false;
};

inline int SecondOfDay(const std::string& hhmmss) {
  return std::stoi(hhmmss.substr(0, 2)) * 3600 + std::stoi(hhmmss.substr(3, 2)) * 60 +
         std::stoi(hhmmss.substr(6, 2));
}

// Reads the design's log: one record a line, six fields. Only a plain file: a FIFO in its
// place would wait for a writer.
inline void ReadLog(const QString& path, ProgramRun* run) {
  if (!QFileInfo(path).isFile()) return;
  std::ifstream log(path.toStdString(), std::ios::binary);
  for (std::string line; std::getline(log, line);) {
    run->lines.push_back(line);
    std::istringstream in(line);
    LogRecord r;
    in >> r.time >> r.freq >> r.signal >> r.noise >> r.snr >> r.drift;
    run->records.push_back(r);
  }
}

// Waits for `p` to end (killing it after timeoutMs) and collects the run.
inline ProgramRun Collect(QProcess& p, const QString& dir, int timeoutMs) {
  ProgramRun run;
  run.finished = p.waitForFinished(timeoutMs);
  if (!run.finished) {
    p.kill();
    p.waitForFinished();
  }
  run.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  run.stdErr = p.readAllStandardError().toStdString();
  run.settingsWritten = QFile::exists(dir + "/CORVANE.INI");
  ReadLog(dir + "/SIGREC.TXT", &run);
  return run;
}

// The program runs in `dir`, with a configuration folder of its own there, so what one run
// keeps (the window's size, its options) never reaches another.
inline void PrepareProcess(QProcess& p, const QString& dir) {
  p.setWorkingDirectory(dir);
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("XDG_CONFIG_HOME", dir + "/.config");
  p.setProcessEnvironment(env);
}

inline ProgramRun RunCorvane(const QString& dir, const QStringList& args, int timeoutMs = 120000) {
  QProcess p;
  PrepareProcess(p, dir);
  p.start(CORVANE_BINARY, args);
  return Collect(p, dir, timeoutMs);
}

// True when the records' times run second after second with none twice and none missing.
inline bool ConsecutiveSeconds(const std::vector<LogRecord>& records, std::string* why) {
  for (size_t i = 1; i < records.size(); ++i) {
    const int step = (SecondOfDay(records[i].time) - SecondOfDay(records[i - 1].time) + 86400) % 86400;
    if (step != 1) {
      *why = records[i - 1].time + " is followed by " + records[i].time;
      return false;
    }
  }
  return true;
}

}  // namespace corvane::testing
