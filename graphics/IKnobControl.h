// The base of knobs: a control whose value follows mouse travel along one
// axis. Only its derived classes are instantiated.
#pragma once

#include "graphics/IControl.h"

class IKnobControl : public IControl {
  public:
    enum Direction { kVertical = 0, kHorizontal = 1 };

    IKnobControl(IPlugBase* plug, const IRect& rect, int paramIdx, IBlend blend,
                 int direction = kVertical, double gearing = 4.0)
        : IControl(plug, rect, paramIdx, blend), mDirection(direction), mGearing(gearing) {}

    int Direction() const { return mDirection; }
    double Gearing() const { return mGearing; }

  protected:
    int mDirection;
    double mGearing;  // control heights (or widths) of travel for a full sweep
};
