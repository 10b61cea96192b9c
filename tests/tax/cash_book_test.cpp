#include "tax/cash_book.h"
#include "base/text.h"

#include <gtest/gtest.h>

#include <string>

#include "base/cp850.h"
#include "base/named_values.h"
#include "store/catalog.h"
#include "store/work_areas.h"
#include "tax_fixture.h"

using kdx2::base::Date;
using kdx2::base::Value;
using kdx2::store::OpenMode;
using kdx2::store::Table;
using namespace kdx2::tax;
using namespace kdx2::base::literals;

namespace {

const std::string kTaxpayer = "11144477735";
const std::string kOther = "52998224725";
const std::string kCompany = "11.222.333/0001-81";

// Account lines are typed by the office into the chart: only the lines
// whose field group exists may be written.
TEST(CashBookDestinations, CompanyLinesNameOnlyExistingGroups) {
    const std::pair<int, const char*> cases[] = {{1, "I1_4"}, {2, "I1_5"}, {3, "I1_6"},
                                                 {4, "I1_7"}, {6, "I1_9"}, {7, "I1_10"},
                                                 {8, "I1_11"}};
    for (const auto& [line, group] : cases)
        EXPECT_EQ(companyGroup(line).value_or("none"), group) << line;
    for (int line : {0, 5, 9, 12, -1, 99})
        EXPECT_FALSE(companyGroup(line)) << line;
    EXPECT_EQ(monthField("I1_4", 3), "I1_403");
    EXPECT_EQ(monthField("I6_5", 13), "I6_513");
}

TEST(CashBookDestinations, PaymentLinesAboveThirtySixAreReducedByThirty) {
    EXPECT_EQ(paymentTarget(10)->group, "I6_4");
    EXPECT_EQ(paymentTarget(10)->code, 10);
    EXPECT_EQ(paymentTarget(36)->group, "I6_4");
    EXPECT_EQ(paymentTarget(40)->group, "I6_5");
    EXPECT_EQ(paymentTarget(40)->code, 10);
    EXPECT_EQ(paymentTarget(129)->code, 99);
    EXPECT_FALSE(paymentTarget(0));
    EXPECT_FALSE(paymentTarget(130));  // code 100 does not fit I6_3
}

TEST(CashBookDestinations, MonthlyLinesGiveTheItemKinds) {
    EXPECT_EQ(monthlyItemKind(1)->kind, "F");
    EXPECT_EQ(monthlyItemKind(2)->kind, "E");
    EXPECT_EQ(monthlyItemKind(3)->kind, "L");
    EXPECT_EQ(monthlyItemKind(3)->credit, "D");
    EXPECT_EQ(monthlyItemKind(4)->namedItem, "Carne do INSS");
    EXPECT_EQ(monthlyItemKind(5)->namedItem, "Receita Federal");
    EXPECT_EQ(monthlyItemKind(9)->kind, "O");
    EXPECT_EQ(monthlyItemKind(9)->credit, "N");
    EXPECT_FALSE(monthlyItemKind(0));
}

TEST(CashBookDestinations, TransferReportCountsAndLeftovers) {
    EXPECT_EQ(transferReport({0, 0, false, false}).front(), "Sem lançamento para transferir"_cp);
    EXPECT_EQ(transferReport({1, 0, false, false}).front(), "Transferido 1 lançamento!"_cp);
    EXPECT_EQ(transferReport({2, 0, false, false}).front(), "Transferidos   2 lançamentos!"_cp);
    EXPECT_EQ(transferReport({10000, 0, false, false}).front(),
              "Transferidos 10000 lançamentos!"_cp);
    const auto lines = transferReport({3, 2, false, false});
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "Transferidos   3 lançamentos!"_cp);
    EXPECT_EQ(lines[1], "2 lançamentos ficaram sem transferir."_cp);
}

