#include "FftwReference.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

namespace fftwref {

namespace {
const Plans& cachedPlans(std::map<std::size_t, Plans>& cache, std::size_t n, unsigned flags) {
    Plans& p = cache[n];
    if (p.forward == nullptr) {
        double* x = fftw_alloc_real(n);
        fftw_complex* c = fftw_alloc_complex(n / 2 + 1);
        const int size = static_cast<int>(n);
        p.forward = fftw_plan_dft_r2c_1d(size, x, c, flags);
        p.inverse = fftw_plan_dft_c2r_1d(size, c, x, flags);
        fftw_free(x);
        fftw_free(c);
    }
    return p;
}
}  // namespace

const Plans& plansFor(std::size_t n) {
    static std::map<std::size_t, Plans> cache;
    return cachedPlans(cache, n, FFTW_MEASURE);
}

const Plans& estimatedPlansFor(std::size_t n) {
    static std::map<std::size_t, Plans> cache;
    return cachedPlans(cache, n, FFTW_ESTIMATE);
}

namespace {
fftw_complex* newSpectrum(std::size_t bins) {
    fftw_complex* s = fftw_alloc_complex(bins);
    std::memset(static_cast<void*>(s), 0, bins * sizeof(fftw_complex));
    return s;
}

void multiplyAccumulate(fftw_complex* acc, const fftw_complex* a, const fftw_complex* b,
                        std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        acc[i][0] += a[i][0] * b[i][0] - a[i][1] * b[i][1];
        acc[i][1] += a[i][0] * b[i][1] + a[i][1] * b[i][0];
    }
}

std::size_t trimmed(const double* ir, std::size_t n) {
    while (n > 0 && std::fabs(ir[n - 1]) < static_cast<double>(1e-6f)) {
        --n;
    }
    return n;
}
}  // namespace

void Convolver::init(std::size_t blockSize, const double* ir, std::size_t irLen) {
    reset();
    irLen = trimmed(ir, irLen);
    if (irLen == 0) {
        return;
    }
    block = 1;
    while (block < blockSize) {
        block *= 2;
    }
    const std::size_t n = 2 * block;
    bins = block + 1;
    partitionCount = (irLen + block - 1) / block;
    plans = &plansFor(n);
    work = fftw_alloc_real(n);
    const double scale = 1.0 / static_cast<double>(n);
    for (std::size_t i = 0; i < partitionCount; ++i) {
        inputSpectra.push_back(newSpectrum(bins));
        const std::size_t count = std::min(irLen - i * block, block);
        std::fill(work, work + n, 0.0);
        for (std::size_t j = 0; j < count; ++j) {
            work[j] = ir[i * block + j] * scale;
        }
        fftw_complex* s = newSpectrum(bins);
        fftw_execute_dft_r2c(plans->forward, work, s);
        irSpectra.push_back(s);
    }
    olderSum = newSpectrum(bins);
    blockSum = newSpectrum(bins);
    overlap = fftw_alloc_real(block);
    pending = fftw_alloc_real(block);
    std::fill(overlap, overlap + block, 0.0);
    std::fill(pending, pending + block, 0.0);
    newest = 0;
    pendingCount = 0;
}

void Convolver::process(const double* input, double* output, std::size_t len) {
    if (partitionCount == 0) {
        std::fill(output, output + len, 0.0);
        return;
    }
    std::size_t done = 0;
    while (done < len) {
        const std::size_t pos = pendingCount;
        const std::size_t n = std::min(len - done, block - pos);
        std::memcpy(pending + pos, input + done, n * sizeof(double));
        std::memcpy(work, pending, block * sizeof(double));
        std::fill(work + block, work + 2 * block, 0.0);
        fftw_execute_dft_r2c(plans->forward, work, inputSpectra[newest]);
        if (pos == 0) {
            std::memset(static_cast<void*>(olderSum), 0, bins * sizeof(fftw_complex));
            for (std::size_t i = 1; i < partitionCount; ++i) {
                multiplyAccumulate(olderSum, irSpectra[i],
                                   inputSpectra[(newest + i) % partitionCount], bins);
            }
        }
        std::memcpy(static_cast<void*>(blockSum), olderSum, bins * sizeof(fftw_complex));
        multiplyAccumulate(blockSum, irSpectra[0], inputSpectra[newest], bins);
        fftw_execute_dft_c2r(plans->inverse, blockSum, work);
        for (std::size_t i = 0; i < n; ++i) {
            output[done + i] = work[pos + i] + overlap[pos + i];
        }
        pendingCount += n;
        if (pendingCount == block) {
            std::fill(pending, pending + block, 0.0);
            pendingCount = 0;
            std::memcpy(overlap, work + block, block * sizeof(double));
            newest = (newest > 0 ? newest : partitionCount) - 1;
        }
        done += n;
    }
}

