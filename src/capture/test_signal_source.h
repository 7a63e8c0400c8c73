#pragma once
// "Test signal (simulated beacon)": the simulated beacon at the requested rate, paced
// like a sound card or, in fast mode, back to back on its own clock.

#include <memory>

#include "capture/paced_source.h"
#include "capture/test_signal.h"

namespace corvane {

class TestSignalSource : public PacedSource {
  Q_OBJECT
 public:
  // seed 0: a different noise every run.
  TestSignalSource(double centreHz, bool fast, uint64_t seed = 0, QObject* parent = nullptr);

  bool open(double sampleRate, int frames, QString* error) override;

  const TestSignal* signal() const { return signal_.get(); }

 private:
  bool fillBlock(int16_t* buffer, int frames) override;

  double centreHz_;
  uint64_t seed_;
  std::unique_ptr<TestSignal> signal_;
};

}  // namespace corvane
