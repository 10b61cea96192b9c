#pragma once

// Crash and fault sweeps: run one operation again and again, each time with
// a fault at the next step (a kill before it, or an error instead of it),
// and check the files after each run. Header-only, for test programs that
// link the platform layer.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/faults.h"
#include "support/child_process.h"

namespace kdx2::test_support {

struct SweepSteps {
    platform::FileOp op = platform::FaultPlan::kEveryOp;  // which operations count as steps
    std::string nameFilter;                               // only files whose name has this
    long limit = 2000;                                    // more steps than this fail the test
    // Every stride-th step only (and always the run that completes), to
    // keep a sweep short in the suite; KDX2_FULL_SWEEPS=1 runs every step.
    long stride = 1;
};

inline long strideOf(const SweepSteps& steps) {
    const char* full = std::getenv("KDX2_FULL_SWEEPS");
    return full && std::string(full) == "1" ? 1 : std::max(1L, steps.stride);
}

// For n = 1, 2, ...: `prepare()` lays out the files, then in a forked child
// `setUp()` runs and `body()` is ended before its n-th step, and
// `check(n, ended)` looks at the files (`ended` is false for the run that
// finished without reaching step n, which is the last one). Returns the
// number of steps.
inline long sweepKills(const SweepSteps& steps, const std::function<void()>& prepare,
                       const std::function<void()>& setUp, const std::function<void()>& body,
                       const std::function<void(long step, bool ended)>& check) {
    for (long n = 1; n <= steps.limit; n += strideOf(steps)) {
        prepare();
        const int code = runForked([&] {
            setUp();
            platform::FaultPlan plan(steps.op, n, platform::FaultPlan::Action::Exit, 0,
                                     steps.nameFilter);
            platform::ScopedFileOpHook hook(&plan);
            body();
        });
        const bool ended = code == platform::FaultPlan::kExitCode;
        EXPECT_TRUE(ended || code == 0) << "step " << n << ": the run exited with " << code;
        check(n, ended);
        if (!ended || ::testing::Test::HasFatalFailure()) return n;
    }
    ADD_FAILURE() << "more than " << steps.limit << " steps";
    return steps.limit;
}

inline long sweepKills(const SweepSteps& steps, const std::function<void()>& prepare,
                       const std::function<void()>& body,
                       const std::function<void(long step, bool ended)>& check) {
    return sweepKills(
        steps, prepare, [] {}, body, check);
}

// The same with an error instead of a kill: the n-th step of `body()` fails
// with `error` (once, or from then on when `sticky`), in this process, after
// `setUp()`; `body()` returns whether the operation reported success, and
// `check(n, reached, ok)` sees whether the fault was reached and what the
// body said.
inline long sweepErrors(const SweepSteps& steps, int error, bool sticky,
                        const std::function<void()>& prepare, const std::function<void()>& setUp,
                        const std::function<bool()>& body,
                        const std::function<void(long step, bool reached, bool ok)>& check) {
    for (long n = 1; n <= steps.limit; n += strideOf(steps)) {
        prepare();
        setUp();
        platform::FaultPlan plan(steps.op, n,
                                 sticky ? platform::FaultPlan::Action::FailFromThenOn
                                        : platform::FaultPlan::Action::FailOnce,
                                 error, steps.nameFilter);
        bool ok = false;
        {
            platform::ScopedFileOpHook hook(&plan);
            ok = body();
        }
        check(n, plan.fired(), ok);
        if (!plan.fired() || ::testing::Test::HasFatalFailure()) return n;
    }
    ADD_FAILURE() << "more than " << steps.limit << " steps";
    return steps.limit;
}

inline long sweepErrors(const SweepSteps& steps, int error, bool sticky,
                        const std::function<void()>& prepare, const std::function<bool()>& body,
                        const std::function<void(long step, bool reached, bool ok)>& check) {
    return sweepErrors(
        steps, error, sticky, prepare, [] {}, body, check);
}

// The errors a sweep injects: a full disk, an I/O error, a disk that turned
// read-only, each once and for good.
struct InjectedError {
    int error;
    bool sticky;
};
inline std::vector<InjectedError> injectedErrors() {
    std::vector<InjectedError> all;
    for (int error : {ENOSPC, EIO, EROFS})
        for (bool sticky : {false, true})
            all.push_back({error, sticky});
    return all;
}
inline std::string describe(const InjectedError& injected) {
    return std::string(injected.error == ENOSPC ? "ENOSPC"
                       : injected.error == EIO  ? "EIO"
                                                : "EROFS") +
           (injected.sticky ? " from then on" : " once");
}

}  // namespace kdx2::test_support
