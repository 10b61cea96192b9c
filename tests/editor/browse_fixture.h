#pragma once

// A drive C: in a temporary folder with a work folder, the session values a
// browse reads, the UI layer on a headless console driven by a key script,
// and helpers that make real tables, read the screen back and run another
// workstation as a separate process.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/process_state.h"
#include "base/text.h"
#include "common/colours.h"
#include "common/screen_messages.h"
#include "common/windows.h"
#include "editor/browse.h"
#include "platform/console/console.h"
#include "platform/drives.h"
#include "store/catalog.h"
#include "store/feedback.h"
#include "store/table.h"
#include "store/work_areas.h"
#include "support/child_process.h"
#include "ui/screen.h"

extern char** environ;

namespace kdx2::editor_test {

// Lock waits take no time; what the store reports is kept.
class QuietFeedback : public store::Feedback {
  public:
    std::vector<std::string> statuses;
    void status(const std::string& text) override {
        if (!text.empty()) statuses.push_back(base::cp850::toUtf8(text));
    }
    void wait(int) override {}
};

class BrowseTest : public ::testing::Test {
  protected:
    std::filesystem::path root;
    QuietFeedback feedback;
    std::unique_ptr<platform::Console> console;
    std::string failure;  // the message of a failed script line

    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        root = std::filesystem::temp_directory_path() /
               ("kdx2_editor_" + std::string(info->name()) + "_" + std::to_string(::getpid()));
        std::filesystem::remove_all(root);
        std::filesystem::create_directories(root / "DADOS");
        std::filesystem::create_directories(root / "TRAB");
        platform::configureDrives("C=" + root.string());
        platform::setCurrentFolder("C:\\DADOS");
        base::resetProcessState();
        base::NamedValues& s = base::session();
        s.set("LOCARQ", "C:\\DADOS\\");
        s.set("ARQDEF", "C:\\");
        s.set("LOCTRAB", "C:\\TRAB\\");
        s.set("NUSU", "03");
        s.set("CPF", "12345678909");
        s.set("ANOBASE", "2025");
        s.set("QUEANO", 2025);
        s.set("TEMP_SAL", 20);
        common::setDefaultColours(s);
        common::composeColourLists(s);
        store::setFeedback(&feedback);
        store::setDeletedFilter(true);
    }

    void TearDown() override {
        if (console) {
            common::removeScreenMessages();
            ui::stop();
        }
        base::resetProcessState();
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }

    // Starts the screen with the keys the user will type. "key Ctrl+P" in
    // the script keeps the screen as it stands in `snaps` (grid rows, UTF-8).
    std::vector<std::vector<std::string>> snaps;
    void keys(const std::string& script) {
        if (console) {
            common::removeScreenMessages();
            ui::stop();
        }
        console = platform::headlessConsoleFromText(script, platform::HeadlessEnd::Throw);
        ui::start(*console);
        common::installScreenMessages();
        ui::bindKey(platform::keys::ctrl('P'), [this](ui::Get*) {
            std::vector<std::string> rows;
            for (int row = 0; row < platform::kGridRows; ++row)
                rows.push_back(gridRow(row));
            snaps.push_back(std::move(rows));
        });
    }
    // The row of the last snapshot.
    std::string snapRow(int row) const {
        return snaps.empty() ? std::string() : snaps.back()[static_cast<size_t>(row)];
    }

    // Runs a screen; true when it returned by itself before the script ran
    // out (a failed `expect` line is left in `failure`).
    bool run(int code) {
        try {
            editor::EDITA(code);
        } catch (const platform::HeadlessStop& stop) {
            failure = stop.message;
            return false;
        }
        return true;
    }

    // A table with the layout of table `number`, opened in work area
    // `area` (exclusively, as the declaration's scratch copies are, unless
    // shared), with an index on `key` when given.
    store::Table& table(int number, int area, const std::string& file, const std::string& key = "",
                        bool shared = false) {
        const std::string path = "C:\\TRAB\\" + file;
        store::Table::create(path + ".DBF", *store::tableLayout(number));
        return reopen(area, file, key, shared);
    }

    store::Table& reopen(int area, const std::string& file, const std::string& key = "",
                         bool shared = false) {
        const std::string path = "C:\\TRAB\\" + file;
        store::workAreas().close(area);
        auto opened = store::Table::open(
            path + ".DBF", shared ? store::OpenMode::Shared : store::OpenMode::Exclusive);
        if (!key.empty()) opened->createIndex(path + ".CDX", key);
        store::workAreas().attach(area, std::move(opened));
        store::workAreas().select(area);
        return store::workAreas().area(area);
    }

    // Appends a record with the given fields (values as the fields hold them).
    void add(store::Table& t, const std::vector<std::pair<std::string, base::Value>>& fields) {
        ASSERT_TRUE(t.append());
        for (const auto& [name, value] : fields)
            t.put(name, value);
        t.unlock();
    }

    // One grid row as it stands now, in UTF-8 (row 0 of the grid is the
    // second row of the composed screen, under the menu-bar row).
    std::string gridRow(int row) {
        ui::refresh();
        return base::cp850::toUtf8(console->screen().rowText(row + platform::kFirstGridRow));
    }
    std::string screenText() {
        ui::refresh();
        return console->screen().toUtf8();
    }

    // The live records' values of a field, in record order.
    std::vector<std::string> column(store::Table& t, const std::string& field) {
        std::vector<std::string> values;
        const int order = t.order();
        t.setOrder(0);
        t.setFilter({});
        for (t.goTop(); !t.eof(); t.skip(1)) {
            const base::Value v = t.get(field);
            values.push_back(v.isNumeric()
                                 ? base::alltrim(base::formatFixed(v.number(), 20, 2).value_or("?"))
                             : v.isDate()    ? v.date().dtos()
                             : v.isLogical() ? std::string(v.logical() ? "T" : "F")
                                             : base::rtrim(base::cp850::toUtf8(v.text())));
        }
        t.setOrder(order);
        return values;
    }
};

using test_support::runPython;

// Another workstation holding a lock on record `recno` of a table of the
// temporary drive, until it is destroyed.
class RecordHolder {
  public:
    RecordHolder(const std::filesystem::path& root, const std::string& table, uint32_t recno)
        : child_(std::string(KDX2_TEST_PROGRAMS) + "/editor_record_holder",
                 {root.string(), table, std::to_string(recno)}) {
        ready_ = child_.readLine().value_or("");
    }
    bool holding() const { return ready_.rfind("ready", 0) == 0; }

  private:
    test_support::ChildProcess child_;
    std::string ready_;
};

}  // namespace kdx2::editor_test
