#include "app/message.h"

#include <QApplication>
#include <QGuiApplication>
#include <cstdio>

namespace corvane {

bool HeadlessPlatform() {
  const QString name = QGuiApplication::platformName();
  return name == QLatin1String("offscreen") || name == QLatin1String("minimal");
}

void ShowMessage(QWidget* parent, const QString& text, QMessageBox::Icon icon) {
  if (HeadlessPlatform()) {
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    return;
  }
  QMessageBox box(icon, QApplication::applicationName(), text, QMessageBox::Ok, parent);
  box.exec();
}

}  // namespace corvane
