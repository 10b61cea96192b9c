#include "store/feedback.h"

#include <chrono>
#include <thread>

#include "base/process_state.h"

namespace kdx2::store {

void Feedback::showMessage(const std::string&) {}
void Feedback::closeMessage() {}
void Feedback::status(const std::string&) {}
void Feedback::alert(const std::string&) {}
bool Feedback::escPressed() {
    return false;
}
void Feedback::wait(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

namespace {
Feedback gSilent;
Feedback* gCurrent = &gSilent;
}  // namespace

Feedback& feedback() {
    return *gCurrent;
}

void setFeedback(Feedback* sink) {
    // A sink set for one run must not outlive it.
    [[maybe_unused]] static const bool registered =
        base::registerResetOnce([] { gCurrent = &gSilent; });
    gCurrent = sink ? sink : &gSilent;
}

}  // namespace kdx2::store
