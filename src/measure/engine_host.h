#pragma once
// What the measurement engine asks of the window it runs in. Every call runs synchronously
// at the point of the block where the step sets a control, so the window's change handlers
// run there and leave their results in the parameter set before the engine reads it again.

#include <string>

namespace corvane {

class EngineHost {
 public:
  virtual ~EngineHost() = default;
  // BWHz: the leading number of the SigBW text, read at the moment of use.
  virtual double SigBWTextHz() = 0;
  // The TrackSig check box.
  virtual bool TrackingOn() = 0;
  // "Noise measurement not possible, Signal bandwidth reset": reported to the operator
  // without waiting for anyone (the station may be unattended).
  virtual void ShowNoiseFailure() = 0;
  // SigBWUD value 100 and SigBW text "100", with their handlers.
  virtual void ResetSignalBandwidth() = 0;
  // The CF text, with its handlers (which may change CentreBin).
  virtual void SetCentreFrequencyText(const std::string& text) = 0;
  // The alarm sound, played once the block's picture is drawn.
  virtual void PlayAlarmSound() = 0;
};

}  // namespace corvane
