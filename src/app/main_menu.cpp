#include "app/main_menu.h"

#include <QAction>
#include <QKeySequence>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>

namespace corvane {
namespace {

QAction* Add(QMenu* menu, const QString& text, const char* name, const QKeySequence& key = {},
             bool checkable = false) {
  QAction* a = menu->addAction(text);
  a->setObjectName(name);
  if (!key.isEmpty()) a->setShortcut(key);
  a->setCheckable(checkable);
  return a;
}

// A message that stays on screen beside the window without stopping anything.
void ShowNote(QWidget* parent, const QString& title, const QString& html) {
  auto* box = new QMessageBox(QMessageBox::NoIcon, title, html, QMessageBox::Close, parent);
  box->setObjectName(title);
  box->setTextFormat(Qt::RichText);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setModal(false);
  box->show();
}

}  // namespace

MainMenu::MainMenu(QMainWindow* window) {
  QMenuBar* bar = window->menuBar();
  QMenu* file = bar->addMenu("&File");
  openRecording = Add(file, "&Open a recording…", "OpenRecording", QKeySequence::Open);
  recordInput = Add(file, "&Record the input", "RecordInputAction", QKeySequence("Ctrl+R"), true);
  openLogFolder = Add(file, "Open the &log's folder", "OpenLogFolder");
  network = Add(file, "Station &network (MQTT)…", "StationNetwork");
  file->addSeparator();
  quit = Add(file, "&Quit", "Quit", QKeySequence::Quit);
  // From any of the program's windows (the help, the log history), not only the main one.
  quit->setShortcutContext(Qt::ApplicationShortcut);

  QMenu* view = bar->addMenu("&View");
  showWaterfall = Add(view, "&Waterfall", "ShowWaterfall", QKeySequence("Ctrl+W"), true);
  logHistory = Add(view, "Log &history…", "LogHistory", QKeySequence("Ctrl+H"));
  view->addSeparator();
  fullScreen = Add(view, "&Full screen", "FullScreen", QKeySequence::FullScreen, true);

  QMenu* help = bar->addMenu("&Help");
  shortcuts = Add(help, "&Keyboard shortcuts", "Shortcuts", QKeySequence::HelpContents);
  about = Add(help, "&About Corvane", "About");
}

void ShowShortcuts(QWidget* parent) {
  ShowNote(parent, "Keyboard shortcuts",
           "<table cellspacing=4>"
           "<tr><td><b>Ctrl+O</b></td><td>open a recording to play</td></tr>"
           "<tr><td><b>Ctrl+R</b></td><td>record the input on or off</td></tr>"
           "<tr><td><b>Ctrl+W</b></td><td>show or hide the waterfall</td></tr>"
           "<tr><td><b>Ctrl+H</b></td><td>the log's history</td></tr>"
           "<tr><td><b>F11</b></td><td>full screen on or off; <b>Esc</b> leaves it</td></tr>"
           "<tr><td><b>F1</b></td><td>this list</td></tr>"
           "<tr><td><b>Ctrl+Q</b></td><td>quit (settings are saved)</td></tr>"
           "<tr><td><b>Up</b>, <b>Down</b></td><td>in a parameter box: one step, as its "
           "arrows</td></tr>"
           "<tr><td><b>Page Up</b>, <b>Page Down</b></td><td>in a parameter box: ten "
           "steps</td></tr>"
           "<tr><td>Click on the spectrum</td><td>centre frequency to that point</td></tr>"
           "</table>");
}

void ShowAbout(QWidget* parent) {
  ShowNote(parent, "About Corvane",
           "<h3>Corvane " CORVANE_VERSION "</h3>"
           "<p>Watches a weak, steady radio beacon carrier: measures it against the noise, "
           "follows its frequency and drift, raises an alarm on a strong signal and logs one "
           "record per interval, unattended for days.</p>"
           "<p>Free software under the GNU General Public License, version 3 or later "
           "(see LICENSE). Built with Qt " QT_VERSION_STR ", libsndfile, libpulse and libmosquitto.</p>");
}

}  // namespace corvane
