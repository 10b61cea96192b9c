// The registry printed for a selection of taxpayers, over a real register,
// read back from the print file; and printing through the report plug-ins.

#include <gtest/gtest.h>

#include "base/text.h"
#include "platform/console/keys.h"
#include "printing/output.h"
#include "printing/questions.h"
#include "printing/selection.h"
#include "printing_fixture.h"
#include "support/child_process.h"
#include "ui/ui_session.h"

namespace kdx2::printing_test {
namespace {

constexpr int kYes = 1;
constexpr int kNo = 2;

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.rfind(prefix, 0) == 0;
}

class RegistryPrint : public PrintingTest {
  protected:
    // The rows of the page that begin an entry (" PESSOA ...").
    static std::vector<size_t> entryRows(const std::vector<std::string>& page) {
        std::vector<size_t> rows;
        for (size_t i = 0; i < page.size(); ++i)
            if (startsWith(page[i], " PESSOA ")) rows.push_back(i);
        return rows;
    }

    std::string marks() const {
        return test_support::runPython(
            "import dbfread\n"
            "print(''.join((r['IMPRE'] or '_').strip() or '_' for r in "
            "dbfread.DBF('" +
            (root / "DADOS" / "IRM9.DBF").string() + "', encoding='cp850')))\n");
    }

    void mark(const std::string& cpf) {
        store::Table& reg = store::workAreas().area(9);
        ASSERT_TRUE(reg.seek(base::Value(cpf)));
        ASSERT_TRUE(reg.lockRecord());
        reg.put("IMPRE", base::Value("S"));
        reg.unlock();
    }
};

TEST_F(RegistryPrint, TheCompleteListingFillsPagesOfAtMost54RowsPlusTheLastEntry) {
    addPeople(numberedPeople(20));  // PESSOA 05 and 17 were born in June
    messages.answers = {kNo};       // "Não para o Cadastro completo"
    printing::FAZIMP();

    const auto pages = printedPages();
    ASSERT_GE(pages.size(), 2u);
    std::vector<std::string> names;
    for (const auto& page : pages) {
        EXPECT_NE(page.at(1).find("RELACAO TOTAL DAS PESSOAS NA PASTA C:\\DADOS\\"),
                  std::string::npos);
        const std::vector<size_t> rows = entryRows(page);
        ASSERT_FALSE(rows.empty());
        EXPECT_LE(rows.back(), 54u) << "an entry began past row 54";
        EXPECT_LE(page.size(), rows.back() + 7) << "rows after the last entry";
        for (size_t row : rows)
            names.push_back(page[row].substr(1, 9));
    }
    ASSERT_EQ(names.size(), 20u);
    EXPECT_EQ(names.front(), "PESSOA 01");
    EXPECT_EQ(names.back(), "PESSOA 20");

    std::vector<std::string> birthdays;
    for (const auto& page : pages)
        for (size_t i = 0; i < page.size(); ++i)
            if (page[i] == " Atencao! Aniversario nesse mes") birthdays.push_back(page[i - 3]);
    ASSERT_EQ(birthdays.size(), 2u);
    EXPECT_TRUE(startsWith(birthdays[0], " PESSOA 05"));
    EXPECT_TRUE(startsWith(birthdays[1], " PESSOA 17"));

    // An entry: the name row, the street row, the district row, a divider.
    const auto& first = pages[0];
    EXPECT_EQ(first.at(3), " PESSOA 01" + std::string(39, ' ') + " 100.000.000-01 (11)98765-4321");
    EXPECT_EQ(first.at(4), " RUA DAS FLORES 10");
    EXPECT_EQ(first.at(5), " CENTRO - 01234-567 SAO PAULO SP  02/02/1970");
    EXPECT_EQ(first.at(6), std::string(79, '-'));
    // Routed to the viewer, which a run without a terminal leaves alone.
    EXPECT_TRUE(startsWith(messages.status.back(), "Sem terminal"));
}

TEST_F(RegistryPrint, TheShortListingTurnsThePageAfterRow60AndHasNoBirthdayRow) {
    addPeople(numberedPeople(70));
    messages.answers = {kYes};  // "Sim para o Cadastro resumido"
    printing::FAZIMP();
    const auto pages = printedPages();
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(pages[0].size(), 61u);
    EXPECT_EQ(entryRows(pages[0]).size(), 56u);
    EXPECT_EQ(pages[0].at(3), std::string(10, ' ') +
                                  "Nome                                        CPF             "
                                  "Telefone");
    EXPECT_EQ(entryRows(pages[1]).size(), 14u);
    EXPECT_EQ(pages[1][entryRows(pages[1]).back()].substr(1, 9), "PESSOA 70");
    for (const auto& page : pages)
        for (const std::string& line : page)
            EXPECT_EQ(line.find("Aniversario"), std::string::npos);
}

TEST_F(RegistryPrint, LabelsTakeSixRowsAndALongStreetMovesTheComplementDown) {
    Person longStreet;
    longStreet.cpf = "10000000001";
    longStreet.name = "ANA LONGA";
    longStreet.street = "DOS BANDEIRANTES PAULISTAS DA VILA";
    longStreet.number = "1234";
    longStreet.complement = "APTO 12 BLOCO B";  // 5 columns past 53 on the street row
    Person fits;
    fits.cpf = "10000000002";
    fits.name = "BIA CURTA";
    fits.complement = "CASA 2";
    Person noDistrict;
    noDistrict.cpf = "10000000003";
    noDistrict.name = "CAIO";
    noDistrict.district = "";
    addPeople({longStreet, fits, noDistrict});
    base::session().set("QUEMOD", 2);
    printing::FAZIMP();

    const std::string file = printFile();
    ASSERT_FALSE(file.empty());
    EXPECT_EQ(file.back(), '\x0c');  // labels of all end with a page eject
    const auto pages = printedPages();
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0],
              (std::vector<std::string>{
                  " ANA LONGA", " RUA DOS BANDEIRANTES PAULISTAS DA VILA,1234 ",
                  " APTO 12 BLOCO B CENTRO", " SAO PAULO - SP", " 01234-567", "", " BIA CURTA",
                  " RUA DAS FLORES,10 CASA 2", " CENTRO", " SAO PAULO - SP", " 01234-567", "",
                  " CAIO", " RUA DAS FLORES,10 ", " SAO PAULO - SP", " 01234-567", ""}));
}

