#include "app/window_session.h"

#include <QMainWindow>
#include <QSettings>

namespace corvane {

WindowSession RestoreSession(QMainWindow* window, QMainWindow* plotArea) {
  QSettings s;
  WindowSession session;
  if (s.contains("window/geometry"))
    session.geometryRestored = window->restoreGeometry(s.value("window/geometry").toByteArray());
  if (s.contains("window/state")) window->restoreState(s.value("window/state").toByteArray());
  if (s.contains("window/plotArea"))
    session.plotAreaRestored = plotArea->restoreState(s.value("window/plotArea").toByteArray());
  session.waterfallAutoLevel = s.value("waterfall/autoLevel", session.waterfallAutoLevel).toBool();
  session.dataLogOn = s.value("dataLog/on", session.dataLogOn).toBool();
  session.recordDirectory = s.value("record/directory", session.recordDirectory).toString();
  session.recording = s.value("record/on", session.recording).toBool();
  session.mqttUrl = s.value("mqtt/url").toString();
  session.mqttCredentialsFile = s.value("mqtt/credentials_file").toString();
  session.mqttOn = s.value("mqtt/on", session.mqttOn).toBool();
  return session;
}

void SaveSession(const QMainWindow* window, const QMainWindow* plotArea,
                 const WindowSession& session) {
  QSettings s;
  s.setValue("window/geometry", window->saveGeometry());
  s.setValue("window/state", window->saveState());
  s.setValue("window/plotArea", plotArea->saveState());
  s.setValue("waterfall/autoLevel", session.waterfallAutoLevel);
  s.setValue("dataLog/on", session.dataLogOn);
  s.setValue("record/directory", session.recordDirectory);
  s.setValue("record/on", session.recording);
  s.setValue("mqtt/url", session.mqttUrl);
  s.setValue("mqtt/credentials_file", session.mqttCredentialsFile);
  s.setValue("mqtt/on", session.mqttOn);
}

}  // namespace corvane
