#pragma once
// Modal messages. On a platform without a screen (offscreen, minimal) nobody could ever
// press OK, so the text goes to standard error and the program goes on.

#include <QMessageBox>
#include <QString>

namespace corvane {

bool HeadlessPlatform();

void ShowMessage(QWidget* parent, const QString& text,
                 QMessageBox::Icon icon = QMessageBox::NoIcon);

}  // namespace corvane
