// Printing the carnê-leão slips of a run and recording them as paid in real
// tables, read back by python3-dbfread and index_dump: the payments item in
// individual mode, the monthly totals in "SO TOTAIS" mode, the year tables
// held for the run only, and nothing printed when one of them is in use.

#include <gtest/gtest.h>

#include "darf_fixture.h"
#include "store/table.h"

namespace kdx2::reports_test {
namespace {

constexpr int kYes = 1;
constexpr int kNo = 2;

// Waits are instant: a table in use is given up after its tries at once.
class ImpatientFeedback : public store::Feedback {
  public:
    void wait(int) override {}
};

class Recording : public DarfTest {
  protected:
    ImpatientFeedback impatient;

    void SetUp() override {
        DarfTest::SetUp();
        installSupplied("UFIRM");
        store::setFeedback(&impatient);
        for (int table : {1, 2, 16})
            ASSERT_TRUE(store::ABERTURA(table));
    }

    // Appends a row to a year table of the data folder.
    void addRow(int table, const std::vector<std::pair<const char*, base::Value>>& fields) {
        store::Table& t = store::workAreas().area(table);
        ASSERT_TRUE(t.append());
        t.put("CPF", base::Value(kCpf));
        for (const auto& [name, value] : fields)
            t.put(name, value);
        t.unlock();
    }

    void closeYearTables() {
        for (int table : {1, 2, 16})
            store::workAreas().close(table);
    }

    // The rows of the taxpayer's payments item in IRM2, as python3-dbfread reads them.
    std::vector<std::string> paymentsItems() const {
        std::vector<std::string> items;
        for (const std::string& row : rowsOf("DADOS/IRM2.DBF"))
            if (has(row, "I1_1=I\t")) items.push_back(row);
        return items;
    }

    // Runs FAZ_DARF for the slip and closes the print output.
    bool printAndRecord() {
        const bool printed = reports::FAZ_DARF();
        printing::closePrintOutput();
        return printed;
    }

