#pragma once
// The calibrated figures in the running window: started at every START with the run's
// description for the data log, shown in the "Calibrated" frame at the tick, and written as a
// row of the data log beside every record of the log; the run and the rows also go to the
// MQTT broker when publishing is on.

#include <QDateTime>

#include "capture/source_factory.h"
#include "settings/parameters.h"

namespace corvane {

struct MainControls;
class BlockLoop;
class MqttLink;
class RunControl;

class CalibratedRecords {
 public:
  CalibratedRecords(MainControls& controls, const MeasurementParams& params, BlockLoop& loop,
                    RunControl& run, MqttLink& mqtt);

  // At START, once the window table is built and the source opened: `now` is when the
  // run's own clock starts.
  void Start(const SourceEntry& entry, int channels, const QDateTime& now);
  // The read-outs from the latest block's figures.
  void Show();
  // The data log's row for the record at `second`, with the log's own steady verdict and
  // S/N in 1 Hz.
  void WriteRow(const QDateTime& second, bool steady, double logSN1HzDb);

 private:
  MainControls& c_;
  const MeasurementParams& params_;
  BlockLoop& loop_;
  RunControl& run_;
  MqttLink& mqtt_;
};

}  // namespace corvane
