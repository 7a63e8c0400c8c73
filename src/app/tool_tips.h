#pragma once
// What each control of the main window does, its unit and its range, as tooltips.

namespace corvane {

struct MainControls;

void SetToolTips(MainControls& controls);

}  // namespace corvane
