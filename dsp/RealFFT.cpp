#include "dsp/RealFFT.h"

#include "dsp/OouraFFT.h"

namespace audiofft {

RealFFT::RealFFT() : impl(std::make_unique<OouraFFT>()) {}

RealFFT::~RealFFT() = default;

}  // namespace audiofft
