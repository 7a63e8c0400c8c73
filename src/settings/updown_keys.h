#pragma once
// Up and Down in a parameter's text box step it as its up-down bar's arrows do (the upper
// arrow raises the value); Page Up and Page Down take ten such steps, never past the bar's
// ends.

class QLineEdit;
class QScrollBar;

namespace corvane {

void AttachUpDownKeys(QLineEdit* edit, QScrollBar* bar);

}  // namespace corvane
