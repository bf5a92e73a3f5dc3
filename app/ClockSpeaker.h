// What the main window takes from the machine: the local time (of its events and its alert)
// and the alert's beep.
#pragma once
#include <windows.h>

class IClockSpeaker {
public:
    virtual SYSTEMTIME Now() const = 0;
    virtual void Beep() = 0;

protected:
    ~IClockSpeaker() = default;
};

class CSystemClockSpeaker : public IClockSpeaker {
public:
    SYSTEMTIME Now() const override {
        SYSTEMTIME t;
        ::GetLocalTime(&t);
        return t;
    }
    void Beep() override { ::Beep(1880, 200); }
};
