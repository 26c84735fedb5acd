// A minimal concrete plug-in over IPlugBase for framework tests: host-facing
// operations record what they were asked instead of calling a host.
#pragma once

#include <vector>

#include "framework/IPlugBase.h"

class TestPlug : public IPlugBase {
  public:
    explicit TestPlug(const char* channelIO = "1-1 2-2", int numParams = 2)
        : IPlugBase(MakeConfig(channelIO, numParams)) {
        for (int i = 0; i < numParams; ++i)
            GetParam(i)->InitContinuous("P", "%", 50.0, 0.0, 100.0, 1.0, 1.0);
    }

    static IPlugConfig MakeConfig(const char* channelIO, int numParams) {
        IPlugConfig c;
        c.numParams = numParams;
        c.channelIO = channelIO;
        c.effectName = "Test";
        c.vendorVersion = 0x00010203;
        return c;
    }

    void OnParameterChanged(int index) override { changed.push_back(index); }
    void BeginParameterGesture(int) override {}
    void ReportParameterToHost(int index, double) override { reported.push_back(index); }
    void EndParameterGesture(int) override {}
    void ReportProgramChangeToHost() override {}
    int GetTransportSamplePosition() override { return 0; }
    double GetTransportTempo() override { return 0.0; }
    void GetTimeSignature(int*, int*) override {}
    void GetTransportInfo(ITimeInfo*) override {}
    void EditorResized(int, int) override {}
    bool SendMidiMessage(const MidiMessage&) override { return false; }

    std::vector<int> changed;
    std::vector<int> reported;
};
