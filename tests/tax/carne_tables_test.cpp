#include "tax/carne_tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>

#include "base/named_values.h"
#include "store/supplied.h"
#include "store/work_areas.h"
#include "tax_fixture.h"

using kdx2::base::Date;
using kdx2::base::Value;
using kdx2::store::OpenMode;
using kdx2::store::Table;
using kdx2::tax::Accumulator;
using kdx2::tax::CarneLeao;
using kdx2::tax::MonthlySummaryWrite;

namespace {

const std::string kTaxpayer = "11122233396";
const std::string kOther = "22233344405";

std::string twoDigits(int month) {
    return (month < 10 ? "0" : "") + std::to_string(month);
}

class MonthlyTables : public kdx2::tax_testing::TableTest {
  protected:
    void addDated(Table& table, const std::string& cpf, const std::string& kind,
                  std::optional<Date> date, double amount) {
        ASSERT_TRUE(table.append());
        table.put("CPF", Value(cpf));
        table.put("I1_1", Value(kind));
        if (date) table.put("DT_LC", Value(*date));
        table.put("I1_413", Value(amount));
        table.unlock();
    }
    void addMonthly(Table& table, const std::string& cpf, const std::string& kind, double amount) {
        ASSERT_TRUE(table.append());
        table.put("CPF", Value(cpf));
        table.put("I1_1", Value(kind));
        for (int month = 1; month <= 12; ++month)
            table.put("I1_4" + twoDigits(month), Value(amount * month));
        table.unlock();
    }
    void addSummary(Table& table, const std::string& cpf, int month, double taxDue) {
        ASSERT_TRUE(table.append());
        table.put("CPF", Value(cpf));
        table.put("MES", Value(month));
        table.put("I2_1", Value(55555.0));
        table.put("I2_6", Value(taxDue));
        table.unlock();
    }
    // The taxpayer's live IRM16 records as the independent reader sees them:
    // one line "MES I2_1 I2_2 I2_3 I2_4 I2_5 I2_6" each, in record order
    // (blank numbers read as 0, as the program reads them).
    std::string summaryLines(const std::string& cpf) {
        return python(
            "import dbfread\n"
            "for r in dbfread.DBF('" +
            hostPath("IRM16.DBF") +
            "', encoding='cp850'):\n"
            "    if r['CPF'] == '" +
            cpf +
            "':\n"
            "        print(r['MES'], *[r['I2_%d' % i] or 0.0 for i in range(1, 7)])\n");
    }
    Date day(int month, int dayOfMonth) { return *Date::fromYmd(2025, month, dayOfMonth); }

    // The shared tables of mode 3 with two taxpayers' entries.
    Table& sharedEntries() {
        Table& entries = createInArea(2, 2, "IRM2", "CPF", OpenMode::Shared);
        addDated(entries, kTaxpayer, "F", day(3, 5), 1000);
        addDated(entries, kOther, "F", day(3, 5), 9999);
        addDated(entries, kTaxpayer, "E", day(7, 1), 300);
        addDated(entries, kTaxpayer, "L", day(3, 20), 120);
        addMonthly(entries, kTaxpayer, "P", 10);
        addMonthly(entries, kTaxpayer, "I", 1);
        return entries;
    }
};

}  // namespace

TEST_F(MonthlyTables, WorkspaceEntriesAccumulatedByKindAndMonth) {
    Table& entries = createInArea(22, 22, "TMP_203", "DTOS(DT_LC)", OpenMode::Exclusive);
    addDated(entries, kTaxpayer, "F", day(3, 5), 1000);
    addDated(entries, kTaxpayer, "F", std::nullopt, 250);  // no date: January
    addDated(entries, kTaxpayer, "F", day(3, 28), 500);
    addDated(entries, kTaxpayer, "O", day(3, 28), 70000);  // not a monthly-tax kind
    addDated(entries, kTaxpayer, "F", day(4, 1), 4444);
    entries.goBottom();
    entries.deleteRecord();  // a deleted entry counts for nothing
    addMonthly(entries, kTaxpayer, "P", 10);
    addDated(entries, kTaxpayer, "E", day(12, 31), 80);

    CarneLeao carne;
    carne.TLEODEV[4] = 99;
    // The last entry in date order is the one of December, from abroad.
    EXPECT_EQ(kdx2::tax::SOMA_FIS(carne, kdx2::tax::EntrySource::Workspace, 12, ""), "      80,00");
    EXPECT_DOUBLE_EQ(carne.TRECFIS[1], 250);
    EXPECT_DOUBLE_EQ(carne.TRECFIS[3], 1500);
    EXPECT_DOUBLE_EQ(carne.TRECFIS[4], 0);
    EXPECT_DOUBLE_EQ(carne.TRECFIS[13], 1750);
    EXPECT_DOUBLE_EQ(carne.TPAGPRE[6], 60);
    EXPECT_DOUBLE_EQ(carne.TPAGPRE[13], 780);
    EXPECT_DOUBLE_EQ(carne.TRECEXT[12], 80);
    EXPECT_DOUBLE_EQ(carne.TLEODEV[4], 0);
    // Mode 0 reads the same table; a column outside 1 ... 13 gives no text.
    CarneLeao again;
    EXPECT_EQ(kdx2::tax::SOMA_FIS(again, kdx2::tax::EntrySource::Workspace, 14, ""), "");
    EXPECT_DOUBLE_EQ(again.TRECFIS[13], 1750);
}

