#pragma once

// Two data folders (C:\ORIG and C:\DEST) with every year table, an install
// folder holding the terminal's folder list and a work folder, on a
// temporary drive C:; helpers that put taxpayers into a folder and read the
// folders back with an independent DBF reader; a peer process that keeps a
// table open as another workstation would.

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/process_state.h"
#include "base/text.h"
#include "common/recording_messages.h"
#include "common/windows.h"
#include "platform/drives.h"
#include "store/access.h"
#include "store/feedback.h"
#include "store/work_areas.h"
#include "support/child_process.h"

extern char** environ;

namespace kdx2::selection_test {

// A CPF with valid check digits from its first nine digits.
inline std::string validCpf(const std::string& nine) {
    std::string cpf = nine;
    for (int round = 0; round < 2; ++round) {
        const int length = static_cast<int>(cpf.size());
        int sum = 0;
        for (int i = 0; i < length; ++i)
            sum += (cpf[static_cast<size_t>(i)] - '0') * (length + 1 - i);
        const int digit = 11 - sum % 11;
        cpf += static_cast<char>('0' + (digit > 9 ? 0 : digit));
    }
    return cpf;
}

class QuietFeedback : public store::Feedback {
  public:
    std::vector<std::string> alerts;
    void alert(const std::string& text) override { alerts.push_back(base::cp850::toUtf8(text)); }
    void wait(int) override {}
};

using test_support::runCommand;

// Another workstation holding a table of drive C: open (shared) until it
// is released.
class TableHolder {
  public:
    TableHolder(const std::filesystem::path& root, const std::string& table)
        : child_(std::string(KDX2_TEST_PROGRAMS) + "/shell_selection_holder",
                 {root.string(), table}) {}
    // True once the peer has the table open.
    bool ready() {
        const auto line = child_.readLine();
        return line && line->rfind("ready", 0) == 0;
    }
    void release() { child_.release(); }

  private:
    test_support::ChildProcess child_;
};

class SelectionTest : public ::testing::Test {
  protected:
    std::filesystem::path root;
    testing::RecordingMessages messages;
    QuietFeedback feedback;

    void SetUp() override {
        char pattern[] = "/tmp/kdx2-selection-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root = pattern;
        for (const char* folder : {"ORIG", "DEST", "TRAB"})
            std::filesystem::create_directories(root / folder);
        platform::configureDrives("C=" + root.string());
        base::resetProcessState();
        base::NamedValues& s = base::session();
        s.set("ARQDEF", "C:\\");
        s.set("ROTADEF", "C:\\");
        s.set("LOCARQ", "C:\\ORIG\\");
        s.set("DIRTRAB", "C:\\TRAB");
        s.set("LOCTRAB", "C:\\TRAB\\");
        s.set("NUSU", "03");
        s.set("QUEANO", 2024);
        s.set("MOS_MENS", false);
        store::setFeedback(&feedback);
        store::setDeletedFilter(true);
        makeYearTables("C:\\ORIG\\");
        makeYearTables("C:\\DEST\\");
        ASSERT_TRUE(store::ABERTURA(50));
        store::workAreas().closeAll();
        s.set("LOCARQ", "C:\\ORIG\\");
    }
    void TearDown() override {
        base::resetProcessState();
        platform::configureDrives("");
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }

    static void makeYearTables(const std::string& folder) {
        base::session().set("LOCARQ", folder);
        for (int n = 1; n <= 17; ++n)
            ASSERT_TRUE(store::ABERTURA(n)) << folder << n;
        store::workAreas().closeAll();
    }

