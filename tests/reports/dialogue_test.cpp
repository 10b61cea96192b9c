// The slip dialogue driven by key scripts on the headless console: the
// kind and month choosers, a month without slip, a weekend payment date,
// the late complementary payment, a typed slip with an unknown revenue code,
// and the figures the form shows.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "darf_fixture.h"
#include "on_screen.h"
#include "store/table_numbers.h"

namespace kdx2::reports_test {
namespace {

constexpr int kOk = 1;
constexpr int kNo = 2;

class Dialogue : public DarfTest {
  protected:
    void SetUp() override {
        DarfTest::SetUp();
        installSupplied("UFIRM");
        installSupplied("CODARF");
    }

    // Runs the dialogue on the script; fails when the script ran out before
    // the dialogue ended. Returns what DARF returned.
    bool dialogue(const std::string& script) {
        bool result = false;
        onScreen(script, [&] { result = reports::DARF(); });
        return result;
    }

    // The next taxpayer of a run for several: its name and November's tax.
    static void nextTaxpayer(const char* cpf, const char* name, double due) {
        base::session().set("CPF", cpf);
        base::session().set("NOMECONTR", name);
        tax::carneLeao().REC_MENSAL = tax::MonthlyGrid();
        setMonth(11, due);
    }

    // November's slip asked with the first taxpayer, paid on 15/12/2025
    // (on time), confirmed, not recorded.
    void firstOfSeveral() {
        nextTaxpayer(kCpf, "JOAO DA SILVA SANTOS", 1000.00);
        messages.answers = {kOk, kNo};
        onScreen("key Enter\nkey Enter\ntype 11\ntype 15122025\n", [] { reports::PREP_DARF(); });
    }

    size_t boxesSaying(const std::string& text) const {
        size_t found = 0;
        for (size_t i = 0; i < messages.boxes.size(); ++i)
            if (!boxLines(i).empty() && boxLines(i)[0] == text) ++found;
        return found;
    }

