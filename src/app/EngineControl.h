#pragma once
// What the shell needs of the scroll engine: start it, end it, ask whether it
// runs. The shell never includes the engine's own headers; the program's entry
// point hands it an implementation of this.

namespace gm::app {

class EngineControl {
public:
    virtual ~EngineControl() = default;
    // Installs the interceptors. May be called repeatedly; fails quietly (the
    // engine logs why) when input access is missing.
    virtual void start() = 0;
    // Removes the interceptors. May be called repeatedly.
    virtual void end() = 0;
    virtual bool isActive() const = 0;
};

}  // namespace gm::app
