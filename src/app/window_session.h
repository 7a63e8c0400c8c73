#pragma once
// What the window keeps between runs beside the settings file, which holds only the
// design's eleven lines: its size and place, its docks, and the options of the data log, of
// recording and of publishing to an MQTT broker. Kept with QSettings in the user's
// configuration folder (~/.config/Corvane/Corvane.conf).

#include <QString>

class QMainWindow;

namespace corvane {

struct WindowSession {
  bool geometryRestored = false;  // the window's size and place came back
  bool plotAreaRestored = false;  // the waterfall's dock came back as it was left
  bool waterfallAutoLevel = true;
  bool dataLogOn = true;
  QString recordDirectory = QStringLiteral("recordings");
  bool recording = false;
  QString mqttUrl;              // mqtt://host:1883/corvane/STATION
  QString mqttCredentialsFile;  // empty: the environment's, if any
  bool mqttOn = false;
};

// Puts back the window's geometry and docks (when they were saved) and returns the options.
// `plotArea` holds the waterfall's dock: docked or floating, where, and whether shown.
WindowSession RestoreSession(QMainWindow* window, QMainWindow* plotArea);
void SaveSession(const QMainWindow* window, const QMainWindow* plotArea,
                 const WindowSession& session);

}  // namespace corvane
