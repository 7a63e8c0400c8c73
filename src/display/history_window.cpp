#include "display/history_window.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "display/history_view.h"

namespace corvane {

HistoryWindow::HistoryWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setWindowTitle("Log history");
  view_ = new HistoryView(this);
  status_ = new QLabel(this);
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* open = new QPushButton("Open logs\u2026", this);
  connect(open, &QPushButton::clicked, this, &HistoryWindow::chooseFiles);
  connect(view_, &HistoryView::recordsAppended, this, &HistoryWindow::showStatus);

  auto* bar = new QHBoxLayout;
  bar->addWidget(open);
  bar->addWidget(status_, 1);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(view_, 1);
  layout->addLayout(bar);
  showStatus();
}

bool HistoryWindow::openFiles(const QStringList& paths) {
  error_.clear();
  const bool ok = view_->openFiles(paths, &error_);
  if (ok) setWindowTitle("Log history - " + view_->files().title);
  showStatus();
  return ok;
}

void HistoryWindow::setAlarmThreshold(double db) {
  view_->setAlarmThreshold(db);
}

QString HistoryWindow::status() const {
  return status_->text();
}

void HistoryWindow::chooseFiles() {
  // Not modal: the window and the live logs go on while the dialog is open.
  auto* dialog = new QFileDialog(this, "Open logs", QString(),
                                 "Logs (*.TXT *.txt *.csv *.CSV);;All files (*)");
  dialog->setFileMode(QFileDialog::ExistingFiles);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialog, &QFileDialog::filesSelected, this, &HistoryWindow::openFiles);
  dialog->open();
}

void HistoryWindow::showStatus() {
  if (!error_.isEmpty()) {
    status_->setText(error_);
    return;
  }
  const HistoryFiles& f = view_->files();
  if (f.files.empty()) {
    status_->setText("No log open.");
    return;
  }
  size_t skipped = 0;
  for (const HistoryFile& file : f.files) skipped += file.reader.skippedLines();
  QString text = QString("%1 records from %2 file%3, followed as they grow.")
                     .arg(f.history.rows())
                     .arg(f.files.size())
                     .arg(f.files.size() == 1 ? "" : "s");
  if (skipped > 0)
    text += QString(" %1 unreadable line%2 skipped.").arg(skipped).arg(skipped == 1 ? "" : "s");
  text += "  Wheel: zoom.  Drag: pan.  Double click: whole span.";
  status_->setText(text);
}

}  // namespace corvane