class CashBookTransfer : public kdx2::tax_testing::TableTest {
  protected:
    void SetUp() override {
        TableTest::SetUp();
        kdx2::base::session().set("QUEANO", 2025);
        chart = &createInArea(58, 58, "CONTAS", "CDCONTA", OpenMode::Shared);
        income = &createInArea(2, 2, "IRM2", "CPF", OpenMode::Shared);
        payments = &createInArea(6, 6, "IRM6", "CPF", OpenMode::Shared);
        entries = &createInArea(34, 14, "TMPL1403", "", OpenMode::Exclusive);
        account("1001", "S", 2, 1, "S", "N", "S");
        account("4001", "S", 2, 3, "S", "N", "S");
        account("2001", "S", 1, 1, "N", "S", "N");
        account("2002", "S", 1, 2, "N", "S", "N");
        account("2099", "S", 1, 5, "N", "S", "N");  // a line with no field group
        account("2000", "N", 0, 0, "N", "N", "N");  // a title
        account("5040", "S", 6, 40, "S", "N", "N");
        account("8001", "S", 10, 1, "S", "S", "S");
        account("9001", "S", 10, 2, "S", "S", "S");
    }

    void account(const std::string& code, const std::string& detail, int page, int line,
                 const std::string& cpf, const std::string& cnpj, const std::string& book) {
        kdx2::store::appendRecord(*chart);
        chart->put("CDCONTA", Value(code));
        chart->put("NMDESCRICA", Value("Conta " + code));
        chart->put("CDSTATUS", Value(detail));
        chart->put("PAGINA", Value(page));
        chart->put("LINHA", Value(line));
        chart->put("TEMCPF", Value(cpf));
        chart->put("TEMCGC", Value(cnpj));
        chart->put("LIVROCX", Value(book));
        chart->put("TEMDESCR", Value(book));
        chart->unlock();
    }

    void entry(const std::string& code, double amount, std::optional<Date> date, int month = 0,
               const std::string& number = "", const std::string& cpf = kTaxpayer) {
        kdx2::store::appendRecord(*entries);
        entries->put("CPF", Value(cpf));
        entries->put("CDCONTA", Value(code));
        entries->put("DESCONTA", Value("Lancamento " + code));
        entries->put("VALODESP", Value(amount));
        entries->put("NROCGCCPF", Value(number));
        entries->put("LANCADO", Value(false));
        if (date) entries->put("DATALAN", Value(*date));
        entries->put("MESLAN", Value(month));
        entries->unlock();
    }

    TransferResult transfer() {
        TransferPlace place;
        place.entriesArea = 34;
        place.cpf = kTaxpayer;
        place.year = 2025;
        place.lockSeconds = 0.5;
        return LANCAVAL(place, *chart);
    }

    std::vector<bool> marks() {
        std::vector<bool> all;
        for (uint32_t recno = 1; recno <= entries->recCount(); ++recno) {
            entries->goTo(recno);
            all.push_back(entries->get("LANCADO").logical());
        }
        return all;
    }

    std::string incomeRows() {
        income->flush();
        return python("import dbfread\nfor r in dbfread.DBF('" + hostPath("IRM2.DBF") +
                      "', encoding='cp850'):\n"
                      "    print(r['CPF'], r['I1_1'], r['TIPOCR'], r['CDCONTA'], r['I1_413'], "
                      "r['DT_LC'], r['I1_3'].strip(), r['I1_403'], r['I1_404'], r['I1_413'])\n");
    }

    Date day(int month, int dayOfMonth) { return *Date::fromYmd(2025, month, dayOfMonth); }

    Table* chart = nullptr;
    Table* income = nullptr;
    Table* payments = nullptr;
    Table* entries = nullptr;
    kdx2::tax_testing::AnsweringMessages messages;
};