    std::string snapPath() const { return (root / "form.txt").string(); }
    std::string snapped() const {
        std::ifstream in(snapPath());
        std::ostringstream all;
        all << in.rdbuf();
        return all.str();
    }
};

TEST_F(Dialogue, AMonthWithoutSlipIsToldAndAskedAgain) {
    setMonth(11, 1000.00);
    EXPECT_FALSE(dialogue("key Enter\nkey Enter\ntype 05\nkey Esc\n"));
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(boxLines(0), (std::vector<std::string>{"Esse mês não tem Darf para ser impresso",
                                                     "Ou o valor já esta lançado como pago"}));
}

TEST_F(Dialogue, ARangeNeedsASlipInItsFirstMonth) {
    setMonth(6, 100.00);
    EXPECT_FALSE(dialogue("key Enter\nkey Down\nkey Enter\ntype 05\ntype 06\nkey Esc\n"));
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(boxLines(0).at(2), "O mês escolhido 05 não tem Darf com Valor");
}

TEST_F(Dialogue, AWeekendPaymentDateIsRefused) {
    setMonth(11, 1000.00);
    EXPECT_FALSE(dialogue("key Enter\nkey Enter\ntype 11\ntype 03012026\nkey Esc\n"));
    EXPECT_TRUE(has(allBoxText(), "Dia lançado para pagamento é um Sabado\n")) << allBoxText();
}

TEST_F(Dialogue, TheFormShowsTheChargesOfTheDateTypedAndConfirms) {
    setMonth(11, 1000.00, 0, 7548.04);
    // The confirmation; one more in case the rate table is out of date on
    // the day the test runs.
    messages.answers = {kOk, kOk};
    EXPECT_TRUE(dialogue("key Enter\nkey Enter\ntype 11\ntype 02012026\nsnap " + snapPath() +
                         "\nkey Enter\n"));
    const reports::DarfSlip& slip = reports::darfSlip();
    EXPECT_EQ(slip.DF_VCTO, date(30, 12, 2025));
    EXPECT_EQ(slip.DF_PGTO, date(2, 1, 2026));
    EXPECT_EQ(slip.PROX_UTIL, date(2, 1, 2026));
    EXPECT_EQ(slip.DF_MULTA, 0.99);
    EXPECT_EQ(slip.DF_JURO, 1.00);
    EXPECT_EQ(slip.VAL_TOTAL, 1019.90);
    const std::string form = snapped();
    EXPECT_TRUE(has(form, "│Quota ou mês Inicial 11  Data Pgto.│04-Código da receita  │      0190"))
        << form;
    EXPECT_TRUE(has(form, "│08-Valor Multa  0.99% │             9,90 │")) << form;
    EXPECT_TRUE(has(form, "│09-Valor juros  1.00% │            10,00 │")) << form;
    EXPECT_TRUE(has(form, "│10-Valor Total        │         1.019,90 │")) << form;
    EXPECT_TRUE(has(form, "│  111.444.777-35  │")) << form;
    EXPECT_EQ(messages.boxes.back().lines.size(), 1u);
    EXPECT_EQ(boxLines(messages.boxes.size() - 1).at(0), "Confirma a alteração ?");
}

TEST_F(Dialogue, ALateComplementaryPaymentIsWarnedAndPrintedAsConfirmed) {
    base::session().set("QUEANO", 2024);
    reports::setComplementarySource([](int month) { return month == 3 ? 812.35 : 0.0; });
    messages.answers = {kOk, kOk};
    EXPECT_TRUE(dialogue("key Down\nkey Enter\ntype 03\ntype 15042024\nkey Enter\n"));
    EXPECT_EQ(boxLines(0), (std::vector<std::string>{"Pagar imposto complementar com atraso?",
                                                     "Lance esse valor no mês seguinte"}));
    const reports::DarfSlip& slip = reports::darfSlip();
    EXPECT_EQ(slip.DF_VCTO, date(28, 3, 2024));
    // 18 days late: 5.94 % of 812.35 is 48.253; 1 % for April is 8.1235.
    EXPECT_EQ(slip.VAL_MULTA, 48.25);
    EXPECT_EQ(slip.VAL_JURO, 8.12);
    EXPECT_EQ(slip.VAL_TOTAL, 868.72);

    // Printed for the date the user confirmed, not back on the due date.
    ASSERT_TRUE(reports::FAZ_DARF());
    ASSERT_TRUE(printing::closePrintOutput());
    EXPECT_TRUE(has(printFile(), "|Valido p/ pagamento dia 15/04/2024")) << printFile();
    EXPECT_TRUE(has(printFile(), "|10-Valor Total       |           868,72 |")) << printFile();
}

TEST_F(Dialogue, ATypedSlipRefusesAnUnknownRevenueCode) {
    EXPECT_FALSE(
        dialogue("key Down\nkey Down\nkey Enter\nkey Enter\nkey Enter\ntype 9999\n"
                 "key Home\ntype 4600\nkey Esc\n"));
    EXPECT_TRUE(has(allBoxText(), "Código de receita 9999 não cadastrado.")) << allBoxText();
    const reports::DarfSlip& slip = reports::darfSlip();
    // The payer starts as the loaded taxpayer; the known code brings its
    // description (ESPECIFICA) into the second line.
    EXPECT_EQ(base::alltrim(slip.QUALCPF), "111.444.777-35");
    EXPECT_EQ(slip.DF_CODIG, "4600");
    EXPECT_EQ(base::cp850::toUtf8(slip.DF_OUTR[1]), "IRPF - Ganhos de capital na alienaç");
}

// F1 on the payer of a typed slip lists the payers already known; the one
// chosen is checked as if typed and brings its name.
TEST_F(Dialogue, ATypedSlipTakesItsPayerFromTheListOnF1) {
    ASSERT_TRUE(store::ABERTURA(store::tables::kDarfTaxpayers));
    store::Table& payers = store::workAreas().area(store::tables::kDarfTaxpayers);
    ASSERT_TRUE(payers.append());
    payers.put("QUALCPF", base::Value("529.982.247-25"));
    payers.put("NOMECONTR", base::Value("MARIA PAGADORA"));
    payers.unlock();
    store::workAreas().close(store::tables::kDarfTaxpayers);
    EXPECT_FALSE(
        dialogue("key Down\nkey Down\nkey Enter\nkey Enter\nkey F1\n"
                 "expect MARIA PAGADORA\nkey Enter\nkey Esc\n"));
    const reports::DarfSlip& slip = reports::darfSlip();
    EXPECT_EQ(base::alltrim(slip.QUALCPF), "529.982.247-25");
    EXPECT_EQ(base::alltrim(slip.NOMECONTR), "MARIA PAGADORA");
}

TEST_F(Dialogue, ForSeveralTaxpayersTheFirstOnesAnswersServeEveryOne) {
    base::session().set("QUECON", 3);
    firstOfSeveral();
    nextTaxpayer("22233344405", "MARIA DE SOUZA", 250.00);
    reports::PREP_DARF();  // no dialogue, no question
    ASSERT_TRUE(printing::closePrintOutput());

    const std::string file = printFile();
    EXPECT_EQ(boxesSaying("Confirma a alteração ?"), 1u);
    EXPECT_EQ(boxesSaying("Após imprimir o DARF lança o valor como pago no Carnê Leão?"), 1u);
    EXPECT_TRUE(has(file, "|JOAO DA SILVA SANTOS")) << file;
    EXPECT_TRUE(has(file, "|MARIA DE SOUZA")) << file;
    EXPECT_TRUE(has(file, "222.333.444-05"));
    EXPECT_TRUE(has(file, "|7-Valor do principal |           250,00 |")) << file;
    EXPECT_TRUE(has(file, "Valido p/ pagamento ate 30/12/2025"));
}

TEST_F(Dialogue, ForSeveralTaxpayersAPdfPrinterGetsEachOnesSlipsOnTheirOwn) {
    // No scheduler answers here: each routing is attempted and told.
    ::setenv("CUPS_SERVER", (root / "no-scheduler").c_str(), 1);
    base::session().set("QUECON", 3);
    base::session().set("NOMEIMP", "Impressora PDF");
    firstOfSeveral();
    nextTaxpayer("22233344405", "MARIA DE SOUZA", 250.00);
    reports::PREP_DARF();
    ::unsetenv("CUPS_SERVER");
    ASSERT_TRUE(printing::closePrintOutput());
    EXPECT_EQ(boxesSaying("ATENÇÃO !!! Não foi possível iniciar a impressão"), 2u) << allBoxText();
    EXPECT_EQ(boxesSaying("Arquivo de impressão vazio!"), 0u);
    // A fresh print file waits for the next taxpayer.
    EXPECT_EQ(printFile(), "");
}

TEST_F(Dialogue, ATypedSlipIsPrintedOnceForARunOfSeveralTaxpayers) {
    base::session().set("QUECON", 3);
    messages.answers = {kOk};
    // Period, payer and code 0190, reference, due date, principal 500,00,
    // payment date, rate, name, phone and title as proposed.
    onScreen(
        "key Down\nkey Down\nkey Enter\nkey Enter\nkey Enter\ntype 0190\nkey Enter\n"
        "key Enter\ntype 500\nkey Enter\nkey Enter\nkey Enter\nkey Enter\nkey Enter\n"
        "key Enter\n",
        [] { reports::PREP_DARF(); });
    nextTaxpayer("22233344405", "MARIA DE SOUZA", 250.00);
    reports::PREP_DARF();
    ASSERT_TRUE(printing::closePrintOutput());
    const std::string file = printFile();
    size_t forms = 0;
    for (size_t at = file.find("MINISTERIO"); at != std::string::npos;
         at = file.find("MINISTERIO", at + 1))
        ++forms;
    EXPECT_EQ(forms, 2u) << file;
    EXPECT_TRUE(has(file, "|3-Numero do CPF/CGC  |111.444.777-35    |")) << file;
    EXPECT_TRUE(has(file, "|7-Valor do principal |           500,00 |")) << file;
    EXPECT_FALSE(has(file, "MARIA"));
}

}  // namespace
}  // namespace kdx2::reports_test
