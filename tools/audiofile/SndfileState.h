// What the libsndfile back-ends of AudioFileReader and AudioFileWriter
// share: their state is the open handle, closed and freed together.
#pragma once

#include <sndfile.h>

struct SndfileState {
    SNDFILE* file = nullptr;

    // Closes the handle, if open, and frees the state.
    static void Close(SndfileState* state) {
        if (state->file)
            sf_close(state->file);
        delete state;
    }
};
