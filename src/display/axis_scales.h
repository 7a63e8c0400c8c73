#pragma once
// What the spectrum's axes and the level meter's scale label, and where: round 1-2-5 steps
// for a range drawn over so many pixels, and the units the labels are in. No Qt here.

#include <cstdint>
#include <string>
#include <vector>

namespace corvane {

// The smallest step of 1, 2 or 5 times a power of ten that keeps successive labels at least
// `minSpacingPx` apart when `span` units are drawn over `lengthPx` pixels. Labels then stand
// between minSpacingPx and 2.5 x minSpacingPx apart. 0 when there is nothing to label
// (an empty, negative or non-finite span or length).
double RoundTickStep(double span, double lengthPx, double minSpacingPx);

// Unlabelled marks between labels: a fifth of a step of 1 or 5, a quarter of a step of 2.
double MinorTickStep(double step);

// The multiples of `step` from lo to hi, both included; none for a step that is not
// positive, and never more than `limit`.
std::vector<double> TickValues(double lo, double hi, double step, std::size_t limit = 1000);

// A tick's label with as many decimals as the step needs: 1500, 2.5, 0.05; never "-0".
std::string TickLabel(double value, double step);

// The spectrum's vertical scale in the units of the "Noise" and "Signal" read-outs: dB of the
// power per bin, 50 dB down. A height is in the plot's native units above its bottom edge.
double PlotHeightToLevelDb(double heightUnits);
double LevelDbToPlotHeight(double levelDb);

// The input meter's level (20 log10 of the block's largest sample, 30 dB down) as dBFS: dB
// below the largest 16-bit sample magnitude, 32768.
double InputLevelToDbfs(double levelDb);
double DbfsToInputLevel(double dbfs);

}  // namespace corvane
