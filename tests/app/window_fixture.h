#pragma once
// A main window built in a fresh temporary current directory, so CORVANE.INI and the log
// files of a test never land in the source tree or meet another test's.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTemporaryDir>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/corvane_window.h"
#include "capture/run_control.h"
#include "dsp/fft.h"
#include "logging/log_panel.h"

namespace corvane::testing {

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    oldDir_ = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir_.path()));
  }
  void TearDown() override {
    window_.reset();
    QDir::setCurrent(oldDir_);
  }

  // The settings file, one CR LF line per entry.
  void WriteIni(const std::vector<std::string>& lines) {
    std::ofstream f("CORVANE.INI", std::ios::binary);
    for (const std::string& l : lines) f << l << "\r\n";
  }
  static std::vector<std::string> DesignExampleIni() {
    return {" 12000 ", " 8192 ", " 683 ", " 68 ", " 20 ", " 5400 ",
            " 10 ",    " 4 ",    " 60 ",  "SIGREC.TXT", " 4 "};
  }

  CorvaneWindow& Make() {
    window_ = std::make_unique<CorvaneWindow>();
    return *window_;
  }

  template <class T>
  T* Find(const char* name) {
    T* w = window_->findChild<T*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  QLineEdit* Edit(const char* name) { return Find<QLineEdit>(name); }
  QScrollBar* Bar(const char* name) { return Find<QScrollBar>(name); }
  QLabel* Label(const char* name) { return Find<QLabel>(name); }
  QString Text(const char* name) { return Edit(name)->text(); }

  // Picks a list entry as a user would: the entry becomes current, then `activated`.
  static void Pick(QComboBox* box, const QString& text) {
    const int index = box->findText(text);
    ASSERT_GE(index, 0) << text.toStdString();
    box->setCurrentIndex(index);
    emit box->activated(index);
  }

  // Record lines in GenInfo; the notices between them ("Log write failed", …) left out.
  int GenInfoRecords() {
    const QStringList lines =
        window_->findChild<QPlainTextEdit*>("GenInfo")->toPlainText().split('\n');
    static const QRegularExpression record("^\\d\\d:\\d\\d:\\d\\d  -?\\d{4,}  ");
    return static_cast<int>(lines.filter(record).size());
  }

  // The lines of a file, once the window's log writer has finished what it was given.
  std::vector<std::string> FileLines(const QString& path) {
    if (window_) {
      EXPECT_TRUE(window_->logging().WaitForWrites());
    }
    std::vector<std::string> lines;
    std::ifstream f(path.toStdString(), std::ios::binary);
    std::string line;
    while (std::getline(f, line)) lines.push_back(line);
    return lines;
  }

  QTemporaryDir dir_;
  QString oldDir_;
  std::unique_ptr<CorvaneWindow> window_;
};

}  // namespace corvane::testing
