#pragma once
// A small window of its own (not modal: capture goes on behind it) for publishing to an
// MQTT broker: the URL, a credentials file, the switch, and the broker's status. Apply
// checks the settings and publishes with them from now on; `applied` tells the window,
// which keeps them for the next start.

#include <QWidget>

#include "network/mqtt_link.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace corvane {

class PublishingWindow : public QWidget {
  Q_OBJECT
 public:
  PublishingWindow(MqttLink& link, QWidget* parent = nullptr);

  // The settings in use, into the fields.
  void Reload();
  // Checks, keeps and takes the fields' settings; false (the reason shown) when they will
  // not do.
  bool Apply();

  QLineEdit* Url;
  QLineEdit* CredentialsFile;
  QCheckBox* Publish;
  QPushButton* ApplyButton;
  QLabel* Error;
  QLabel* Status;
  QLabel* Queue;

 signals:
  void applied(const MqttSettings& settings);

 private:
  void ShowStatus(const QString& text);
  MqttLink& link_;
};

}  // namespace corvane
