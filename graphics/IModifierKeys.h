// The button and modifier state that comes with every mouse event, and the
// key codes handed to controls. Filled in by the platform window.
#pragma once

struct IModifierKeys {
    bool left = false;
    bool right = false;
    bool shift = false;
    bool control = false;
    bool alt = false;
};

// Key codes: space 0, arrows up/down/left/right 1-4, digits 0-9 are 5-14,
// letters A-Z are 15-40.
enum KeyCode : int {
    kKeySpace = 0,
    kKeyUp = 1,
    kKeyDown = 2,
    kKeyLeft = 3,
    kKeyRight = 4,
    kKeyDigit0 = 5,
    kKeyLetterA = 15,
    kKeyLetterZ = 40,
};
