#include "tools/demo/DemoSignal.h"

#include <cmath>
#include <cstdint>

namespace {

constexpr double kPi = 3.14159265358979323846;

// Small deterministic noise source for drums and string excitation.
struct Noise {
    std::uint32_t state = 0x12345678u;
    double Next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<double>(state) / 2147483648.0 - 1.0;
    }
};

void AddKick(std::vector<double>& l, std::vector<double>& r, long at, double sr) {
    const long len = static_cast<long>(0.35 * sr);
    double phase = 0.0;
    for (long i = 0; i < len && at + i < static_cast<long>(l.size()); ++i) {
        const double t = static_cast<double>(i) / sr;
        const double freq = 45.0 + 110.0 * std::exp(-t * 30.0);
        phase += 2.0 * kPi * freq / sr;
        const double v = 0.55 * std::sin(phase) * std::exp(-t * 9.0);
        l[at + i] += v;
        r[at + i] += v;
    }
}

void AddSnare(std::vector<double>& l, std::vector<double>& r, long at, double sr, Noise& noise) {
    const long len = static_cast<long>(0.25 * sr);
    double lp = 0.0;
    for (long i = 0; i < len && at + i < static_cast<long>(l.size()); ++i) {
        const double t = static_cast<double>(i) / sr;
        lp += 0.6 * (noise.Next() - lp);
        const double body = 0.25 * std::sin(2.0 * kPi * 185.0 * t) * std::exp(-t * 25.0);
        const double v = body + 0.35 * lp * std::exp(-t * 18.0);
        l[at + i] += 0.9 * v;
        r[at + i] += 1.0 * v;
    }
}

void AddHat(std::vector<double>& l, std::vector<double>& r, long at, double sr, Noise& noise) {
    const long len = static_cast<long>(0.06 * sr);
    double prev = 0.0;
    for (long i = 0; i < len && at + i < static_cast<long>(l.size()); ++i) {
        const double t = static_cast<double>(i) / sr;
        const double n = noise.Next();
        const double v = 0.12 * (n - prev) * std::exp(-t * 70.0);  // high-passed
        prev = n;
        l[at + i] += 0.7 * v;
        r[at + i] += 1.0 * v;
    }
}

// Karplus-Strong plucked string, panned by `pan` (0 left, 1 right), lasting
// `seconds` and faded out over its last fifth so it ends without a click.
void AddPluck(std::vector<double>& l, std::vector<double>& r, long at, double sr, double freq,
              double pan, double seconds, Noise& noise) {
    const int period = static_cast<int>(sr / freq);
    std::vector<double> line(static_cast<std::size_t>(period));
    for (double& v : line)
        v = noise.Next();
    const long len = static_cast<long>(seconds * sr);
    const long fade = len / 5;
    int idx = 0;
    for (long i = 0; i < len && at + i < static_cast<long>(l.size()); ++i) {
        const int next = (idx + 1) % period;
        const double out = line[idx];
        line[idx] = 0.996 * 0.5 * (line[idx] + line[next]);
        idx = next;
        double v = 0.22 * out;
        if (i > len - fade)
            v *= 0.5 + 0.5 * std::cos(kPi * static_cast<double>(i - (len - fade)) /
                                      static_cast<double>(fade));
        l[at + i] += v * std::sqrt(1.0 - pan);
        r[at + i] += v * std::sqrt(pan);
    }
}

}  // namespace

std::vector<std::vector<double>> MakeDemoSignal(double sampleRate, double seconds) {
    const long frames = static_cast<long>(sampleRate * seconds);
    std::vector<std::vector<double>> out(2, std::vector<double>(static_cast<std::size_t>(frames)));
    auto& l = out[0];
    auto& r = out[1];
    Noise noise;
    const double beat = 60.0 / 100.0;  // 100 bpm
    auto at = [&](double beats) { return static_cast<long>(beats * beat * sampleRate); };

    // One bar of drums, then the phrase alone so the tail is heard in the open.
    for (int b = 0; b < 4; ++b) {
        if (b % 2 == 0)
            AddKick(l, r, at(b), sampleRate);
        if (b % 2 == 1)
            AddSnare(l, r, at(b), sampleRate, noise);
        AddHat(l, r, at(b + 0.5), sampleRate, noise);
    }
    const double notes[] = {220.0, 261.63, 329.63, 392.0, 329.63, 440.0};
    for (int i = 0; i < 6; ++i)
        AddPluck(l, r, at(4.0 + 0.5 * i), sampleRate, notes[i], 0.2 + 0.12 * i, 1.2, noise);
    AddSnare(l, r, at(7.5), sampleRate, noise);
    // A closing chord, left to ring into the reverb.
    const double chord[] = {110.0, 164.81, 220.0, 277.18, 329.63};
    for (int i = 0; i < 5; ++i)
        AddPluck(l, r, at(8.0) + static_cast<long>(0.012 * i * sampleRate), sampleRate, chord[i],
                 0.15 + 0.175 * i, 2.0, noise);
    AddKick(l, r, at(8.0), sampleRate);
    return out;
}
