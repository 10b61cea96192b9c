#pragma once

// A temporary drive C: with the install folder C:\ (and, on request, the
// shipped SELIC and revenue-code tables), the data folder C:\DADOS, the work
// folder C:\TRAB, the session of terminal 03 printing one taxpayer's slips,
// and that taxpayer's monthly carnê-leão grid; the print file is read back
// as it was written.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/process_state.h"
#include "base/text.h"
#include "common/recording_messages.h"
#include "common/windows.h"
#include "platform/drives.h"
#include "printing/output.h"
#include "printing/selection.h"
#include "reports/darf.h"
#include "store/access.h"
#include "store/feedback.h"
#include "store/supplied.h"
#include "store/work_areas.h"
#include "support/child_process.h"
#include "support/print_session.h"
#include "tax/carne.h"

namespace kdx2::reports_test {

inline constexpr const char* kCpf = "11144477735";

inline base::Date date(int day, int month, int year) {
    return *base::Date::fromYmd(year, month, day);
}

class DarfTest : public ::testing::Test {
  protected:
    std::filesystem::path root;
    testing::RecordingMessages messages;
    store::Feedback silent;

    void SetUp() override {
        char pattern[] = "/tmp/kdx2-darf-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root = pattern;
        std::filesystem::create_directories(root / "DADOS");
        std::filesystem::create_directories(root / "TRAB");
        platform::configureDrives("C=" + root.string());
        base::resetProcessState();
        base::NamedValues& s = base::session();
        test_support::setQuietPrintSession(s, "C:\\TRAB\\");
        s.set("QUEANO", 2025);
        s.set("QUEIMP", 2);
        s.set("QUEMOD", 2);
        s.set("QUECON", 1);
        s.set("TEM_LASER", 0);
        s.set("CAN_IMP", false);
        s.set("QLIN", 0);
        s.set("CPF", kCpf);
        s.set("NOMECONTR", "JOAO DA SILVA SANTOS");
        s.set("TELEFO", "987654321");
        s.set("CAL_AUTO", false);
        store::setFeedback(&silent);
        store::setDeletedFilter(true);
        reports::darfSlip() = reports::DarfSlip();
        reports::setComplementarySource({});
    }

    void TearDown() override {
        base::resetProcessState();
        platform::configureDrives("");
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }

    // A month of the loaded taxpayer's grid: tax due and tax paid.
    static void setMonth(int month, double due, double paid = 0, double income = 0) {
        tax::MonthlyGrid& grid = tax::carneLeao().REC_MENSAL;
        grid.setAmount(month, tax::MonthlyGrid::kTaxDue, due);
        grid.setAmount(month, tax::MonthlyGrid::kTaxPaid, paid);
        grid.setAmount(month, tax::MonthlyGrid::kIndividuals, income);
    }

    // A kind-1 slip of one month, asked as the dialogue would leave it.
    static reports::DarfSlip& carneSlip(int month, const base::Date& payment) {
        reports::DarfSlip& slip = reports::darfSlip();
        slip.QUEDARF = reports::kCarneLeao;
        slip.QUANTDARF = 1;
        slip.MES_PGTO = slip.MES_FINAL = month;
        slip.DF_PGTO = payment;
        return slip;
    }

    // Writes a shipped reference table (UFIRM, CODARF ...) into C:\ with its
    // indexes, as the first start of the program does.
    void installSupplied(const std::string& name) {
        const store::SuppliedTable table = store::suppliedTable(name);
        const std::string path = "C:\\" + table.name + ".DBF";
        store::Table::create(path, table.structure);
        auto file = store::Table::open(path, store::OpenMode::Exclusive);
        for (const auto& row : table.rows) {
            ASSERT_TRUE(file->append());
            for (size_t i = 0; i < row.size(); ++i)
                file->put(static_cast<int>(i), row[i]);
        }
        for (const store::SuppliedIndex& index : table.indexes)
            file->createIndex("C:\\" + index.name + ".CDX", index.keyExpression);
        file->close();
    }

    std::filesystem::path host(const std::string& relative) const { return root / relative; }

    std::string printFile() const {
        std::ifstream in(root / "TRAB" / "NAO-DOS03.TXT", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    // The print file's lines (CR LF), page ejects kept as "\f" lines, UTF-8.
    std::vector<std::string> printedLines() const {
        std::vector<std::string> lines;
        std::string line;
        for (char ch : printFile()) {
            if (ch == '\n') {
                lines.push_back(base::cp850::toUtf8(line));
                line.clear();
            } else if (ch == '\f') {
                if (!line.empty()) lines.push_back(base::cp850::toUtf8(line));
                lines.push_back("\f");
                line.clear();
            } else if (ch != '\r') {
                line += ch;
            }
        }
        if (!line.empty()) lines.push_back(base::cp850::toUtf8(line));
        return lines;
    }

    // Rows of a table of the drive read by python3-dbfread, each field as
    // "NAME=value" joined by tabs.
    std::vector<std::string> rowsOf(const std::string& table) const {
        const std::string out = test_support::runPython(
            "import dbfread\n"
            "for r in dbfread.DBF('" +
            (root / table).string() +
            "', encoding='cp850'):\n"
            "    print('\\t'.join('%s=%s' % (k, v) for k, v in r.items()))\n");
        std::vector<std::string> rows;
        size_t start = 0;
        for (size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1)
            rows.push_back(out.substr(start, end - start));
        return rows;
    }

    std::vector<std::string> boxLines(size_t index) const {
        if (index >= messages.boxes.size()) return {};
        return testing::utf8Lines(messages.boxes[index].lines);
    }
    // Every line of every box shown, in UTF-8.
    std::string allBoxText() const {
        std::string text;
        for (size_t i = 0; i < messages.boxes.size(); ++i)
            for (const std::string& line : boxLines(i))
                text += line + "\n";
        return text;
    }
};

// Whether `text` holds `part`.
inline bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace kdx2::reports_test
