#pragma once

#include <functional>

namespace kdx2::base {

// The program keeps some state for the whole process (the session record,
// the open windows, the declaration's saved keys, ...). Each piece registers,
// when it is first used, how to put itself back as a fresh start finds it,
// so that one call returns the whole process to that start (test fixtures
// call it before each test). What start-up wires once (menu commands,
// message handlers, lookups) belongs to the program, not to a run, and is
// not registered.
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
