// The SELIC rates as the slip reads them from the rate table of the install
// folder, whole, missing, damaged or with odd records, and the warnings the
// user gets when they may not be enough.

#include <gtest/gtest.h>

#include <filesystem>

#include "darf_fixture.h"
#include "store/table.h"

namespace kdx2::reports_test {
namespace {

class Selic : public DarfTest {
  protected:
    // A rate table of the install folder with these (ANOMES, TJM) records.
    void makeRates(const std::vector<std::pair<std::string, double>>& rows) {
        store::Table::create("C:\\UFIRM.DBF", store::suppliedTable("UFIRM").structure);
        auto table = store::Table::open("C:\\UFIRM.DBF", store::OpenMode::Exclusive);
        for (const auto& [key, rate] : rows) {
            ASSERT_TRUE(table->append());
            table->put("ANOMES", base::Value(key));
            table->put("TJM", base::Value(rate));
        }
        table->createIndex("C:\\UFIRM.CDX", "ANOMES");
        table->close();
    }

    // A late November 2025 slip, paid on 02/03/2026.
    void lateSlip() {
        setMonth(11, 1000.00);
        carneSlip(11, date(2, 3, 2026));
    }
};

TEST_F(Selic, TheShippedTableIsReadWholeAndLeftAsItWas) {
    installSupplied("UFIRM");
    const reports::SelicTable selic = reports::readSelicTable();
    EXPECT_EQ(selic.problem, "");
    EXPECT_EQ(selic.rates.at(202503), 0.96);
    EXPECT_EQ(selic.rates.at(199504), 4.26);
    EXPECT_EQ(selic.lastMonth(), 202509);
    EXPECT_EQ(store::workAreas().table(45), nullptr);
}

TEST_F(Selic, AMonthStoredTwiceCountsOnceAndBadKeysAreSkipped) {
    makeRates(
        {{"202401", 0.97}, {"202401", 5.00}, {"202413", 9.0}, {"20240X", 9.0}, {"202402", 0.80}});
    const reports::SelicTable selic = reports::readSelicTable();
    EXPECT_EQ(selic.rates.size(), 2u);
    EXPECT_EQ(selic.rates.at(202401), 0.97);
    EXPECT_EQ(selic.rates.at(202402), 0.80);
}

TEST_F(Selic, AMissingTableWarnsOnceAndTheSlipBearsOnePercent) {
    lateSlip();
    EXPECT_TRUE(reports::BUS_IMPO(11, reports::kCarneLeao, false));
    reports::CALCJU(2, 1);
    EXPECT_EQ(reports::darfSlip().DF_JURO, 1.00);
    EXPECT_EQ(reports::darfSlip().DF_MULTA, 20);  // 62 days late
    EXPECT_EQ(reports::darfSlip().VAL_TOTAL, 1210.00);
    ASSERT_EQ(messages.boxes.size(), 1u) << allBoxText();
    EXPECT_EQ(boxLines(0).at(0), "Atenção! O cadastro da Selic não pôde ser lido por inteiro.");
}

TEST_F(Selic, ADamagedTableWarnsWithWhatWentWrongAndUsesWhatWasRead) {
    installSupplied("UFIRM");
    // Cut the file in the middle of its records.
    const std::filesystem::path file = host("UFIRM.DBF");
    std::filesystem::resize_file(file, std::filesystem::file_size(file) / 2);
    lateSlip();
    EXPECT_TRUE(reports::BUS_IMPO(11, reports::kCarneLeao, false));
    EXPECT_GE(reports::darfSlip().DF_JURO, 1.00);
    EXPECT_TRUE(has(allBoxText(), "não pôde ser lido por inteiro")) << allBoxText();
    EXPECT_EQ(boxLines(0).size(), 3u);
    EXPECT_FALSE(boxLines(0).at(1).empty());
}

TEST_F(Selic, AGapAmongTheMonthsNeededIsNamed) {
    makeRates({{"202401", 0.97}, {"202402", 0.80}, {"202404", 0.89}, {"202405", 0.83}});
    setMonth(12, 100.00);
    base::session().set("QUEANO", 2023);
    carneSlip(12, date(10, 5, 2024));  // due 31/01/2024
    EXPECT_TRUE(reports::BUS_IMPO(12, reports::kCarneLeao, false));
    EXPECT_EQ(reports::darfSlip().DF_JURO, 2.69);  // 1 + 0.80 + 0.89
    EXPECT_TRUE(has(allBoxText(), "Faltam no cadastro da Selic as taxas de")) << allBoxText();
    EXPECT_TRUE(has(allBoxText(), "03/2024."));
}

TEST_F(Selic, AnOutOfDateTableWarnsOnTheStatusLineOrInABoxOncePerRun) {
    reports::SelicTable selic;
    selic.rates[202509] = 1.22;
    reports::InterestRate ranOff;
    ranOff.ranOffEnd = true;
    reports::SelicWarnings warnings;
    // Thirty days before 02/01/2026 is December 2025: same year, older month.
    warnings.afterInterest(ranOff, selic, date(2, 1, 2026));
    warnings.afterInterest(ranOff, selic, date(2, 1, 2026));
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(boxLines(0),
              (std::vector<std::string>{"Atenção! O cadastro da Selic está desatualizado.",
                                        "Atualize, senão o valor do Juros estará errado!"}));
    // Thirty days before 15/02/2026 is January 2026: an older year.
    reports::SelicWarnings again;
    again.afterInterest(ranOff, selic, date(15, 2, 2026));
    EXPECT_EQ(messages.boxes.size(), 1u);
    ASSERT_FALSE(messages.status.empty());
    EXPECT_EQ(base::cp850::toUtf8(messages.status.back()),
              "Atenção! O cadastro da Selic está desatualizado.");
    // A table that is up to date says nothing.
    reports::SelicWarnings current;
    current.afterInterest(ranOff, selic, date(20, 10, 2025));
    EXPECT_EQ(messages.boxes.size(), 1u);
}

}  // namespace
}  // namespace kdx2::reports_test
