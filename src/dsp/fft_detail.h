#pragma once
// Test hook of the FFT: the portable scalar kernels must give the same bits as the vector
// ones, and only a machine without the vector unit would run them otherwise.

namespace Module1::detail {

// When false, ComplexFFT uses the portable kernels even where vector ones are available.
void AllowVectorPath(bool allowed);

}  // namespace Module1::detail
