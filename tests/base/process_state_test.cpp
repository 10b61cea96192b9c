#include "base/process_state.h"

#include <gtest/gtest.h>

#include <string>

#include "base/named_values.h"

namespace kdx2::base {
namespace {

// Resets stay registered for the life of the process, so what they touch
// outlives each test.
std::string order;
int inner = 0;

TEST(ProcessState, ResetsRunLastRegisteredFirstAndEmptyTheSession) {
    session().set("CPF", "12345678909");
    onProcessReset([] { order += "a"; });
    onProcessReset([] { order += "b"; });
    resetProcessState();
    EXPECT_EQ(order, "ba");
    EXPECT_FALSE(session().has("CPF"));
    // Registered for good: a second reset runs them again.
    resetProcessState();
    EXPECT_EQ(order, "baba");
}

TEST(ProcessState, StateFirstUsedDuringAResetIsNotResetInTheSameCall) {
    onProcessReset([] {
        static bool registered = false;
        if (registered) return;
        registered = true;
        // Enough registrations to move the list under a running loop.
        for (int i = 0; i < 64; ++i)
            onProcessReset([] { ++inner; });
    });
    resetProcessState();
    EXPECT_EQ(inner, 0);
    resetProcessState();
    EXPECT_EQ(inner, 64);
}

}  // namespace
}  // namespace kdx2::base
