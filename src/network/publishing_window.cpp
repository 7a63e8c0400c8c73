#include "network/publishing_window.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "network/mqtt_link.h"

namespace corvane {

PublishingWindow::PublishingWindow(MqttLink& link, QWidget* parent)
    : QWidget(parent, Qt::Window), link_(link) {
  setObjectName("PublishingWindow");
  setWindowTitle("Publishing to an MQTT broker");
  Url = new QLineEdit(this);
  Url->setObjectName("MqttUrl");
  Url->setPlaceholderText("mqtt://host:1883/corvane/STATION");
  Url->setToolTip(
      "mqtt:// or mqtts:// (TLS), the broker, and the topic: records go to "
      "<topic>/record, the run to <topic>/run, alarms to <topic>/alarm");
  CredentialsFile = new QLineEdit(this);
  CredentialsFile->setObjectName("MqttCredentialsFile");
  CredentialsFile->setPlaceholderText("none: CORVANE_MQTT_USER, CORVANE_MQTT_PASSWORD");
  CredentialsFile->setToolTip(
      "A file of user=, password= and ca_file= lines, readable by "
      "you alone");
  Publish = new QCheckBox("Publish every record", this);
  Publish->setObjectName("MqttPublish");
  ApplyButton = new QPushButton("Apply", this);
  ApplyButton->setObjectName("MqttApply");
  Error = new QLabel(this);
  Error->setObjectName("MqttError");
  Error->setStyleSheet("color: rgb(192, 0, 0)");
  Error->setWordWrap(true);
  Status = new QLabel(this);
  Status->setObjectName("MqttStatus");
  Status->setWordWrap(true);
  Queue = new QLabel(this);
  Queue->setObjectName("MqttQueue");
  Queue->setWordWrap(true);

  auto* form = new QFormLayout;
  form->addRow("Broker URL", Url);
  form->addRow("Credentials file", CredentialsFile);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(Publish);
  layout->addWidget(ApplyButton, 0, Qt::AlignRight);
  layout->addWidget(Error);
  layout->addWidget(Status);
  layout->addWidget(Queue);
  resize(480, sizeHint().height());

  connect(ApplyButton, &QPushButton::clicked, this, &PublishingWindow::Apply);
  connect(Url, &QLineEdit::returnPressed, this, &PublishingWindow::Apply);
  connect(&link_, &MqttLink::statusChanged, this, &PublishingWindow::ShowStatus);
  Reload();
}

void PublishingWindow::Reload() {
  const MqttSettings& s = link_.settings();
  Url->setText(s.url);
  CredentialsFile->setText(s.credentialsFile);
  Publish->setChecked(s.enabled);
  Error->clear();
  ShowStatus(link_.StatusText());
}

bool PublishingWindow::Apply() {
  MqttSettings s;
  s.url = Url->text().trimmed();
  s.credentialsFile = CredentialsFile->text().trimmed();
  s.enabled = Publish->isChecked();
  QString error;
  if (!link_.Configure(s, true, &error)) {
    Error->setText(error);
    return false;
  }
  Error->clear();
  emit applied(s);
  ShowStatus(link_.StatusText());
  return true;
}

void PublishingWindow::ShowStatus(const QString& text) {
  Status->setText(text.isEmpty() ? (link_.enabled() ? QStringLiteral("MQTT: starting")
                                                    : QStringLiteral("MQTT: not publishing"))
                                 : text);
  Queue->setText(QStringLiteral("While the broker is away, records wait in %1 (up to a day "
                                "of them at one a second).")
                     .arg(link_.queuePath()));
}

}  // namespace corvane
