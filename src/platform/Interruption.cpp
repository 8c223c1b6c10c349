#include "platform/Interruption.h"

#include <csignal>
#include <iterator>
#include <mutex>

namespace platform {

namespace {

constexpr int kInterruptions[] = {SIGINT, SIGTERM, SIGHUP};
volatile std::sig_atomic_t gNotedSignal = 0;
struct sigaction gPrevious[std::size(kInterruptions)];
bool gInstalled[std::size(kInterruptions)] = {};
// Guards up at once, on any thread: the first installs the handler, the last restores.
int gGuards = 0;
std::mutex gMutex;

extern "C" void noteInterruption(int number)
{
    if (gNotedSignal != 0) {
        std::signal(number, SIG_DFL);
        std::raise(number); // delivered when the handler returns
        return;
    }
    gNotedSignal = number;
}

} // namespace

InterruptionGuard::InterruptionGuard()
{
    const std::lock_guard lock(gMutex);
    if (gGuards++ > 0)
        return;
    gNotedSignal = 0;
    struct sigaction action {};
    action.sa_handler = noteInterruption;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int number : kInterruptions)
        sigaddset(&action.sa_mask, number);
    for (size_t i = 0; i < std::size(kInterruptions); ++i) {
        ::sigaction(kInterruptions[i], nullptr, &gPrevious[i]);
        gInstalled[i] = !(gPrevious[i].sa_flags & SA_SIGINFO) && gPrevious[i].sa_handler == SIG_DFL &&
                        ::sigaction(kInterruptions[i], &action, nullptr) == 0;
    }
}

InterruptionGuard::~InterruptionGuard()
{
    int noted = 0;
    {
        const std::lock_guard lock(gMutex);
        if (--gGuards > 0)
            return;
        for (size_t i = 0; i < std::size(kInterruptions); ++i)
            if (gInstalled[i])
                ::sigaction(kInterruptions[i], &gPrevious[i], nullptr);
        noted = gNotedSignal;
    }
    if (noted != 0)
        std::raise(noted);
}

bool InterruptionGuard::interrupted()
{
    return gNotedSignal != 0;
}

} // namespace platform
