#include <QApplication>
#include <QMainWindow>

#include "settings/parameters.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QMainWindow window;
  window.setObjectName("Corvane");
  window.setWindowTitle(corvane::design::kCaption);
  window.show();
  return app.exec();
}