TEST_F(CashBookTransfer, MonthlyIncomeAndExpensesBecomeDatedItems) {
    entry("1001", 1500.00, day(3, 10), 0, "529.982.247-25");
    entry("4001", 320.50, std::nullopt, 4, "529.982.247-25");  // by month: dated on the 1st

    const TransferResult result = transfer();
    EXPECT_EQ(result.transferred, 2);
    EXPECT_EQ(result.notTransferred, 0);
    EXPECT_TRUE(result.wroteMonthly);
    EXPECT_EQ(marks(), (std::vector<bool>{true, true}));
    const std::string rows = incomeRows();
    EXPECT_NE(rows.find(kTaxpayer + " F C 1001 1500.0 2025-03-10 529.982.247-25"),
              std::string::npos)
        << rows;
    EXPECT_NE(rows.find(kTaxpayer + " L D 4001 320.5 2025-04-01"), std::string::npos) << rows;

    // Nothing is left to transfer, and nothing is written twice.
    EXPECT_EQ(transfer().transferred, 0);
    EXPECT_EQ(income->recCount(), 2u);
}

TEST_F(CashBookTransfer, SecondAmountOfACompanyMonthIsAddedOrReplacedAsAnswered) {
    entry("2001", 1000.00, std::nullopt, 3, "11222333000181");
    entry("2001", 250.25, std::nullopt, 3, kCompany);
    entry("2001", 4000.00, std::nullopt, 4, kCompany);
    messages.answers = {"S"};
    EXPECT_EQ(transfer().transferred, 3);
    ASSERT_EQ(income->recCount(), 1u);  // one payer, found by its punctuated CNPJ
    income->goTo(1);
    EXPECT_EQ(income->get("I1_1").text(), "J");
    EXPECT_EQ(income->get("I1_3").text(), kCompany);
    EXPECT_DOUBLE_EQ(income->get("I1_403").number(), 1250.25);
    EXPECT_DOUBLE_EQ(income->get("I1_413").number(), 5250.25);

    // "N" replaces the month, and the year is summed again from the months.
    entry("2001", 900.00, std::nullopt, 3, kCompany);
    messages.answers = {"N"};
    EXPECT_EQ(transfer().transferred, 1);
    income->goTo(1);
    EXPECT_DOUBLE_EQ(income->get("I1_403").number(), 900.00);
    EXPECT_DOUBLE_EQ(income->get("I1_413").number(), 4900.00);
}

// A second payment of the "Carne do INSS" in one month is added to the
// first or replaces it as the user answers; it never drops the first unasked.
TEST_F(CashBookTransfer, SecondPaymentOfANamedMonthlyItemIsAddedOrReplacedAsAnswered) {
    account("4202", "S", 2, 4, "N", "N", "S");
    entry("4202", 100.00, std::nullopt, 3);
    entry("4202", 150.00, std::nullopt, 3);
    messages.answers = {"S"};
    EXPECT_EQ(transfer().transferred, 2);
    ASSERT_EQ(income->recCount(), 1u);
    income->goTo(1);
    EXPECT_EQ(kdx2::base::alltrim(income->get("I1_2").text()), "Carne do INSS");
    EXPECT_DOUBLE_EQ(income->get("I1_403").number(), 250.00);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_NE(messages.shown[0].lines.front().find("No código 4202 já existe valor"),
              std::string::npos);

    entry("4202", 80.00, std::nullopt, 3);
    messages.answers = {"N"};
    EXPECT_EQ(transfer().transferred, 1);
    income->goTo(1);
    EXPECT_DOUBLE_EQ(income->get("I1_403").number(), 80.00);
}

