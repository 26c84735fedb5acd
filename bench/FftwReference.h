// The reference the benchmarks measure against: the same zero-latency
// two-stage scheme (head, near tail, far tail; same partitions, same
// fragmenting) on FFTW transforms with plainly written multiply-accumulates.
// Benchmark-only: FFTW is never linked into the product.
#pragma once

#include <fftw3.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace fftwref {

// Forward and inverse plans for one size, made once (FFTW_MEASURE) and shared.
struct Plans {
    fftw_plan forward = nullptr;
    fftw_plan inverse = nullptr;
};
const Plans& plansFor(std::size_t n);
// The same, planned with FFTW_ESTIMATE (no measuring): FFTW as most programs
// that create plans on the fly use it.
const Plans& estimatedPlansFor(std::size_t n);

class Convolver {
  public:
    Convolver() = default;
    ~Convolver() { reset(); }
    Convolver(const Convolver&) = delete;
    Convolver& operator=(const Convolver&) = delete;

    void init(std::size_t blockSize, const double* ir, std::size_t irLen);
    void process(const double* input, double* output, std::size_t len);
    void reset();
    std::size_t partitions() const { return partitionCount; }

  private:
    std::size_t block = 0;
    std::size_t bins = 0;
    std::size_t partitionCount = 0;
    const Plans* plans = nullptr;
    std::vector<fftw_complex*> inputSpectra;
    std::vector<fftw_complex*> irSpectra;  // pre-scaled by 1/(2B)
    double* work = nullptr;
    fftw_complex* olderSum = nullptr;
    fftw_complex* blockSum = nullptr;
    double* overlap = nullptr;
    double* pending = nullptr;
    std::size_t newest = 0;
    std::size_t pendingCount = 0;
};

class TwoStage {
  public:
    void init(std::size_t headBlock, std::size_t tailBlock, const double* ir, std::size_t irLen);
    void process(const double* input, double* output, std::size_t len);

  private:
    std::size_t headSize = 0, tailSize = 0;
    Convolver head, nearTail, farTail;
    std::vector<double> nearBuild, nearReady, farBuild, farReady, periodInput, farInput;
    std::size_t periodFill = 0, readyPos = 0;
};

// Two channels, the same synthesis as the engine, mixed the same way.
class Engine {
  public:
    void setSustain(float s);
    void process(const double* const* inputs, double* const* outputs, std::size_t n);

  private:
    std::vector<double> impulseL = std::vector<double>(128000);
    std::vector<double> impulseR = std::vector<double>(128000);
    TwoStage left, right;
    std::uint32_t noise = 1;
    float mix = 0.5f;
};

}  // namespace fftwref
