#pragma once

#include <functional>

namespace kdx2::base {

// The program keeps some state for the whole process (the session record,
// the open windows, the lists of the selection, ...). Each piece registers,
// when it is first used, how to put itself back as a fresh start finds it,
// so that one call returns the whole process to that start: a test fixture
// between two tests, or the program between two runs in one process.
void onProcessReset(std::function<void()> reset);

// Runs every registered reset, the last registered first (state built on
// top of other state is dropped before what it was built on).
void resetProcessState();

// Registers `reset` once, from the accessor of a piece of process state:
//     static Thing thing;
//     [[maybe_unused]] static const bool registered = registerResetOnce([] { thing = {}; });
inline bool registerResetOnce(std::function<void()> reset) {
    onProcessReset(std::move(reset));
    return true;
}

}  // namespace kdx2::base