TEST_F(CashBookTransfer, EntriesThatCannotBeWrittenStayForALaterTransfer) {
    entry("2002", 75.00, std::nullopt, 5, kCompany);  // withheld tax, but no payer yet
    entry("2099", 10.00, std::nullopt, 5, kCompany);  // line 5: no such group
    entry("2000", 99.00, std::nullopt, 5, kCompany);  // a title: counted, nothing written
    entry("7777", 99.00, std::nullopt, 5, kCompany);  // unknown: likewise
    const TransferResult result = transfer();
    EXPECT_EQ(result.transferred, 2);
    EXPECT_EQ(result.notTransferred, 2);
    EXPECT_EQ(marks(), (std::vector<bool>{false, false, true, true}));
    EXPECT_EQ(income->recCount(), 0u);
    bool toldPayer = false;
    for (const auto& shown : messages.shown)
        for (const auto& line : shown.lines)
            toldPayer |=
                line == "O Lançamento código 2002 precisa ter Fonte Pagadora c/ mesmo CNPJ";
    EXPECT_TRUE(toldPayer);

    // Once the payer exists, the withheld tax goes to its line. Entries go
    // in table order, so the one typed before its payer waits one transfer.
    entry("2001", 3000.00, std::nullopt, 5, kCompany);
    EXPECT_EQ(transfer().transferred, 1);
    EXPECT_EQ(transfer().transferred, 1);
    income->goTo(1);
    EXPECT_DOUBLE_EQ(income->get("I1_505").number(), 75.00);
    EXPECT_DOUBLE_EQ(income->get("I1_513").number(), 75.00);
}

TEST_F(CashBookTransfer, PaymentLineFortyIsCodeTenOfTheSecondGroup) {
    entry("5040", 180.00, std::nullopt, 2, "52998224725");
    EXPECT_EQ(transfer().transferred, 1);
    ASSERT_EQ(payments->recCount(), 1u);
    payments->goTo(1);
    EXPECT_EQ(payments->get("I6_2").text(), "529.982.247-25    ");
    EXPECT_EQ(static_cast<int>(payments->get("I6_3").number()), 10);
    EXPECT_DOUBLE_EQ(payments->get("I6_502").number(), 180.00);
    EXPECT_DOUBLE_EQ(payments->get("I6_513").number(), 180.00);
    EXPECT_DOUBLE_EQ(payments->get("I6_402").number(), 0);
}

// A write refused (another workstation holds the table) must not mark the
// entry: it would never be transferred again and its amount would be lost.
TEST_F(CashBookTransfer, RefusedAppendLeavesTheEntryUntransferred) {
    entry("1001", 50.00, day(1, 2));
    auto other = Table::open("C:\\DADOS\\IRM2.DBF", OpenMode::Shared);
    ASSERT_TRUE(other->lockTable());
    const TransferResult result = transfer();
    EXPECT_EQ(result.transferred, 0);
    EXPECT_EQ(result.notTransferred, 1);
    EXPECT_EQ(marks(), std::vector<bool>{false});
    other->unlock();
    EXPECT_EQ(transfer().transferred, 1);
    EXPECT_EQ(marks(), std::vector<bool>{true});
}

TEST_F(CashBookTransfer, RuralWindowTakesOnlyItsAccounts) {
    entry("1001", 50.00, day(1, 2));
    entry("8001", 1000.00, day(2, 3), 0, "11222333000181");
    TransferPlace place;
    place.entriesArea = 34;
    place.cpf = kTaxpayer;
    place.year = 2025;
    place.ruralDeclaration = true;
    place.onlyAccountsFrom = "8000";
    const TransferResult result = LANCAVAL(place, *chart);
    EXPECT_EQ(result.transferred, 1);
    EXPECT_TRUE(result.wroteRural);
    EXPECT_FALSE(result.wroteMonthly);
    EXPECT_EQ(marks(), (std::vector<bool>{false, true}));
    income->goTo(1);
    EXPECT_EQ(income->get("I1_1").text(), "R");
    EXPECT_EQ(income->get("I1_3").text(), kCompany);  // rural declarations carry the document
}