void Convolver::reset() {
    for (fftw_complex* s : inputSpectra) {
        fftw_free(s);
    }
    for (fftw_complex* s : irSpectra) {
        fftw_free(s);
    }
    inputSpectra.clear();
    irSpectra.clear();
    fftw_free(work);
    fftw_free(olderSum);
    fftw_free(blockSum);
    fftw_free(overlap);
    fftw_free(pending);
    work = overlap = pending = nullptr;
    olderSum = blockSum = nullptr;
    partitionCount = 0;
    block = bins = 0;
}

void TwoStage::init(std::size_t headBlock, std::size_t tailBlock, const double* ir,
                    std::size_t irLen) {
    irLen = trimmed(ir, irLen);
    headSize = 1;
    while (headSize < headBlock) {
        headSize *= 2;
    }
    tailSize = 1;
    while (tailSize < tailBlock) {
        tailSize *= 2;
    }
    const std::size_t t = tailSize;
    head.init(headSize, ir, std::min(irLen, t));
    nearTail.reset();
    farTail.reset();
    nearBuild.assign(irLen > t ? t : 0, 0.0);
    nearReady.assign(nearBuild.size(), 0.0);
    farBuild.assign(irLen > 2 * t ? t : 0, 0.0);
    farReady.assign(farBuild.size(), 0.0);
    farInput.assign(farBuild.size(), 0.0);
    periodInput.assign(irLen > t ? t : 0, 0.0);
    if (irLen > t) {
        nearTail.init(headSize, ir + t, std::min(t, irLen - t));
    }
    if (irLen > 2 * t) {
        farTail.init(t, ir + 2 * t, irLen - 2 * t);
    }
    periodFill = 0;
    readyPos = 0;
}

void TwoStage::process(const double* input, double* output, std::size_t len) {
    head.process(input, output, len);
    if (periodInput.empty()) {
        return;
    }
    const std::size_t h = headSize, t = tailSize;
    std::size_t done = 0;
    while (done < len) {
        const std::size_t n = std::min(len - done, h - periodFill % h);
        if (!nearReady.empty()) {
            for (std::size_t k = 0; k < n; ++k) {
                output[done + k] += nearReady[readyPos + k];
            }
        }
        if (!farReady.empty()) {
            for (std::size_t k = 0; k < n; ++k) {
                output[done + k] += farReady[readyPos + k];
            }
        }
        readyPos += n;
        std::memcpy(periodInput.data() + periodFill, input + done, n * sizeof(double));
        periodFill += n;
        if (!nearReady.empty() && periodFill % h == 0) {
            const std::size_t off = periodFill - h;
            nearTail.process(periodInput.data() + off, nearBuild.data() + off, h);
            if (periodFill == t) {
                nearReady.swap(nearBuild);
            }
        }
        if (!farReady.empty() && periodFill == t) {
            farReady.swap(farBuild);
            farInput = periodInput;
            farTail.process(farInput.data(), farBuild.data(), t);
        }
        if (periodFill == t) {
            periodFill = 0;
            readyPos = 0;
        }
        done += n;
    }
}

void Engine::setSustain(float s) {
    const float len = s * 128000.0f;
    const float scale = static_cast<float>(0.5 / (static_cast<double>(s) * 60.0 + 3.0));
    for (std::size_t i = 0; i < 128000; ++i) {
        if (static_cast<float>(i) < len) {
            const double d = static_cast<double>(i) - 64000.0;
            const float env = static_cast<float>(std::sqrt(4096000000.0 - d * d) / 64000.0);
            noise = noise * 214013u + 2531011u;
            const float r1 = static_cast<float>((noise >> 16) & 32767u);
            noise = noise * 214013u + 2531011u;
            const float r2 = static_cast<float>((noise >> 16) & 32767u);
            impulseL[i] = static_cast<double>((r1 / 32767.0f * (2.0f * scale) - scale) * env);
            impulseR[i] = static_cast<double>((r2 / 32767.0f * (2.0f * scale) - scale) * env);
        } else {
            impulseL[i] = impulseR[i] = 0.0;
        }
    }
    const std::size_t count =
        len > 0.0f ? std::min<std::size_t>(128000, static_cast<std::size_t>(len)) : 0;
    left.init(102, 1706, impulseL.data(), count);
    right.init(102, 1706, impulseR.data(), count);
}

void Engine::process(const double* const* inputs, double* const* outputs, std::size_t n) {
    left.process(inputs[0], outputs[0], n);
    right.process(inputs[1], outputs[1], n);
    const double dry = static_cast<double>(1.0f - mix);
    const double wet = static_cast<double>(mix);
    for (std::size_t i = 0; i < n; ++i) {
        outputs[0][i] = dry * inputs[0][i] + wet * outputs[0][i];
        outputs[1][i] = dry * inputs[1][i] + wet * outputs[1][i];
    }
}

}  // namespace fftwref