TEST_F(RegistryPrint, MarkedTaxpayersPrintAsTakenAndOnlyTheirMarksAreCleared) {
    addPeople(numberedPeople(5));
    mark("10000000002");
    mark("10000000004");
    base::session().set("QUECON", 2);
    const std::set<std::string> taken = printing::registerMarks();
    EXPECT_EQ(taken, (std::set<std::string>{"10000000002", "10000000004"}));
    printing::setMarkedTaxpayers(taken);
    mark("10000000005");  // marked at another workstation meanwhile

    messages.answers = {kYes};
    printing::FAZIMP();
    const auto pages = printedPages();
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_NE(pages[0].at(1).find("RELACAO PARCIAL"), std::string::npos);
    const std::vector<size_t> rows = entryRows(pages[0]);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(pages[0][rows[0]].substr(1, 9), "PESSOA 02");
    EXPECT_EQ(pages[0][rows[1]].substr(1, 9), "PESSOA 04");

    printing::clearMarks(taken);
    store::workAreas().closeAll();
    EXPECT_EQ(marks(), "____S\n");
}

TEST_F(RegistryPrint, EscAbandonsThePrintingAfterTheCurrentEntryAndNothingIsSent) {
    addPeople(numberedPeople(4));
    installUtility();
    base::session().set("NOMEIMP", "NAO DOS");
    ui::testing::UiSession ui("");
    ui::pushKey(platform::keys::Esc);
    messages.answers = {kYes, kYes};  // short listing; abandon
    printing::FAZIMP();
    EXPECT_TRUE(base::session().flag("CAN_IMP"));
    EXPECT_EQ(boxLines(1), std::vector<std::string>{"Abandona a impressão ?"});
    const auto pages = printedPages();
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(entryRows(pages[0]).size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(root / "args.txt")) << "the utility ran";
}