TEST_F(MonthlyTables, DependantsCountedAndNumberedInPlace) {
    Table& dependants = createInArea(23, 23, "TMP_303", "cpf", OpenMode::Exclusive);
    const struct {
        int code;
        int number;
    } rows[] = {{3, 0}, {98, 0}, {11, 7}, {99, 0}, {21, 0}};
    for (const auto& row : rows) {
        ASSERT_TRUE(dependants.append());
        dependants.put("CPF", Value(kTaxpayer));
        dependants.put("CODIDEPEN", Value(row.code));
        if (row.number) dependants.put("NRODEPEN", Value(row.number));
    }
    CarneLeao carne;
    EXPECT_EQ(kdx2::tax::NRODP(carne), 3);
    EXPECT_EQ(carne.N_DEPEN, 3);
    EXPECT_EQ(carne.DESPALIM, 2);  // codes 98 and 99
    dependants.flush();
    std::vector<int> numbers;
    dependants.forEach([&](Table& table) {
        numbers.push_back(static_cast<int>(table.get("NRODEPEN").number()));
        return true;
    });
    EXPECT_EQ(numbers, (std::vector<int>{1, 2, 7, 4, 5}));
    // Code 98 gives no deduction.
    kdx2::base::session().set("QUEANO", 2025);
    EXPECT_DOUBLE_EQ(kdx2::tax::CALCDEP(carne, 1), 3 * 189.59);
}

TEST_F(MonthlyTables, CorrectionFactorsOfTheYearOrTheDefault) {
    kdx2::store::SuppliedTable layout = kdx2::store::suppliedTable("UFIRM");
    Table::create("C:\\UFIRM.DBF", layout.structure);
    auto ufirm = Table::open("C:\\UFIRM.DBF", OpenMode::Shared);
    ufirm->createIndex("C:\\UFIRM.CDX", "ANOMES");
    for (const char* key : {"199412", "199501", "199502"}) {
        ASSERT_TRUE(ufirm->append());
        ufirm->put("ANOMES", Value(key));
        ufirm->put("MULTIPL", Value(std::string(key) == "199501" ? 0.6767 : 0.5));
        ufirm->put("SIMB_MOED", Value("R$"));
        ufirm->unlock();
    }
    kdx2::store::workAreas().attach(45, std::move(ufirm));
    kdx2::base::NamedValues& session = kdx2::base::session();
    session.set("QUEANO", 1995);
    session.set("SIMB_MOED", Value("Cr$"));
    CarneLeao carne;
    kdx2::tax::CARGA_UFIR(carne);
    for (double factor : carne.TAB_UFIR)
        EXPECT_DOUBLE_EQ(factor, 0.6767);
    EXPECT_DOUBLE_EQ(session.number("UFIRATUAL"), 0.6767);
    EXPECT_EQ(session.text("SIMB_MOED"), "R$  ");

    session.set("QUEANO", 1996);
    session.set("UFIRATUAL", 1.0);
    kdx2::tax::CARGA_UFIR(carne);
    for (double factor : carne.TAB_UFIR)
        EXPECT_DOUBLE_EQ(factor, 0.9108);
    EXPECT_DOUBLE_EQ(session.number("UFIRATUAL"), 1.0);
    EXPECT_EQ(session.text("SIMB_MOED"), "R$  ");
}

