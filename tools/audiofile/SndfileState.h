// What the libsndfile back-ends of AudioFileReader and AudioFileWriter
// share: their state holds the open handle, closed and freed together.
#pragma once

#include <sndfile.h>

struct SndfileState {
    SNDFILE* file = nullptr;

    // Closes the handle, if open, and frees the state, as the back-end's own
    // type (which may add members of its own).
    template <typename State>
    static void Close(State* state) {
        if (state->file)
            sf_close(state->file);
        delete state;
    }
};
