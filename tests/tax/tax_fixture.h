#pragma once

// What the tax tests share: a message handler that answers questions from a
// queue and records what was shown, and a temporary drive C: with real year
// tables opened in their work areas.

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "common/messages.h"
#include "store/feedback.h"
#include "store/table.h"

namespace kdx2::tax_testing {

// Answers MENS questions with the next letter of `answers` (Esc-like "" when
// empty) and records every window shown, its lines in UTF-8.
class AnsweringMessages : public common::MessageHandler {
  public:
    AnsweringMessages() : scope_(*this) {}

    int messageBox(const common::MessageBoxRequest& request) override;
    base::Value messageWindow(const common::MensRequest& request) override;
    void statusLine(const std::string&) override {}
    void writeAt(int, int, const std::string&, const std::string&) override {}
    void tone(int, int) override {}

    std::deque<std::string> answers;
    struct Shown {
        int kind;
        std::vector<std::string> lines;  // UTF-8
    };
    std::vector<Shown> shown;

  private:
    common::ScopedMessageHandler scope_;
};

// Lock waits take no time, so a refused lock fails at once.
class InstantFeedback : public store::Feedback {
  public:
    void wait(int) override { ++waits; }
    int waits = 0;
};

// A temporary drive C: with the data folder C:\DADOS\ and the session's
// folders pointing at it; work areas are closed afterwards.
class TableTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Creates table `number`'s file with its layout (scratch numbers 21 ...
    // 37 take their year table's), builds an index on `key` when given and
    // opens it in area `area`. Returns the open table.
    store::Table& createInArea(int area, int number, const std::string& file,
                               const std::string& key, store::OpenMode mode);
    std::string hostPath(const std::string& file) const;
    // Runs a Python script with the system's interpreter (python3-dbfread)
    // and returns what it printed.
    std::string python(const std::string& script) const;

    std::filesystem::path root;
    InstantFeedback feedback;
};

}  // namespace kdx2::tax_testing
