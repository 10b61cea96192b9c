#pragma once

// Runs code on the headless console driven by a key script, over a window
// filling the grid as the program's main window does.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "common/windows.h"
#include "ui/dialog.h"
#include "ui/ui_session.h"

namespace kdx2::reports_test {

template <typename Body>
void onScreen(const std::string& script, Body body) {
    ui::testing::UiSession session(script);
    const std::shared_ptr<ui::LDialog> main = ui::LDLGSHOW(0, 0, 24, 79, "kdx2");
    common::setTextSurface([] {
        const std::shared_ptr<ui::LDialog> active = ui::activeWindow();
        if (!active) return common::TextSurface{};
        return common::TextSurface{&active->grid(), active->nTop, active->nLeft};
    });
    std::string failure;
    const int stop = ui::testing::runUntilScriptEnds(body, &failure);
    EXPECT_EQ(stop, -1) << "the script ran out inside the code: " << failure;
    common::setTextSurface({});
    main->close();
}

}  // namespace kdx2::reports_test
