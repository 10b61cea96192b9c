#pragma once

#include <deque>
#include <string>
#include <vector>

#include "common/messages.h"

namespace kdx2::testing {

// Records every message the code under test shows and answers boxes from a
// queue of button numbers (0, as Esc, when the queue is empty). Installed
// for its own lifetime.
class RecordingMessages : public common::MessageHandler {
  public:
    RecordingMessages() : scope_(*this) {}

    int messageBox(const common::MessageBoxRequest& request) override;
    base::Value messageWindow(const common::MensRequest& request) override;
    void statusLine(const std::string& text) override { status.push_back(text); }
    void writeAt(int row, int column, const std::string& text, const std::string& colour) override;
    void tone(int frequency, int ticks) override { tones.push_back({frequency, ticks}); }

    // The lines of the only box shown, in UTF-8; fails the test otherwise.
    std::vector<std::string> onlyBoxLines() const;

    std::deque<int> answers;
    base::Value windowAnswer;
    std::vector<common::MessageBoxRequest> boxes;
    std::vector<common::MensRequest> windows;
    std::vector<std::string> status;
    struct Written {
        int row, column;
        std::string text, colour;
    };
    std::vector<Written> written;
    struct Tone {
        int frequency, ticks;
        bool operator==(const Tone&) const = default;
    };
    std::vector<Tone> tones;

  private:
    common::ScopedMessageHandler scope_;
};

// UTF-8 lines of a CP850 message.
std::vector<std::string> utf8Lines(const std::vector<std::string>& lines);

}  // namespace kdx2::testing