TEST_F(MonthlyTables, PaymentsOfTheWorkspaceGiveTheAlimonyOfTheGrid) {
    Table& payments = createInArea(26, 26, "TMP_603", "cpf", OpenMode::Exclusive);
    for (int code : {31, 10, 34}) {
        ASSERT_TRUE(payments.append());
        payments.put("CPF", Value(kTaxpayer));
        payments.put("I6_3", Value(code));
        payments.put("I6_405", Value(100.0 * code));
    }
    kdx2::base::session().set("QUEANO", 2022);
    kdx2::base::session().set("CAL_AUTO", false);
    CarneLeao carne;
    kdx2::tax::RESOMA(carne);
    EXPECT_DOUBLE_EQ(carne.DESPPEN[5], 3100 + 3400);
    EXPECT_DOUBLE_EQ(carne.REC_MENSAL.amount(5, kdx2::tax::MonthlyGrid::kDeductions), 6500);
}

// Mode 3: the shared table's entries of one taxpayer, then that taxpayer's
// twelve monthly summaries written.
TEST_F(MonthlyTables, SummariesAppendedForATaxpayerWithoutAny) {
    sharedEntries();
    Table& summary = createInArea(16, 16, "IRM16", "CPF", OpenMode::Shared);
    addSummary(summary, kOther, 3, 1.5);
    kdx2::tax_testing::AnsweringMessages messages;

    CarneLeao carne;
    kdx2::tax::SOMA_FIS(carne, kdx2::tax::EntrySource::SharedTable, 1, kTaxpayer);
    EXPECT_DOUBLE_EQ(carne.TRECFIS[13], 1000);  // the other taxpayer's 9999 left out
    summary.flush();
    EXPECT_EQ(summaryLines(kTaxpayer),
              "1 0.0 0.0 0.0 10.0 1.0 0.0\n"
              "2 0.0 0.0 0.0 20.0 2.0 0.0\n"
              "3 1000.0 0.0 120.0 30.0 3.0 0.0\n"
              "4 0.0 0.0 0.0 40.0 4.0 0.0\n"
              "5 0.0 0.0 0.0 50.0 5.0 0.0\n"
              "6 0.0 0.0 0.0 60.0 6.0 0.0\n"
              "7 0.0 300.0 0.0 70.0 7.0 0.0\n"
              "8 0.0 0.0 0.0 80.0 8.0 0.0\n"
              "9 0.0 0.0 0.0 90.0 9.0 0.0\n"
              "10 0.0 0.0 0.0 100.0 10.0 0.0\n"
              "11 0.0 0.0 0.0 110.0 11.0 0.0\n"
              "12 0.0 0.0 0.0 120.0 12.0 0.0\n");
    EXPECT_EQ(summaryLines(kOther), "3 55555.0 0.0 0.0 0.0 0.0 1.5\n");
    EXPECT_TRUE(messages.shown.empty());
    // Running it again (for the session's taxpayer) rewrites the same twelve
    // records.
    kdx2::base::session().set("CPF", Value(kTaxpayer));
    kdx2::tax::SOMA_FIS(carne, kdx2::tax::EntrySource::SharedTable, 1, "");
    EXPECT_EQ(summary.recCount(), 13u);
}

// A taxpayer with only some months (the payment slip adds single months),
// a record without a month and a month twice: every month ends with exactly
// one record, and each record keeps the figures stored with its month.
TEST_F(MonthlyTables, MissingMonthsFilledAndEachRecordKeepsItsMonth) {
    Table& entries = sharedEntries();
    Table& summary = createInArea(16, 16, "IRM16", "CPF", OpenMode::Shared);
    addSummary(summary, kTaxpayer, 7, 70.0);
    addSummary(summary, kOther, 7, 1.5);
    addSummary(summary, kTaxpayer, 0, 0.25);
    addSummary(summary, kTaxpayer, 3, 30.0);
    addSummary(summary, kTaxpayer, 7, 71.0);

    CarneLeao carne;
    kdx2::tax::accumulateTaxpayerEntries(carne, entries, kTaxpayer);
    const MonthlySummaryWrite result = kdx2::tax::rewriteMonthlySummary(carne, kTaxpayer, 0);
    EXPECT_EQ(result.rewritten, 4);  // 3, 7, and two records reused for other months
    EXPECT_EQ(result.appended, 8);
    EXPECT_EQ(result.removed, 0);
    EXPECT_TRUE(result.complete());
    summary.flush();
    const std::string lines = summaryLines(kTaxpayer);
    EXPECT_NE(lines.find("7 0.0 300.0 0.0 70.0 7.0 70.0\n"), std::string::npos) << lines;
    EXPECT_NE(lines.find("3 1000.0 0.0 120.0 30.0 3.0 30.0\n"), std::string::npos) << lines;
    // The record without a month became January, the second July February.
    EXPECT_NE(lines.find("1 0.0 0.0 0.0 10.0 1.0 0.25\n"), std::string::npos) << lines;
    EXPECT_NE(lines.find("2 0.0 0.0 0.0 20.0 2.0 71.0\n"), std::string::npos) << lines;
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 12);
    EXPECT_EQ(summaryLines(kOther), "7 55555.0 0.0 0.0 0.0 0.0 1.5\n");
}