    // Whether another open of the table file can take it for exclusive use.
    bool freeForExclusiveUse(const std::string& table) const {
        try {
            store::Table::open("C:\\DADOS\\" + table + ".DBF", store::OpenMode::Exclusive)->close();
            return true;
        } catch (const base::Error&) {
            return false;
        }
    }
};

TEST_F(Recording, IndividuallyThePaymentGoesIntoTheReceitaFederalItem) {
    setMonth(11, 300.00, 0, 4942.72);
    carneSlip(11, date(30, 12, 2025));
    closeYearTables();
    messages.answers = {kYes};
    ASSERT_TRUE(printAndRecord());

    EXPECT_EQ(testing::utf8Lines(messages.boxes.at(0).lines).at(0),
              "Após imprimir o DARF lança o valor como pago no Carnê Leão?");
    const std::vector<std::string> items = paymentsItems();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_TRUE(has(items[0], "CPF=11144477735\t"));
    EXPECT_TRUE(has(items[0], "I1_2=Receita Federal"));
    EXPECT_TRUE(has(items[0], "TIPOCR=D\t"));
    EXPECT_TRUE(has(items[0], "CDCONTA=4201\t"));
    EXPECT_TRUE(has(items[0], "I1_411=300.0\t"));
    EXPECT_TRUE(has(items[0], "I1_413=300.0\t"));
    // The index knows the new row under the taxpayer's CPF.
    EXPECT_EQ(test_support::runCommand("index_dump --type=char " + host("DADOS/IRM2.cdx").string() +
                                       " IRM2 2>&1"),
              "11144477735 1\n");
    // The slip itself went into the print file.
    EXPECT_TRUE(has(printFile(), "Carne Leao do mes de Nov/25"));
}

TEST_F(Recording, APartPaymentCompletesTheMonthWithoutCountingTheOtherItemsTwice) {
    // Paid so far in November: 200.00 through the payments item and 100.00
    // through another item of kind "I"; 500.00 due leaves 200.00.
    addRow(2, {{"I1_1", base::Value("I")},
               {"I1_2", base::Value("RECEITA FEDERAL")},
               {"I1_411", base::Value(200.0)},
               {"I1_405", base::Value(50.0)}});
    addRow(2, {{"I1_1", base::Value("I")},
               {"I1_2", base::Value("DARF AVULSO")},
               {"I1_411", base::Value(100.0)}});
    closeYearTables();
    setMonth(11, 500.00, 300.00);
    carneSlip(11, date(30, 12, 2025));
    messages.answers = {kYes};
    ASSERT_TRUE(printAndRecord());

    const std::vector<std::string> items = paymentsItems();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_TRUE(has(items[0], "I1_411=400.0\t")) << items[0];
    EXPECT_TRUE(has(items[0], "I1_413=450.0\t")) << items[0];
    EXPECT_TRUE(has(items[1], "I1_411=100.0\t")) << items[1];
}

TEST_F(Recording, ARangeRecordsEveryMonthPrintedAndSkipsThoseWithoutSlip) {
    setMonth(1, 120.00);
    setMonth(2, 80.00, 80.00);  // paid already
    setMonth(3, 45.50);
    reports::DarfSlip& slip = carneSlip(1, date(5, 5, 2025));
    slip.QUANTDARF = 2;
    slip.MES_FINAL = 3;
    closeYearTables();
    messages.answers = {kYes};
    ASSERT_TRUE(printAndRecord());

    const std::vector<std::string> items = paymentsItems();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_TRUE(has(items[0], "I1_401=120.0\t"));
    EXPECT_FALSE(has(items[0], "I1_402=80"));
    EXPECT_TRUE(has(items[0], "I1_403=45.5\t"));
    EXPECT_TRUE(has(items[0], "I1_413=165.5\t"));
    // Two months printed, each twice on blank sheets.
    size_t forms = 0;
    for (size_t at = 0; (at = printFile().find("MINISTERIO DA FAZENDA", at)) != std::string::npos;
         ++at)
        ++forms;
    EXPECT_EQ(forms, 4u);
}

TEST_F(Recording, AnsweringNoPrintsAndRecordsNothing) {
    setMonth(11, 300.00);
    carneSlip(11, date(30, 12, 2025));
    closeYearTables();
    messages.answers = {kNo};
    ASSERT_TRUE(printAndRecord());
    EXPECT_TRUE(paymentsItems().empty());
    EXPECT_TRUE(has(printFile(), "Carne Leao do mes de Nov/25"));
}

TEST_F(Recording, InTotalsModeTheMonthsRecordGetsTheTaxDueAsPaid) {
    base::session().set("CAL_AUTO", true);
    for (int month = 1; month <= 10; ++month)
        addRow(16, {{"MES", base::Value(month)}, {"I2_5", base::Value(0.0)}});
    closeYearTables();
    setMonth(11, 640.10, 40.10);
    setMonth(10, 75.00);
    reports::DarfSlip& slip = carneSlip(10, date(28, 11, 2025));
    slip.QUANTDARF = 2;
    slip.MES_FINAL = 11;
    messages.answers = {kYes};
    ASSERT_TRUE(printAndRecord());

    std::map<std::string, std::string> paidByMonth;
    for (const std::string& row : rowsOf("DADOS/IRM16.DBF")) {
        const size_t month = row.find("MES=");
        const size_t paid = row.find("I2_5=");
        paidByMonth[row.substr(month + 4, row.find('\t', month) - month - 4)] =
            row.substr(paid + 5, row.find('\t', paid) - paid - 5);
    }
    EXPECT_EQ(paidByMonth["10"], "75.0");
    EXPECT_EQ(paidByMonth["11"], "640.1");  // appended: the taxpayer had no November
    EXPECT_EQ(paidByMonth["9"], "0.0");
    EXPECT_TRUE(paymentsItems().empty());
}

TEST_F(Recording, InTotalsModeATaxpayerWithoutMonthlyRecordsIsToldNothingWasRecorded) {
    base::session().set("CAL_AUTO", true);
    closeYearTables();
    setMonth(11, 300.00);
    carneSlip(11, date(30, 12, 2025));
    messages.answers = {kYes};
    ASSERT_TRUE(printAndRecord());
    EXPECT_TRUE(rowsOf("DADOS/IRM16.DBF").empty());
    EXPECT_TRUE(has(allBoxText(), "O pagamento do mês 11 não foi lançado."));
}

TEST_F(Recording, TheYearTablesAreReleasedWhenTheRunEnds) {
    setMonth(11, 300.00);
    carneSlip(11, date(30, 12, 2025));
    closeYearTables();
    messages.answers = {kYes};
    ASSERT_TRUE(printAndRecord());
    for (int table : {1, 2, 16})
        EXPECT_EQ(store::workAreas().table(table), nullptr) << table;
    for (const char* table : {"IRM1", "IRM2", "IRM16"})
        EXPECT_TRUE(freeForExclusiveUse(table)) << table;
}

TEST_F(Recording, ATableInUseElsewhereStopsTheRunBeforeAnythingIsPrinted) {
    setMonth(11, 300.00);
    carneSlip(11, date(30, 12, 2025));
    closeYearTables();
    // Another workstation has IRM16 open.
    auto other = store::Table::open("C:\\DADOS\\IRM16.DBF", store::OpenMode::Shared);
    messages.answers = {kYes};
    EXPECT_FALSE(printAndRecord());

    EXPECT_TRUE(has(allBoxText(), "A tabela IRM16"));
    EXPECT_TRUE(has(allBoxText(), "O DARF não foi impresso nem lançado como pago."));
    EXPECT_EQ(printFile(), "");
    EXPECT_TRUE(paymentsItems().empty());
    // IRM1 and IRM2, taken before IRM16 failed, are free again.
    for (const char* table : {"IRM1", "IRM2"})
        EXPECT_TRUE(freeForExclusiveUse(table)) << table;
    other->close();
}

}  // namespace
}  // namespace kdx2::reports_test
