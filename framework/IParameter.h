// One automatable value of a plug-in, kept in real units (percent, say), with
// its range, step, shape and display. Owned by IPlugBase in host index order;
// callers hold the plug-in mutex, so the class itself takes no lock.
#pragma once

#include <cstdint>
#include <vector>

class IParameter {
  public:
    static constexpr int kKindNone = 0;
    static constexpr int kKindContinuous = 4;
    static constexpr int kTextLength = 32;

    IParameter() = default;
    IParameter(const IParameter&) = delete;
    IParameter& operator=(const IParameter&) = delete;

    void InitContinuous(const char* name, const char* label, double defaultValue, double minimum,
                        double maximum, double step, double shape);

    // Host and editor exchange values normalised to [0, 1]. Above 1 the value
    // is capped at the maximum; a finite value below 0 maps below the minimum
    // (read back clamped), while -infinity gives the minimum itself. NaN
    // (from a host bug or a typed text) is ignored: the value stays as it was.
    void SetFromNormalised(double normalised);
    double GetNormalised() const;
    // A real value held to [minimum, maximum], infinities included; NaN is
    // ignored as above.
    void SetClamped(double value);

    // Writes the display text of `value` (a normalised one when `normalised`)
    // into out, at most outSize bytes including the terminator.
    void FormatForHost(double value, bool normalised, char* out, int outSize,
                       bool useDisplayTexts) const;
    const char* LabelForHost() const;
    bool MatchDisplayText(const char* text, int* valueOut) const;
    // Text typed by a user or sent by the host, read in this parameter's
    // display convention; false when the text names no display text.
    bool ValueFromText(const char* text, double* valueOut) const;

    void AddDisplayText(int value, const char* text);

    int Kind() const { return mKind; }
    double Value() const { return mValue; }
    double Minimum() const { return mMinimum; }
    double Maximum() const { return mMaximum; }
    double Step() const { return mStep; }
    double Shape() const { return mShape; }
    double Default() const { return mDefault; }
    int DisplayPrecision() const { return mDisplayPrecision; }
    const char* Name() const { return mName; }
    const char* Label() const { return mLabel; }
    bool NegateDisplay() const { return mNegateDisplay; }
    void SetNegateDisplay(bool negate) { mNegateDisplay = negate; }
    int NumDisplayTexts() const { return static_cast<int>(mDisplayTexts.size()); }

  private:
    struct DisplayText {
        std::int32_t value;
        char text[kTextLength];
    };
    const char* DisplayTextFor(double value) const;

    int mKind = kKindNone;
    double mValue = 0.0;
    double mMinimum = 0.0;
    double mMaximum = 1.0;
    double mStep = 1.0;
    double mShape = 1.0;
    double mDefault = 0.0;
    int mDisplayPrecision = 0;
    char mName[kTextLength] = {};
    char mLabel[kTextLength] = {};
    bool mNegateDisplay = false;
    std::vector<DisplayText> mDisplayTexts;
};
