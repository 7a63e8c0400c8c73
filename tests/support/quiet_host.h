#pragma once
// An engine host that answers with the start-up values and shows nothing: for tests and
// benchmarks that only need the engine's figures.

#include <string>

#include "measure/engine_host.h"

namespace corvane::testing {

class QuietHost : public EngineHost {
 public:
  double SigBWTextHz() override { return 100; }
  bool TrackingOn() override { return false; }
  void ShowNoiseFailure() override {}
  void ResetSignalBandwidth() override {}
  void SetCentreFrequencyText(const std::string&) override {}
  void PlayAlarmSound() override {}
};

}  // namespace corvane::testing
