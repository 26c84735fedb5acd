// Transport state as a host may report it. Part of the plug-in base's
// interface for plug-ins that follow the song position; Brightfall does not.
#pragma once

struct ITimeInfo {
    double samplePosition = 0.0;
    double tempo = 120.0;
    int numerator = 4;
    int denominator = 4;
    bool playing = false;
};
