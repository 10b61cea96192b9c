#include "recording_messages.h"

#include <gtest/gtest.h>

#include "base/cp850.h"

namespace kdx2::testing {

int RecordingMessages::messageBox(const common::MessageBoxRequest& request) {
    boxes.push_back(request);
    if (answers.empty()) return 0;
    const int answer = answers.front();
    answers.pop_front();
    return answer;
}

base::Value RecordingMessages::messageWindow(const common::MensRequest& request) {
    windows.push_back(request);
    return windowAnswer;
}

void RecordingMessages::writeAt(int row, int column, const std::string& text,
                                const std::string& colour) {
    written.push_back({row, column, text, colour});
}

std::vector<std::string> RecordingMessages::onlyBoxLines() const {
    EXPECT_EQ(boxes.size(), 1u);
    if (boxes.size() != 1) return {};
    return utf8Lines(boxes.front().lines);
}

std::vector<std::string> utf8Lines(const std::vector<std::string>& lines) {
    std::vector<std::string> converted;
    for (const std::string& line : lines)
        converted.push_back(base::cp850::toUtf8(line));
    return converted;
}

}  // namespace kdx2::testing
