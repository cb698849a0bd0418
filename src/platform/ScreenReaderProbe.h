#pragma once

// Whether a screen reader runs. Reads are cheap and may come from any thread.
class ScreenReaderProbe {
public:
    virtual ~ScreenReaderProbe() = default;
    virtual bool isRunning() const = 0;
};
