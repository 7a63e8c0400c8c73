#pragma once
// The data log: a CSV file beside the text log (SIGREC.TXT), one row per record of it, at the
// same ticks through a LogWriter of its own (whole rows, synced, failed rows held).
//
// The file opens in a spreadsheet and in pandas: read_csv(path, comment='#'). It starts with
// lines beginning with "#" that describe the run, written again at every START, then one
// header line; rows follow. Besides the two times and the source, every field is a bare
// number or empty (unknown); the source text is always quoted.
//
// The program calls, beside the text log:
//   Start(file, run)   at every START, with the run's description;
//   Append(file, row)  at every record of the text log, before its values are reset.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "logging/data_record.h"
#include "logging/log_writer.h"

namespace corvane {

// The data log's default name: the log's name with its extension replaced by ".csv"
// (SIGREC.TXT -> SIGREC.csv; a name without an extension gets one).
std::string DataLogFileName(const std::string& logFileName);

// The header line, without line end: the columns of DataRecordColumns(), comma-separated.
std::string DataLogHeader();
// The "#" lines describing a run, each ended by CR LF.
std::string DataLogDescription(const RunDescription& run);

// The run's figures one by one, with the texts of the "#" lines (the band in two fields),
// for places that want them apart: the network's description of a run.
struct RunField {
  std::string key;    // "sample_rate_hz"
  std::string value;  // "12000"; empty when unknown
  bool number = false;
};
std::vector<RunField> RunDescriptionFields(const RunDescription& run);
// One row, ended by CR LF.
std::string DataLogRow(const DataRecord& row);
// The row's fields as DataLogRow writes them, in the order of DataRecordColumns(), the
// source unquoted: the same texts wherever a record goes.
std::vector<std::string> DataLogFields(const DataRecord& row);

// ISO 8601 times of a second since the Unix epoch: "2026-12-08T18:00:00Z" in UTC, and the
// same second in local time without a zone, "2026-12-08T19:00:00".
std::string IsoUtc(int64_t unixSeconds);
std::string IsoLocal(int64_t unixSeconds);

// A level or S/N as the text log holds it; empty for its missing value (-99).
std::optional<double> LoggedFigure(double db);

class DataLog {
 public:
  // Appends the run's description, and the header line when the file is new or holds no
  // rows yet. A file whose header differs from this one's is left alone: rows with other
  // columns would not read back.
  AppendResult Start(const std::string& fileName, const RunDescription& run);
  AppendResult Append(const std::string& fileName, const DataRecord& row);
  // Queues the row for the next Append's write (LogWriter::Hold).
  void Hold(const DataRecord& row) { writer_.Hold(DataLogRow(row)); }

  LogWriter& writer() { return writer_; }

 private:
  LogWriter writer_;
  bool headerHeld_ = false;  // a header line waits in the writer for the file
};

}  // namespace corvane
