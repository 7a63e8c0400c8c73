#pragma once
// The menu bar: File, View and Help, with their keyboard shortcuts. The window connects the
// actions to what they do; nothing here opens a modal dialog (a measurement may be running).

class QAction;
class QMainWindow;
class QWidget;

namespace corvane {

struct MainMenu {
  explicit MainMenu(QMainWindow* window);

  QAction* openRecording = nullptr;  // File: play an audio file
  QAction* recordInput = nullptr;    // File: record the input (checkable)
  QAction* openLogFolder = nullptr;  // File: the log's folder in the file manager
  QAction* network = nullptr;        // File: the station network (MQTT) window
  QAction* quit = nullptr;           // File: Ctrl+Q
  QAction* showWaterfall = nullptr;  // View (checkable)
  QAction* logHistory = nullptr;     // View
  QAction* fullScreen = nullptr;     // View: F11 (checkable)
  QAction* shortcuts = nullptr;      // Help: F1
  QAction* about = nullptr;          // Help
};

// The Help menu's texts, shown in windows that do not hold anything up.
void ShowShortcuts(QWidget* parent);
void ShowAbout(QWidget* parent);

}  // namespace corvane