    // A taxpayer in `folder`: its register and summary records, `incomes`
    // income rows (payer names given) and one bank account.
    static void addTaxpayer(const std::string& folder, const std::string& cpf,
                            const std::string& name, const std::vector<std::string>& payers,
                            double amount = 100) {
        base::NamedValues& s = base::session();
        const std::string previous = s.text("LOCARQ");
        s.set("LOCARQ", folder);
        store::WorkAreas& areas = store::workAreas();
        auto row = [&](int table) -> store::Table& {
            if (!areas.table(table)) {
                EXPECT_TRUE(store::ABERTURA(table));
            }
            store::Table& t = areas.area(table);
            EXPECT_TRUE(t.append());
            t.put("CPF", base::Value(cpf));
            return t;
        };
        store::Table& reg = row(9);
        reg.put("NOMECONTR", base::Value(name));
        reg.unlock();
        row(1).unlock();
        for (const std::string& payer : payers) {
            store::Table& income = row(2);
            income.put("I1_1", base::Value("F"));
            income.put("I1_2", base::Value(payer));
            income.put("I1_413", base::Value(amount));
            income.unlock();
        }
        store::Table& bank = row(17);
        bank.put("NOM_BANCO", base::Value("Banco de " + name));
        bank.unlock();
        areas.closeAll();
        s.set("LOCARQ", previous);
    }

    std::string host(const std::string& relative) const { return (root / relative).string(); }

    // "table cpf" -> live rows, read by python3-dbfread from a folder.
    std::map<std::string, int> liveRows(const std::string& folder) const {
        const std::string script =
            "import dbfread, os\n"
            "d = '" +
            host(folder) +
            "'\n"
            "for n in range(1, 18):\n"
            "    for r in dbfread.DBF(os.path.join(d, 'IRM%d.DBF' % n), encoding='cp850'):\n"
            "        print(n, r['CPF'])\n";
        const std::string file = host("rows.py");
        std::ofstream(file) << script;
        std::map<std::string, int> rows;
        const std::string out = runCommand("/usr/bin/python3 " + file + " 2>&1");
        size_t at = 0;
        while (at < out.size()) {
            size_t end = out.find('\n', at);
            if (end == std::string::npos) end = out.size();
            ++rows[out.substr(at, end - at)];
            at = end + 1;
        }
        return rows;
    }

    // One field of the CPF's live rows of a table, in file order.
    std::vector<std::string> fieldOf(const std::string& folder, int table, const std::string& cpf,
                                     const std::string& field) const {
        const std::string script =
            "import dbfread\n"
            "for r in dbfread.DBF('" +
            host(folder + "/IRM" + std::to_string(table) + ".DBF") +
            "', encoding='cp850'):\n"
            "    if r['CPF'] == '" +
            cpf +
            "':\n"
            "        print(str(r['" +
            field + "']).strip())\n";
        const std::string file = host("field.py");
        std::ofstream(file) << script;
        std::vector<std::string> values;
        const std::string out = runCommand("/usr/bin/python3 " + file + " 2>&1");
        size_t at = 0;
        while (at < out.size()) {
            size_t end = out.find('\n', at);
            if (end == std::string::npos) end = out.size();
            values.push_back(out.substr(at, end - at));
            at = end + 1;
        }
        return values;
    }
};

// The folders of the terminal's registered folder list (DIRET03) and their
// marks, "S C:\DADOS", read by python3-dbfread.
inline std::vector<std::string> registeredFolders(const std::filesystem::path& root) {
    const std::string file = (root / "folders.py").string();
    std::ofstream(file) << "import dbfread\n"
                           "for r in dbfread.DBF('"
                        << (root / "DIRET03.DBF").string()
                        << "', encoding='cp850'):\n"
                           "    print(r['SELEC'], r['DIRETOR'].strip())\n";
    std::vector<std::string> rows;
    const std::string out = runCommand("/usr/bin/python3 " + file + " 2>&1");
    size_t at = 0;
    while (at < out.size()) {
        size_t end = out.find('\n', at);
        if (end == std::string::npos) end = out.size();
        rows.push_back(out.substr(at, end - at));
        at = end + 1;
    }
    return rows;
}

// Rows of one CPF in a liveRows() map, table by table ("2" -> 3 ...).
inline std::map<int, int> rowsOfCpf(const std::map<std::string, int>& rows,
                                    const std::string& cpf) {
    std::map<int, int> byTable;
    for (const auto& [key, count] : rows) {
        const size_t space = key.find(' ');
        if (space == std::string::npos || key.substr(space + 1) != cpf) continue;
        byTable[std::stoi(key.substr(0, space))] = count;
    }
    return byTable;
}

}  // namespace kdx2::selection_test
