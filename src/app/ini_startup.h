#pragma once
// The settings file read into the window's controls at start-up and written back from the
// parameter set at the program end. Each line goes through its control, so the controls'
// handlers derive the bins and frames exactly as they do for a user's entry.

#include <string>

#include "settings/parameters.h"

namespace corvane {

struct MainControls;

class IniStartup {
 public:
  IniStartup(MainControls& controls, MeasurementParams& params);

  // ReadIni: lines 1 .. 11 in order, stopping at the first a control cannot take. Returns
  // how many were applied.
  int ReadIni();
  // Lines the file did not supply take the design-time texts of their controls.
  void ApplyDesignDefaults(int firstMissingLine);
  // The program end's write; false with the reason.
  bool WriteIni(std::string* error) const;

 private:
  bool ApplyIniLine(int lineNo, const std::string& line);

  MainControls& c_;
  MeasurementParams& p_;
};

}  // namespace corvane
