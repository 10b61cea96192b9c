#include "base/process_state.h"

#include <vector>

namespace kdx2::base {

namespace {

std::vector<std::function<void()>>& resets() {
    static std::vector<std::function<void()>> all;
    return all;
}

}  // namespace

void onProcessReset(std::function<void()> reset) {
    resets().push_back(std::move(reset));
}

void resetProcessState() {
    // A reset may touch state that registers itself for the first time;
    // that state is fresh already, so only the ones known at the start run
    // (from a copy, which such a registration cannot move under the loop).
    const auto all = resets();
    for (size_t i = all.size(); i-- > 0;)
        all[i]();
}

}  // namespace kdx2::base
