#pragma once

// A data folder and a work folder on a temporary drive C:, messages and
// store feedback recorded, a settable clock, and helpers that put rows into
// the year tables and read them back with an independent DBF reader.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/process_state.h"
#include "base/text.h"
#include "common/messages.h"
#include "platform/drives.h"
#include "shell/workspace/scratch.h"
#include "shell/workspace/versions.h"
#include "shell/workspace/working_values.h"
#include "shell/workspace/workspace.h"
#include "store/access.h"
#include "store/feedback.h"
#include "store/journal.h"
#include "store/work_areas.h"
#include "support/child_process.h"

namespace kdx2::workspace_test {

namespace ws = shell::workspace;

class RecordingMessages : public common::MessageHandler {
  public:
    std::vector<std::string> shown;  // every line of every box and window, UTF-8
    std::deque<int> answers;         // buttons chosen in the boxes; Esc (0) when empty
    int messageBox(const common::MessageBoxRequest& request) override {
        for (const std::string& line : request.lines)
            shown.push_back(base::cp850::toUtf8(line));
        if (answers.empty()) return 0;
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void clear() { shown.clear(); }
    base::Value messageWindow(const common::MensRequest& request) override {
        for (const std::string& line : request.text.lines())
            shown.push_back(base::cp850::toUtf8(line));
        return base::Value();
    }
    void statusLine(const std::string&) override {}
    void writeAt(int, int, const std::string&, const std::string&) override {}
    void tone(int, int) override {}
    bool saw(const std::string& utf8) const {
        for (const std::string& line : shown)
            if (line.find(utf8) != std::string::npos) return true;
        return false;
    }
};

class QuietFeedback : public store::Feedback {
  public:
    std::vector<std::string> alerts;
    void alert(const std::string& text) override { alerts.push_back(text); }
    void wait(int) override {}
};

struct FixedClock : ws::Clock {
    long seconds = 10 * 3600;
    long secondsSinceMidnight() const override { return seconds; }
    base::Date today() const override { return *base::Date::fromYmd(2025, 3, 10); }
};

// Session values a workspace needs, on a drive rooted at `root`.
inline void prepareSession(const std::filesystem::path& root, const std::string& terminal) {
    std::filesystem::create_directories(root / "DADOS");
    std::filesystem::create_directories(root / ("TRAB" + terminal));
    platform::configureDrives("C=" + root.string());
    platform::setCurrentFolder("C:\\DADOS");
    base::resetProcessState();
    base::NamedValues& s = base::session();
    s.set("LOCARQ", "C:\\DADOS\\");
    s.set("ARQDEF", "C:\\");
    s.set("LOCTRAB", "C:\\TRAB" + terminal + "\\");
    s.set("NUSU", terminal);
    s.set("QUEANO", 2024);
    s.set("QUALMENS", "1");
    s.set("TEMP_SAL", 20);
    store::setDeletedFilter(true);
}

inline std::string cpfOf(long long n) {
    char text[24];
    std::snprintf(text, sizeof text, "%011lld", n);
    return text;
}

// Appends one income row (IRM2 layout) to an open table.
inline void addIncome(store::Table& table, const std::string& cpf, const std::string& payer,
                      double amount) {
    EXPECT_TRUE(table.append());
    table.put("CPF", base::Value(cpf));
    table.put("I1_1", base::Value("F"));
    table.put("I1_2", base::Value(payer));
    table.put("I1_413", base::Value(amount));
    table.unlock();
}

// Opens the workspace of `cpf` (existing taxpayer unless `isNew`).
inline bool openTaxpayer(const std::string& cpf, bool isNew = false) {
    if (!ws::workingValuesExist()) ws::createWorkingValues();
    base::session().set("CPF", cpf);
    return ws::INIC_VAR(isNew ? 0 : 1, 0);
}

using test_support::runCommand;

class WorkspaceTest : public ::testing::Test {
  protected:
    std::filesystem::path root;
    RecordingMessages messages;
    common::ScopedMessageHandler messageScope{messages};
    QuietFeedback feedback;
    FixedClock fixedClock;

    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        root = std::filesystem::temp_directory_path() /
               ("kdx2_ws_" + std::string(info->name()) + "_" + std::to_string(::getpid()));
        std::filesystem::remove_all(root);
        prepareSession(root, "03");
        store::setFeedback(&feedback);
        ws::setClock(&fixedClock);
        for (int table = 1; table <= 17; ++table)
            ASSERT_TRUE(store::ABERTURA(table)) << table;
        store::workAreas().closeAll();
    }
    // `ours` registered with three income rows "OLD-1".."OLD-3" (amounts 1..3)
    // between one row of taxpayer 111 and one of 333; the tables closed.
    static void seedTaxpayerAmongOthers(const std::string& ours) {
        ASSERT_TRUE(store::ABERTURA(2));
        store::Table& irm2 = store::workAreas().area(2);
        addIncome(irm2, cpfOf(111), "OUTRO-1", 1);
        for (int i = 1; i <= 3; ++i)
            addIncome(irm2, ours, "OLD-" + std::to_string(i), i);
        addIncome(irm2, cpfOf(333), "OUTRO-3", 3);
        ASSERT_TRUE(store::ABERTURA(9));
        store::Table& reg = store::workAreas().area(9);
        EXPECT_TRUE(reg.append());
        reg.put("CPF", base::Value(ours));
        reg.unlock();
        store::workAreas().closeAll();
    }

    void TearDown() override {
        base::resetProcessState();
        store::setCommitStepHook({});
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }

    std::string host(const std::string& relative) const { return (root / relative).string(); }

    // "payer amount" of each live row of a year table for `cpf`, in file
    // order, read by python3-dbfread (which honours deleted marks).
    std::vector<std::string> storedIncome(const std::string& cpf, int table = 2) const {
        const std::string script =
            "import dbfread\n"
            "for r in dbfread.DBF('" +
            host("DADOS/IRM" + std::to_string(table) + ".DBF") +
            "', encoding='cp850', char_decode_errors='replace'):\n"
            "    if r['CPF'] == '" +
            cpf +
            "':\n"
            "        print(r['I1_2'].strip(), '%.2f' % (r['I1_413'] or 0))\n";
        return lines(python(script));
    }

    std::string python(const std::string& script) const {
        const std::string file = host("check.py");
        std::ofstream(file) << script;
        return runCommand("/usr/bin/python3 " + file + " 2>&1");
    }

    static std::vector<std::string> lines(const std::string& text) {
        std::vector<std::string> out;
        size_t at = 0;
        while (at < text.size()) {
            size_t end = text.find('\n', at);
            if (end == std::string::npos) end = text.size();
            out.push_back(text.substr(at, end - at));
            at = end + 1;
        }
        return out;
    }
};

}  // namespace kdx2::workspace_test
