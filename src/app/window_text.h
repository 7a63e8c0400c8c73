// Text between the window's Qt controls and the plain C++ core.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QString>
#include <string>

#include "common/numtext.h"

namespace corvane {

inline QString Q(const std::string& s) { return QString::fromStdString(s); }
inline std::string Std(const QString& s) { return s.toStdString(); }
// The number a box's text begins with, as the design reads its boxes.
inline double Leading(const QLineEdit* e) { return ParseLeadingNumber(Std(e->text())); }

// A label is relaid out only when its text really changes.
inline void SetTextIfChanged(QLabel* label, const std::string& text) {
  const QString q = Q(text);
  if (label->text() != q) label->setText(q);
}

}  // namespace corvane
