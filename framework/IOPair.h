// One legal channel configuration of a plug-in: input and output counts.
#pragma once

struct IOPair {
    int inputs = 0;
    int outputs = 0;
};
