// The least a program must do to watch a carrier in a recording: read the WAV file block by
// block, window each block, transform it (FFTW), store its power spectrum in a ring of
// HistLen rows, average the rows over the band and find the strongest bin. Nothing is drawn,
// measured further or logged. What Corvane costs in --fast mode is compared against this.
//
//   lower_bound FILE.wav FFTLEN [HISTLEN=16] [FMIN_HZ=20] [FMAX_FRACTION=0.45]
//
// Prints the blocks processed and the last block's peak, so no work can be left out.

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

uint32_t Le32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// Leaves `f` at the first sample of a 16-bit stereo PCM file; its rate in *rate.
bool OpenWav(std::FILE* f, double* rate) {
  unsigned char riff[12];
  if (std::fread(riff, 1, 12, f) != 12 || std::memcmp(riff, "RIFF", 4) != 0 ||
      std::memcmp(riff + 8, "WAVE", 4) != 0)
    return false;
  bool format = false;
  for (;;) {
    unsigned char head[8];
    if (std::fread(head, 1, 8, f) != 8) return false;
    const uint32_t size = Le32(head + 4);
    if (std::memcmp(head, "fmt ", 4) == 0) {
      unsigned char fmt[16];
      if (size < 16 || std::fread(fmt, 1, 16, f) != 16) return false;
      const unsigned channels = fmt[2] | fmt[3] << 8;
      const unsigned bits = fmt[14] | fmt[15] << 8;
      if (channels != 2 || bits != 16) return false;
      *rate = Le32(fmt + 4);
      format = true;
      if (std::fseek(f, static_cast<long>(size - 16 + (size & 1)), SEEK_CUR) != 0) return false;
    } else if (std::memcmp(head, "data", 4) == 0) {
      return format;
    } else if (std::fseek(f, static_cast<long>(size + (size & 1)), SEEK_CUR) != 0) {
      return false;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s FILE.wav FFTLEN [HISTLEN] [FMIN_HZ] [FMAX_FRACTION]\n",
                 argv[0]);
    return 2;
  }
  const int n = std::atoi(argv[2]);
  const int histLen = argc > 3 ? std::atoi(argv[3]) : 16;
  const double fMinHz = argc > 4 ? std::atof(argv[4]) : 20;
  const double fMaxFraction = argc > 5 ? std::atof(argv[5]) : 0.45;
  if (n < 2 || histLen < 1) return 2;
  std::FILE* f = std::fopen(argv[1], "rb");
  double rate = 0;
  if (f == nullptr || !OpenWav(f, &rate) || rate <= 0) {
    std::fprintf(stderr, "%s: not a 16-bit stereo WAV file\n", argv[1]);
    return 1;
  }
  const int first = static_cast<int>(std::floor(fMinHz / rate * n + 0.5));
  const int last = static_cast<int>(std::floor(fMaxFraction * n + 0.5));

  // Blackman-Harris, Corvane's window as it starts.
  std::vector<float> window(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    const double x = i * 2 * M_PI / n;
    window[static_cast<size_t>(i)] =
        static_cast<float>(0.42323 - 0.49755 * std::cos(x) + 0.07922 * std::cos(2 * x));
  }
  auto* data = static_cast<fftwf_complex*>(fftwf_malloc(sizeof(fftwf_complex) * n));
  const fftwf_plan plan = fftwf_plan_dft_1d(n, data, data, FFTW_FORWARD, FFTW_ESTIMATE);
  std::vector<int16_t> samples(2 * static_cast<size_t>(n));
  std::vector<float> history(static_cast<size_t>(histLen) * n, 0.0f);
  std::vector<float> average(static_cast<size_t>(n), 0.0f);

  long blocks = 0;
  int row = 0, peakBin = 0;
  float peakPwr = 0;
  while (std::fread(samples.data(), 4, static_cast<size_t>(n), f) == static_cast<size_t>(n)) {
    for (int i = 0; i < n; ++i) {
      data[i][0] = samples[2 * static_cast<size_t>(i)] * window[static_cast<size_t>(i)];
      data[i][1] = -samples[2 * static_cast<size_t>(i) + 1] * window[static_cast<size_t>(i)];
    }
    fftwf_execute(plan);
    float* power = history.data() + static_cast<size_t>(row) * n;
    for (int k = 0; k < n; ++k) power[k] = data[k][0] * data[k][0] + data[k][1] * data[k][1];
    std::fill(average.begin() + first, average.begin() + last + 1, 0.0f);
    for (int r = 0; r < histLen; ++r) {
      const float* h = history.data() + static_cast<size_t>(r) * n;
      for (int k = first; k <= last; ++k) average[static_cast<size_t>(k)] += h[k];
    }
    peakPwr = 0;
    for (int k = first; k <= last; ++k) {
      const float a = average[static_cast<size_t>(k)] / static_cast<float>(histLen);
      if (a > peakPwr) {
        peakPwr = a;
        peakBin = k;
      }
    }
    row = (row + 1) % histLen;
    ++blocks;
  }
  std::printf("%ld blocks, last peak at bin %d (%.1f Hz)\n", blocks, peakBin,
              peakBin * rate / n);
  fftwf_destroy_plan(plan);
  fftwf_free(data);
  std::fclose(f);
  return 0;
}