TEST_F(MonthlyTables, RecordsBeyondOnePerMonthAreRemoved) {
    Table& entries = sharedEntries();
    Table& summary = createInArea(16, 16, "IRM16", "CPF", OpenMode::Shared);
    for (int month = 12; month >= 1; --month)
        addSummary(summary, kTaxpayer, month, month);
    addSummary(summary, kTaxpayer, 5, 500.0);
    addSummary(summary, kTaxpayer, 13, 1300.0);

    CarneLeao carne;
    kdx2::tax::accumulateTaxpayerEntries(carne, entries, kTaxpayer);
    const MonthlySummaryWrite result = kdx2::tax::rewriteMonthlySummary(carne, kTaxpayer, 0);
    EXPECT_EQ(result.rewritten, 12);
    EXPECT_EQ(result.appended, 0);
    EXPECT_EQ(result.removed, 2);
    summary.flush();
    const std::string lines = summaryLines(kTaxpayer);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 12) << lines;
    EXPECT_EQ(lines.find("500.0"), std::string::npos) << lines;
    EXPECT_EQ(lines.find("1300.0"), std::string::npos) << lines;
    EXPECT_NE(lines.find("5 0.0 0.0 0.0 50.0 5.0 5.0\n"), std::string::npos) << lines;
}

// Another workstation holds one month's record: that month is left as it
// was, the others are written, and the user is told.
TEST_F(MonthlyTables, AMonthLockedElsewhereIsLeftAndReported) {
    sharedEntries();
    Table& summary = createInArea(16, 16, "IRM16", "CPF", OpenMode::Shared);
    for (int month = 1; month <= 12; ++month)
        addSummary(summary, kTaxpayer, month, 0);
    summary.flush();
    auto elsewhere = Table::open("C:\\DADOS\\IRM16.DBF", OpenMode::Shared);
    elsewhere->goTo(3);
    ASSERT_TRUE(elsewhere->lockRecord());

    kdx2::tax_testing::AnsweringMessages messages;
    CarneLeao carne;
    kdx2::tax::SOMA_FIS(carne, kdx2::tax::EntrySource::SharedTable, 1, kTaxpayer);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(
        messages.shown[0].lines,
        std::vector<std::string>{"Totais mensais do carnê-leão não gravados: registro em uso."});
    EXPECT_GT(feedback.waits, 0);
    elsewhere->unlock();
    summary.flush();
    const std::string lines = summaryLines(kTaxpayer);
    EXPECT_NE(lines.find("3 55555.0 0.0 0.0 0.0 0.0 0.0\n"), std::string::npos) << lines;
    EXPECT_NE(lines.find("4 0.0 0.0 0.0 40.0 4.0 0.0\n"), std::string::npos) << lines;

    // Once free, the next run writes it.
    messages.shown.clear();
    kdx2::tax::SOMA_FIS(carne, kdx2::tax::EntrySource::SharedTable, 1, kTaxpayer);
    EXPECT_TRUE(messages.shown.empty());
    summary.flush();
    EXPECT_NE(summaryLines(kTaxpayer).find("3 1000.0 0.0 120.0 30.0 3.0 0.0\n"), std::string::npos);
}

TEST_F(MonthlyTables, ABlankTaxpayerTouchesNothing) {
    sharedEntries();
    Table& summary = createInArea(16, 16, "IRM16", "CPF", OpenMode::Shared);
    addSummary(summary, kOther, 3, 1.5);
    CarneLeao carne;
    carne.TRECFIS[3] = 5;
    EXPECT_EQ(kdx2::tax::SOMA_FIS(carne, kdx2::tax::EntrySource::SharedTable, 3, "   "), "");
    EXPECT_DOUBLE_EQ(carne.TRECFIS[3], 0);
    EXPECT_EQ(summary.recCount(), 1u);
}
