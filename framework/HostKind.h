// Which host the plug-in runs in, found from the host's product text. The
// plug-in base stores the result; only the stereo limit depends on it.
#pragma once

enum HostKind : int {
    kHostUnknownYet = -1,
    kHostUnknown = 0,
    kHostReaper = 1,
    kHostProTools = 2,
    kHostCubase = 3,
    kHostNuendo = 4,
    kHostSonar = 5,
    kHostFL = 7,
    kHostSamplitude = 8,
    kHostAbletonLive = 9,
    kHostMelodyne = 12,
    kHostVSTScanner = 13,
    kHostAULab = 14,
    kHostForte = 15,
    kHostChainer = 16,
    kHostAudition = 17,
    kHostOrion = 18,
    kHostSAWStudio = 20,
    kHostLogic = 21,
    kHostGarageBand = 22,
    kHostDigitalPerformer = 23,
    kHostStandalone = 24,
    kHostAudioMulch = 25,
    kHostStudioOne = 26,
    kHostVST3TestHost = 27,
    kHostArdour = 28,
    kHostRenoise = 29,
    kHostOpenMPT = 30,
};

// Maps a product text to a host kind by the first known name fragment found
// in it, case-insensitively; 0 when none is found.
HostKind LookUpHostKind(const char* productText);

// Packs a host's decimal version (major * 10000 + minor * 100 + patch) into
// major << 16 | minor << 8 | patch.
int PackHostVersion(int decimalVersion);
