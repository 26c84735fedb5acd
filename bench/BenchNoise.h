// The benchmarks' test signal: uniform noise in [-1, 1), the same for a
// given seed in every program, so their figures measure the same input.
#pragma once

#include <cstddef>
#include <random>
#include <vector>

namespace bench {

inline std::vector<double> noise(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    std::vector<double> v(n);
    for (double& x : v)
        x = dist(rng);
    return v;
}

}  // namespace bench
