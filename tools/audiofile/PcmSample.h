// The one rule by which a sample becomes an integer PCM value, for every
// writer of integer audio in every build: our WAV writer, and the libsndfile
// writer, which hands libsndfile integers already made. Pure function; any
// thread.
#pragma once

#include <cstdint>

// `sample` at the scale the readers divide by (full scale is 2^(bits-1)),
// rounded to the nearest integer, a tie to the even one, and clipped to
// [-2^(bits-1), 2^(bits-1) - 1]: -1.0 is the most negative value, and +1.0,
// one step past the most positive, clips to it. NaN becomes 0. `bits` is 8
// to 32; 8-bit unsigned encodings add 128 to the result.
std::int32_t PcmFromSample(double sample, int bits);
