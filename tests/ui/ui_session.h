#pragma once

// The UI layer started on a headless console driven by a script, for tests
// that run real windows, menus and forms and read the screen back.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>

#include "base/cp850.h"
#include "platform/console/console.h"
#include "ui/screen.h"

namespace kdx2::ui::testing {

class UiSession {
  public:
    explicit UiSession(std::string_view script)
        : console_(platform::headlessConsoleFromText(script, platform::HeadlessEnd::Throw)) {
        start(*console_);
    }
    ~UiSession() { stop(); }

    platform::Console& console() { return *console_; }

    // One row of the composed screen as it stands now, in UTF-8.
    std::string row(int screenRow) {
        refresh();
        return base::cp850::toUtf8(console_->screen().rowText(screenRow));
    }
    // The whole composed screen in UTF-8.
    std::string screen() {
        refresh();
        return console_->screen().toUtf8();
    }
    bool shows(std::string_view utf8) { return screen().find(utf8) != std::string::npos; }

  private:
    std::unique_ptr<platform::Console> console_;
};

// Runs `body`; true when the headless script ran out (or failed) inside it.
// The message of a failed line is left in `message`.
template <typename Body>
int runUntilScriptEnds(Body body, std::string* message = nullptr) {
    try {
        body();
    } catch (const platform::HeadlessStop& stop) {
        if (message) *message = stop.message;
        return stop.exitCode;
    }
    return -1;
}

}  // namespace kdx2::ui::testing