TEST_F(RegistryPrint, ReportPagesPrintThroughThePluggedPagePrinter) {
    addPeople(numberedPeople(2));
    installUtility();
    base::NamedValues& s = base::session();
    s.set("NOMEIMP", "NAO DOS");
    s.set("QUEIMP", 1);
    EXPECT_FALSE(printing::reportPagesAvailable());
    printing::FAZIMP();  // nothing plugged in: nothing printed, nothing sent
    EXPECT_FALSE(std::filesystem::exists(printFileHost()));

    std::vector<std::string> loaded;
    printing::ReportPrinters printers;
    printers.loadTaxpayer = [&] {
        loaded.push_back(base::alltrim(s.text("CPF")));
        return true;
    };
    printers.FOLHA = [&](int page) {
        if (page == 2) return false;  // a page with nothing to print
        printing::output().say(
            printing::output().row() + 1, 0,
            "PAGINA " + std::to_string(page) + " " + base::alltrim(s.text("CPF")));
        return true;
    };
    printing::setReportPrinters(printers);
    s.set("QUEPAG", 4);  // page 3 only
    printing::FAZIMP();
    EXPECT_EQ(loaded, (std::vector<std::string>{"10000000001", "10000000002"}));
    EXPECT_EQ(printedPages(), (std::vector<std::vector<std::string>>{
                                  {"", "PAGINA 3 10000000001"}, {"", "PAGINA 3 10000000002"}}));
    EXPECT_EQ(utilityArguments().at(1), "96");

    s.set("QUEPAG", 3);  // page 2 printed nothing: no eject after it
    printing::FAZIMP();
    EXPECT_EQ(printFile().find('\x0c'), std::string::npos);
}

TEST_F(RegistryPrint, SlipsOfSeveralTaxpayersReachThePrinterOnceAllArePrinted) {
    addPeople(numberedPeople(2));
    installUtility();
    base::NamedValues& s = base::session();
    s.set("NOMEIMP", "NAO DOS");
    s.set("QUEIMP", 2);
    s.set("QUECON", 3);
    printing::ReportPrinters printers;
    printers.loadTaxpayer = [] { return true; };
    printers.PREP_DARF = [&] {  // as the slips do: the print file opened once for the run
        if (!printing::printOutputOpen()) {
            ASSERT_TRUE(printing::PREP_IMP());
        }
        printing::output().say(printing::output().row() + 1, 0,
                               "DARF " + base::alltrim(s.text("CPF")));
    };
    printing::setReportPrinters(printers);
    printing::FAZIMP();
    EXPECT_EQ(
        printedPages(),
        (std::vector<std::vector<std::string>>{{"", "DARF 10000000001", "DARF 10000000002"}}));
    ASSERT_FALSE(utilityArguments().empty()) << "the slips were never sent";
}

TEST_F(RegistryPrint, TheMonthRangeIsChosenInItsWindowAndEscLeavesIt) {
    base::NamedValues& s = base::session();
    s.set("QUEMES", 1);
    {
        ui::testing::UiSession ui("key 3\ntype 03\ntype 05\n");
        messages.answers = {kNo, kYes, kYes};
        EXPECT_TRUE(printing::ESCOLHE_COMO(2));
    }
    EXPECT_EQ(s.integer("MES_INIC"), 3);
    EXPECT_EQ(s.integer("MES_FINAL"), 5);
    EXPECT_EQ(s.integer("QUEMES"), 3);
    EXPECT_EQ(s.text("AVANCA_PAG"), "N");
    EXPECT_EQ(s.text("CALC_SALD"), "S");
    EXPECT_EQ(s.text("IMPR_RESU"), "S");
    EXPECT_EQ(boxLines(0), std::vector<std::string>{"Avança página em cada mês ?"});
    {
        ui::testing::UiSession ui("key Down\nkey Esc\n");
        EXPECT_FALSE(printing::ESCOLHE_COMO(1));
    }
    EXPECT_EQ(s.integer("QUEMES"), 3);
    {
        // "Todos os meses" from the first month: no balance question.
        ui::testing::UiSession ui("key Home\nkey Enter\n");
        messages.answers = {kYes};
        EXPECT_TRUE(printing::ESCOLHE_COMO(1));
    }
    EXPECT_EQ(s.integer("MES_INIC"), 1);
    EXPECT_EQ(s.text("CALC_SALD"), "N");
    EXPECT_EQ(messages.boxes.size(), 4u);
}

}  // namespace
}  // namespace kdx2::printing_test
