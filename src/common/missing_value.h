#pragma once

namespace corvane {

// Stands for a level or S/N that could not be measured; logged as -99.9 / -99.0.
inline constexpr double kMissingDb = -99.0;

}  // namespace corvane
