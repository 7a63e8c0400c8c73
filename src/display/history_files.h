#pragma once
// Log files read for the history: all of them at once, then what each has had appended.

#include <QString>
#include <QStringList>
#include <vector>

#include "logging/log_history.h"

namespace corvane {

struct HistoryFile {
  QString path;
  LogReader reader;
};

struct HistoryFiles {
  std::vector<HistoryFile> files;
  LogHistory history;          // all files joined
  bool datesInferred = false;  // a record log is among them
  QString title;               // the files' names, for the picture's title
};

// Reads every file and joins them. False with a one-line reason (a missing or unreadable
// file, or one that is not a log) and `out` untouched.
bool LoadHistoryFiles(const QStringList& paths, HistoryFiles* out, QString* error);

// What one file has had appended since it was last read, added to `more`. False when the
// file shrank or went away: it must be read again from the start.
bool ReadAppended(HistoryFile* file, LogHistory* more);

}  // namespace corvane
