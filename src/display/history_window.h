#pragma once
// The "Log history" window: the history view, a button to open logs and a line saying what
// is shown. openFiles() is all a menu needs.

#include <QStringList>
#include <QWidget>

class QLabel;

namespace corvane {

class HistoryView;

class HistoryWindow : public QWidget {
  Q_OBJECT
 public:
  explicit HistoryWindow(QWidget* parent = nullptr);

  // Shows the logs' whole span and follows them as they grow. False when one cannot be read:
  // the reason stands in the window's status line and the view keeps what it showed.
  bool openFiles(const QStringList& paths);
  void setAlarmThreshold(double db);
  HistoryView* view() const { return view_; }
  QString status() const;

 private:
  void chooseFiles();
  void showStatus();

  HistoryView* view_ = nullptr;
  QLabel* status_ = nullptr;
  QString error_;
};

}  // namespace corvane
