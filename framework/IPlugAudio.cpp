#include "framework/IPlugAudio.h"

#include <algorithm>

IPlugAudio::IPlugAudio(const IPlugConfig& config) : IPlugBase(config) {
    mPieceIn.assign(static_cast<std::size_t>(NInChannels()), nullptr);
    mPieceInF.assign(static_cast<std::size_t>(NInChannels()), nullptr);
    mPieceOut.assign(static_cast<std::size_t>(NOutChannels()), nullptr);
    mPieceOutF.assign(static_cast<std::size_t>(NOutChannels()), nullptr);
}

int IPlugAudio::CountConnectedInputs() const {
    int n = 0;
    for (int i = 0; i < NInChannels(); ++i)
        n += GetInputPin(i).connected ? 1 : 0;
    return n;
}

int IPlugAudio::CountConnectedOutputs() const {
    int n = 0;
    for (int i = 0; i < NOutChannels(); ++i)
        n += GetOutputPin(i).connected ? 1 : 0;
    return n;
}

// Hosts may pass one array as both input and output. The plug-in writes its
// outputs before it has read all of its inputs, so such an input is copied
// aside into its pin's scratch buffer first.
void IPlugAudio::CopyAliasedInputs(int frames) {
    double** in = InputPtrs();
    double** out = OutputPtrs();
    for (int i = 0; i < NInChannels(); ++i) {
        InputPin& pin = InputPinAt(i);
        if (!pin.connected)
            continue;
        for (int o = 0; o < NOutChannels(); ++o) {
            if (in[i] == out[o]) {
                double* scratch = pin.scratch.Get();
                std::copy(in[i], in[i] + frames, scratch);
                in[i] = scratch;
                break;
            }
        }
    }
}

// A call may carry more frames than the scratch buffers hold (the host
// announced a smaller block size, or none): it is processed in pieces, each
// no longer than the scratch buffers, without allocating. `runPiece(n)`
// processes the n frames the piece pointers address.
template <typename Sample, typename RunPiece>
void IPlugAudio::ProcessInPieces(Sample** inputs, Sample** outputs, int frames,
                                 std::vector<Sample*>& pieceIn, std::vector<Sample*>& pieceOut,
                                 RunPiece runPiece) {
    const int nIn = CountConnectedInputs(), nOut = CountConnectedOutputs();
    if ((nIn > 0 && !inputs) || (nOut > 0 && !outputs))
        return;
    const int piece = GetScratchFrames();
    if (piece <= 0)
        return;
    frames = std::max(frames, 0);
    int done = 0;
    do {
        const int n = std::min(frames - done, piece);
        for (int k = 0; k < nIn; ++k)
            pieceIn[k] = inputs[k] ? inputs[k] + done : nullptr;
        for (int k = 0; k < nOut; ++k)
            pieceOut[k] = outputs[k] ? outputs[k] + done : nullptr;
        runPiece(n);
        done += n;
    } while (done < frames);
}

void IPlugAudio::ProcessDouble(double** inputs, double** outputs, int frames) {
    ProcessInPieces(inputs, outputs, frames, mPieceIn, mPieceOut, [this](int n) {
        AttachInputs(0, NInChannels(), mPieceIn.data(), n);
        AttachOutputs(0, NOutChannels(), mPieceOut.data());
        CopyAliasedInputs(n);
        ProcessBlock(InputPtrs(), OutputPtrs(), n);
    });
}

void IPlugAudio::ProcessFloat(float** inputs, float** outputs, int frames, bool accumulate) {
    ProcessInPieces(inputs, outputs, frames, mPieceInF, mPieceOutF, [this, accumulate](int n) {
        AttachInputs(0, NInChannels(), mPieceInF.data(), n);
        AttachOutputs(0, NOutChannels(), mPieceOutF.data());
        if (accumulate) {
            RunBlockFloatAccumulating(n);
        } else {
            RunBlockFloat(n);
        }
    });
}
