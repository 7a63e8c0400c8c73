#include "logging/data_log_panel.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QMetaObject>
#include <cstdio>
#include <memory>
#include <optional>

#include "logging/log_panel.h"

namespace corvane {

DataLogPanel::DataLogPanel(const MeasurementParams& params, QWidget* parent)
    : QObject(parent), p_(params), log_(std::make_unique<DataLog>()) {
  DataLogOn = new QCheckBox("Data log (CSV)", parent);
  DataLogOn->setObjectName("DataLogOn");
  DataLogOn->setChecked(true);
  DataLogOn->setToolTip(
      "Beside every record of the log, a row of calibrated figures (C/N0, frequency to a "
      "fraction of a bin, drift, levels in dBFS) in a CSV file");
  DataLogFile = new QLabel(parent);
  DataLogFile->setObjectName("DataLogFile");
  // Runs on the writer's thread; a success like the last one tells the window nothing new.
  appender_ = std::make_unique<BackgroundAppender>(
      [this, last = std::make_shared<std::optional<AppendResult>>()](const AppendResult& r) {
        if (r.ok && *last == r) return;
        *last = r;
        QMetaObject::invokeMethod(this, [this, r] { OnResult(r); }, Qt::QueuedConnection);
      });
  connect(DataLogOn, &QCheckBox::toggled, this, &DataLogPanel::Refresh);
}

DataLogPanel::~DataLogPanel() {
  appender_.reset();  // the thread ends before the data log it writes goes
}

void DataLogPanel::setFileName(const std::string& name) {
  ownName_ = name;
  Refresh();
}

std::string DataLogPanel::fileName() const {
  if (!ownName_.empty()) return ownName_;
  return p_.LogFileName.empty() ? std::string() : DataLogFileName(p_.LogFileName);
}

bool DataLogPanel::enabled() const { return DataLogOn->isChecked(); }
void DataLogPanel::setEnabled(bool on) { DataLogOn->setChecked(on); }

void DataLogPanel::SetSyncToDisk(bool on) {
  DataLog* log = log_.get();
  appender_->Run([log, on] {
    log->writer().SetSyncToDisk(on);
    return AppendResult{};
  });
  // Without the sync the appender gathers the rows, too.
  appender_->SetSyncToDisk(on);
}

void DataLogPanel::Refresh() {
  const QString name = FileNameText(fileName());
  DataLogFile->setText(enabled() && !name.isEmpty() ? name : QString());
  DataLogFile->setToolTip(name.isEmpty() ? QString() : QFileInfo(name).absoluteFilePath());
}

void DataLogPanel::StartRun(const RunDescription& run) {
  Refresh();
  runStarted_ = false;
  const std::string name = fileName();
  if (!enabled() || name.empty()) return;
  runStarted_ = true;
  DataLog* log = log_.get();
  appender_->Run([log, name, run] { return log->Start(name, run); });
}

void DataLogPanel::Append(const DataRecord& row) {
  const std::string name = fileName();
  if (!enabled() || name.empty()) return;
  DataLog* log = log_.get();
  if (!runStarted_) {
    // Switched on during a run: the rows still get a description and a header first.
    runStarted_ = true;
    RunDescription unknown;
    unknown.source = row.source;
    unknown.started = row.utc;
    appender_->Run([log, name, unknown] { return log->Start(name, unknown); });
  }
  auto shared = std::make_shared<const DataRecord>(row);
  appender_->Run([log, name, shared] { return log->Append(name, *shared); }, name,
                 [log, shared] { log->Hold(*shared); });
}

void DataLogPanel::OnResult(const AppendResult& r) {
  lastResult_ = r;
  if (!r.ok && !failed_) {
    failed_ = true;
    emit writeFailureChanged(true, QString::fromStdString(r.StatusText()));
  } else if (r.ok && failed_) {
    failed_ = false;
    emit writeFailureChanged(false, QString());
  }
}

bool DataLogPanel::WaitForWrites(int limitMs) {
  const bool idle = appender_->WaitIdle(std::chrono::milliseconds(limitMs));
  QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
  return idle;
}

void DataLogPanel::FlushAtEnd() {
  const std::string name = fileName();
  DataLog* log = log_.get();
  if (!name.empty()) appender_->Run([log, name] { return log->writer().Flush(name); });
  if (WaitForWrites(10000) && !lastResult_.ok)
    std::fprintf(stderr, "Data log: %s\n", lastResult_.StatusText().c_str());
}

}  // namespace corvane
