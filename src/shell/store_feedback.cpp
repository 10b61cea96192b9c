#include "shell/store_feedback.h"

#include <chrono>
#include <thread>

#include "common/messages.h"
#include "common/windows.h"
#include "platform/console/keys.h"
#include "store/feedback.h"
#include "ui/screen.h"

namespace kdx2::shell {

namespace {

namespace keys = platform::keys;

class MessageFeedback : public store::Feedback {
  public:
    void showMessage(const std::string& text) override {
        common::MENS(13, text);
        if (ui::started()) ui::refresh();
    }
    void closeMessage() override { common::FECHAJAN(10); }
    void status(const std::string& text) override {
        common::MENS(0, text);
        if (ui::started()) ui::refresh();
    }
    void alert(const std::string& text) override { common::AVISOSN(text, common::box::kStop); }

    // A scripted run has no one to press Esc, and reading ahead would take
    // the script's next line out of its place.
    bool escPressed() override {
        if (!ui::started() || ui::console().isHeadless()) return false;
        const int key = ui::waitKey(0);
        if (key == keys::Esc) return true;
        if (key != keys::None && key != keys::MenuEvent) ui::pushKey(key);
        return false;
    }
    void wait(int milliseconds) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
};

MessageFeedback messageFeedback;

}  // namespace

void installStoreFeedback() {
    store::setFeedback(&messageFeedback);
}

}  // namespace kdx2::shell
