// wav_compare A.wav B.wav TOLERANCE: exits 0 when the two files have the
// same channels, rate and length and no sample differs by more than
// TOLERANCE times A's peak (0: every sample equal); prints the figures
// either way. Used to hold a render made by one build of the plug-in against
// another build's.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <vector>

#include "tools/audiofile/WavReader.h"

namespace {

std::vector<double> ReadAll(WavReader& r) {
    std::vector<double> all;
    std::vector<double> chunk(static_cast<size_t>(65536) * static_cast<size_t>(r.Channels()));
    long got = 0;
    while ((got = r.Read(chunk.data(), 65536)) > 0)
        all.insert(all.end(), chunk.begin(), chunk.begin() + got * r.Channels());
    return all;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: wav_compare A.wav B.wav TOLERANCE_OF_PEAK\n");
        return 2;
    }
    try {
        WavReader a(argv[1]), b(argv[2]);
        const double tolerance = std::strtod(argv[3], nullptr);
        if (a.Channels() != b.Channels() || a.SampleRate() != b.SampleRate()) {
            std::printf("different layout: %d ch %d Hz against %d ch %d Hz\n", a.Channels(),
                        a.SampleRate(), b.Channels(), b.SampleRate());
            return 1;
        }
        const std::vector<double> x = ReadAll(a), y = ReadAll(b);
        double peak = 0.0, worst = 0.0;
        size_t differ = 0, first = 0;
        for (double v : x)
            peak = std::max(peak, std::fabs(v));
        for (size_t i = 0; i < std::min(x.size(), y.size()); ++i) {
            worst = std::max(worst, std::fabs(x[i] - y[i]));
            if (x[i] != y[i] && differ++ == 0)
                first = i;
        }
        const bool sameLength = x.size() == y.size();
        std::printf(
            "%zu against %zu samples, peak %.6g, largest difference %.3g (%.3g of the peak)\n",
            x.size(), y.size(), peak, worst, peak > 0.0 ? worst / peak : worst);
        if (differ > 0)
            std::printf("%zu samples differ, the first at frame %zu (%.17g against %.17g)\n",
                        differ, first / static_cast<size_t>(a.Channels()), x[first], y[first]);
        return sameLength && peak > 0.0 && worst <= tolerance * peak ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "wav_compare: %s\n", e.what());
        return 1;
    }
}