// Rural totals: 1000 revenue on a property held at 50 %, 200 expense on no
// property, 300 revenue undated (January): revenue Feb 500, Jan 300.
TEST_F(CashBookTransfer, RuralTotalsWeighEachItemByItsPropertyShare) {
    Table& properties = createInArea(15, 15, "IRM15", "CPF", OpenMode::Shared);
    kdx2::store::appendRecord(properties);
    properties.put("CPF", Value(kTaxpayer));
    properties.put("I2_04", Value(50.0));
    properties.unlock();
    auto item = [&](const std::string& credit, double amount, std::optional<Date> date,
                    int property) {
        kdx2::store::appendRecord(*income);
        income->put("CPF", Value(kTaxpayer));
        income->put("I1_1", Value("R"));
        income->put("TIPOCR", Value(credit));
        income->put("CDCONTA", Value(credit == "C" ? "8001" : "9001"));
        income->put("I1_413", Value(amount));
        if (date) income->put("DT_LC", Value(*date));
        income->put("NROIMO", Value(property));
        income->unlock();
    };
    item("C", 1000.00, day(2, 1), 1);
    item("D", 200.00, day(2, 9), 0);
    item("C", 300.00, std::nullopt, 7);  // beyond the list: counted whole

    const RuralTotals totals = ruralTotals(*income, properties, kTaxpayer, false);
    EXPECT_DOUBLE_EQ(totals.revenue[1], 500.00);
    EXPECT_DOUBLE_EQ(totals.revenue[0], 300.00);
    EXPECT_DOUBLE_EQ(totals.expenses[1], 200.00);
    // The rural-entries kind of declaration takes the amounts whole.
    EXPECT_DOUBLE_EQ(ruralTotals(*income, properties, kTaxpayer, true).revenue[1], 1000.00);

    Table& rural = createInArea(10, 10, "IRM10", "CPF", OpenMode::Shared);
    ASSERT_TRUE(writeRuralTotals(rural, kTaxpayer, totals, 0.5));
    ASSERT_TRUE(writeRuralTotals(rural, kTaxpayer, totals, 0.5));  // rewritten, not appended
    EXPECT_EQ(rural.recCount(), 1u);
    rural.goTo(1);
    EXPECT_DOUBLE_EQ(rural.get("I3_02OR").number(), 500.00);
    EXPECT_DOUBLE_EQ(rural.get("I3_02OD").number(), 200.00);

    const auto balances = accountBalances(*income, properties, kTaxpayer, "R", 2, 12, false);
    // January's item is before the period.
    ASSERT_EQ(balances.size(), 2u);
    EXPECT_DOUBLE_EQ(balances.at("8001").total, 500.00);
    EXPECT_EQ(balances.at("8001").credit, "C");
    EXPECT_DOUBLE_EQ(balances.at("9001").total, 200.00);
}

// The rebuild replaces every taxpayer's rural items by the entries of
// accounts 8... and 9..., and marks those entries transferred, so the next
// transfer does not add them a second time.
TEST_F(CashBookTransfer, RuralRebuildMarksWhatItWrote) {
    entry("8001", 1000.00, day(2, 3));
    entry("9001", 400.00, std::nullopt, 6, "", kOther);
    entry("1001", 50.00, day(1, 2));
    kdx2::store::appendRecord(*income);  // an old rural item, of another taxpayer
    income->put("CPF", Value(kOther));
    income->put("I1_1", Value("R"));
    income->put("I1_413", Value(7.0));
    income->unlock();

    const RebuildResult result = rebuildRuralItems(*income, *entries, 2025, 0.5);
    EXPECT_EQ(result.deleted, 1);
    EXPECT_EQ(result.rebuilt, 2);
    EXPECT_EQ(result.failed, 0);
    EXPECT_EQ(result.taxpayers, (std::vector<std::string>{kOther, kTaxpayer}));
    EXPECT_EQ(marks(), (std::vector<bool>{true, true, false}));
    const std::string rows = incomeRows();
    EXPECT_NE(rows.find(kTaxpayer + " R C 8001 1000.0 2025-02-03"), std::string::npos) << rows;
    EXPECT_NE(rows.find(kOther + " R D 9001 400.0 2025-06-01"), std::string::npos) << rows;
    EXPECT_EQ(rows.find(" 7.0 "), std::string::npos) << rows;

    const TransferResult again = transfer();
    EXPECT_EQ(again.transferred, 1);  // only the income from an individual
    EXPECT_FALSE(again.wroteRural);
}

}  // namespace
