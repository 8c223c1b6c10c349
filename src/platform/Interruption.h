// SIGINT, SIGTERM and SIGHUP while work that leaves things behind is under
// way (a save, a disk image unpacked to a temporary folder) are only noted:
// the work stops at its next step and takes away what it made, and when the
// last guard goes the run ends as the signal would have ended it. A second
// signal ends it at once. A signal the program ignores or handles itself is
// left to it.
#pragma once

namespace platform {

class InterruptionGuard {
public:
    InterruptionGuard();
    ~InterruptionGuard();
    InterruptionGuard(const InterruptionGuard&) = delete;
    InterruptionGuard& operator=(const InterruptionGuard&) = delete;

    // Whether a signal came while a guard was up.
    static bool interrupted();
};

} // namespace platform
