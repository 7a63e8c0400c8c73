#include "display/history_files.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

namespace corvane {

namespace {

double ModificationTime(const QFileInfo& info) {
  return static_cast<double>(info.lastModified().toMSecsSinceEpoch()) / 1000.0;
}

// The file from `offset` to its end, mapped rather than copied where the system allows.
bool ReadFrom(HistoryFile* f, qint64 offset, LogHistory* out) {
  QFile file(f->path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  const qint64 size = file.size();
  if (size < offset) return false;
  if (size == offset) return true;
  const double mtime = ModificationTime(QFileInfo(f->path));
  if (uchar* data = file.map(offset, size - offset)) {
    f->reader.read(
        std::string_view(reinterpret_cast<const char*>(data), static_cast<size_t>(size - offset)),
        mtime, out);
    file.unmap(data);
    return true;
  }
  if (!file.seek(offset)) return false;
  const QByteArray bytes = file.readAll();
  f->reader.read(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())), mtime,
                 out);
  return true;
}

}  // namespace

bool LoadHistoryFiles(const QStringList& paths, HistoryFiles* out, QString* error) {
  HistoryFiles loaded;
  std::vector<LogHistory> parts;
  QStringList names;
  for (const QString& path : paths) {
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile()) {
      *error = path + ": no such file";
      return false;
    }
    HistoryFile f{info.absoluteFilePath(), LogReader()};
    LogHistory part;
    if (!ReadFrom(&f, 0, &part)) {
      *error = path + ": cannot be read";
      return false;
    }
    if (f.reader.format() == LogFormat::Unknown && info.size() > 0) {
      *error = path + ": neither the record log nor the data log";
      return false;
    }
    loaded.datesInferred = loaded.datesInferred || f.reader.datesInferred();
    names << info.fileName();
    parts.push_back(std::move(part));
    loaded.files.push_back(std::move(f));
  }
  loaded.history = JoinHistories(std::move(parts));
  loaded.title =
      names.size() <= 3
          ? names.join(", ")
          : QString("%1 files: %2 \u2026 %3").arg(names.size()).arg(names.front(), names.back());
  *out = std::move(loaded);
  return true;
}

bool ReadAppended(HistoryFile* file, LogHistory* more) {
  return ReadFrom(file, static_cast<qint64>(file->reader.consumed()), more);
}

}  // namespace corvane
