// The main window's menu actions: what File, View and Help do, and recording the input.

#include <QAction>
#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QUrl>

#include "app/corvane_window.h"
#include "app/main_controls.h"
#include "app/main_menu.h"
#include "capture/run_control.h"
#include "display/history_window.h"
#include "display/waterfall_window.h"
#include "logging/data_log_panel.h"
#include "logging/log_panel.h"

namespace corvane {

void CorvaneWindow::ConnectMenu() {
  MainMenu& m = *menu_;
  connect(m.openRecording, &QAction::triggered, this, &CorvaneWindow::OpenRecording);
  connect(m.recordInput, &QAction::toggled, c_->RecordInput, &QCheckBox::setChecked);
  connect(c_->RecordInput, &QCheckBox::toggled, m.recordInput, &QAction::setChecked);
  connect(m.openLogFolder, &QAction::triggered, this, [this] {
    const QFileInfo log(FileNameText(params_.LogFileName));
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(log.absolutePath())))
      Notice(QStringLiteral("No file manager opened %1").arg(log.absolutePath()));
  });
  // The log is named relative to the working folder: its full path is one hover away.
  auto showLogPath = [this, &m] {
    const QString path = QFileInfo(FileNameText(params_.LogFileName)).absoluteFilePath();
    c_->log->LogMsg->setToolTip(QStringLiteral("The log: %1").arg(path));
    m.openLogFolder->setStatusTip(QFileInfo(path).absolutePath());
    m.openLogFolder->setToolTip(QFileInfo(path).absolutePath());
  };
  connect(c_->log->StartLog, &QCheckBox::toggled, this, showLogPath);
  connect(c_->log->LogFile, &QLineEdit::textChanged, this, showLogPath);
  showLogPath();
  connect(m.network, &QAction::triggered, this, &CorvaneWindow::showPublishingSettings);
  connect(m.quit, &QAction::triggered, this, &QWidget::close);
  // The menu's check follows the dock, however it was closed or shown.
  connect(m.showWaterfall, &QAction::toggled, c_->WFDock, &QWidget::setVisible);
  connect(c_->WFDock->toggleViewAction(), &QAction::toggled, m.showWaterfall,
          &QAction::setChecked);
  m.showWaterfall->setChecked(c_->WFDock->toggleViewAction()->isChecked());
  connect(m.logHistory, &QAction::triggered, this, &CorvaneWindow::OpenLogHistory);
  connect(m.fullScreen, &QAction::toggled, this,
          [this](bool on) { on ? showFullScreen() : showNormal(); });
  // Esc leaves full screen.
  auto* leave = new QAction(this);
  leave->setShortcut(Qt::Key_Escape);
  connect(leave, &QAction::triggered, m.fullScreen, [&m] { m.fullScreen->setChecked(false); });
  addAction(leave);
  connect(m.shortcuts, &QAction::triggered, this, [this] { ShowShortcuts(this); });
  connect(m.about, &QAction::triggered, this, [this] { ShowAbout(this); });
}

void CorvaneWindow::OpenRecording() {
  // Not a modal dialog: capture may be running behind it.
  auto* dialog = new QFileDialog(this, "Open a recording", QString(),
                                 "Audio files (*.wav *.flac *.aif *.aiff *.w64 *.rf64);;"
                                 "All files (*)");
  dialog->setObjectName("OpenRecordingDialog");
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setFileMode(QFileDialog::ExistingFile);
  connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& path) {
    if (run_->running()) StopCapture();
    selectSource(WavFileEntry(path));
  });
  dialog->open();
}

void CorvaneWindow::OpenLogHistory() {
  auto* history = new HistoryWindow;
  history->setAttribute(Qt::WA_DeleteOnClose);
  history->setAlarmThreshold(params_.AlarmThreshDb);
  QStringList files;
  for (const std::string& name : {params_.LogFileName, c_->dataLog->fileName()}) {
    const QString text = FileNameText(name);
    if (!text.isEmpty() && QFileInfo(text).isFile()) files << text;
  }
  if (!files.isEmpty()) history->openFiles(files);
  history->show();
}

void CorvaneWindow::setRecording(const QString& directory, bool on) {
  recordDir_ = directory;
  c_->RecordInput->setToolTip(QStringLiteral("Records the input as FLAC, a file an hour, into %1")
                                  .arg(QDir(directory).absolutePath()));
  if (c_->RecordInput->isChecked() == on) {
    run_->setRecording(on ? recordDir_ : QString());
  } else {
    c_->RecordInput->setChecked(on);
  }
}

}  // namespace corvane
