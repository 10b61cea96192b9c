// The taxable-income and payments pages of the printed declaration, from the
// loaded taxpayer's copies on a temporary drive, printed alone and through
// the print selection; the print file is read back.

#include "reports/declaration_pages.h"

#include <algorithm>

#include "darf_fixture.h"
#include "on_screen.h"
#include "printed_pages.h"
#include "printing/selection.h"
#include "reports/declaration_print.h"
#include "store/access.h"

namespace kdx2::reports_test {
namespace {

constexpr int kIncomeCopy = 22;
constexpr int kDependantsCopy = 23;
constexpr int kPaymentsCopy = 26;
constexpr int kRuralCopy = 30;
constexpr int kPropertiesCopy = 35;
constexpr int kMonthlyCopy = 36;

class DeclarationPagesTest : public DarfTest {
  protected:
    void SetUp() override {
        DarfTest::SetUp();
        base::session().set("QUEIMP", 1);
        printing::setPrintWorkingValues();
        openCopies();
    }

    void TearDown() override {
        printing::setReportPrinters({});
        DarfTest::TearDown();
    }

    static void openCopies() {
        ASSERT_TRUE(store::ABREARQ(kIncomeCopy, true, "C:\\TRAB\\TMP_P203"));
        ASSERT_TRUE(store::ABREARQ(kDependantsCopy, true, "C:\\TRAB\\TMP_P303"));
        ASSERT_TRUE(store::ABREARQ(kPaymentsCopy, true, "C:\\TRAB\\TMP_P603"));
        ASSERT_TRUE(store::ABREARQ(kRuralCopy, true, "C:\\TRAB\\TMP_P1003"));
        ASSERT_TRUE(store::ABREARQ(kPropertiesCopy, true, "C:\\TRAB\\TMP_P1503"));
        ASSERT_TRUE(store::ABREARQ(kMonthlyCopy, true, "C:\\TRAB\\TMP_P1603"));
    }

    static store::Table& copy(int area) { return store::workAreas().area(area); }

    static void company(const std::string& kind, const std::string& name, double income,
                        double security, double withheld, double thirteenth,
                        const std::string& dependant = "") {
        store::Table& t = copy(kIncomeCopy);
        ASSERT_TRUE(t.append());
        t.put("CPF", base::Value(kCpf));
        t.put("I1_1", base::Value(kind));
        t.put("I1_2", base::Value(name));
        t.put("I1_3", base::Value("12.345.678/0001-95"));
        t.put("I1_413", base::Value(income));
        t.put("I1_613", base::Value(security));
        t.put("I1_513", base::Value(withheld));
        t.put("I1_713", base::Value(thirteenth));
        t.put("I1_8", base::Value(dependant));
        t.unlock();
    }

    static void payment(int code, const std::string& name, double paid, double notDeductible,
                        const std::string& dependant = "") {
        store::Table& t = copy(kPaymentsCopy);
        ASSERT_TRUE(t.append());
        t.put("CPF", base::Value(kCpf));
        t.put("I6_1", base::Value(name));
        t.put("I6_2", base::Value("529.982.247-25"));
        t.put("I6_3", base::Value(code));
        t.put("I6_4", base::Value(paid));
        t.put("I6_5", base::Value(notDeductible));
        t.put("I6_7", base::Value(dependant));
        t.unlock();
    }

    static void dependant(const std::string& name, const std::string& cpf) {
        store::Table& t = copy(kDependantsCopy);
        ASSERT_TRUE(t.append());
        t.put("CPF", base::Value(kCpf));
        t.put("NOMEDEPEN", base::Value(name));
        t.put("CPFDEPEN", base::Value(cpf));
        t.unlock();
    }

    std::string print(int page) {
        EXPECT_TRUE(printing::PREP_IMP());
        EXPECT_TRUE(reports::FOLHA(page));
        EXPECT_TRUE(printing::closePrintOutput());
        return joinedLines(printedLines());
    }

    std::string lineWith(const std::string& part) const {
        return reports_test::lineWith(printedLines(), part);
    }
    static std::string at(const std::string& line, size_t column, size_t width) {
        return cut(line, column, width);
    }
};

TEST_F(DeclarationPagesTest, CompanyIncomeOfTheHolderAndDependantsWithTotals) {
    company("J", "EMPRESA UM LTDA", 50000.00, 5500.10, 4000.25, 3000.00);
    company("J", "EMPRESA DOIS SA", 12000.50, 1320.00, 0.75, 0);
    company("D", "EMPRESA DO FILHO", 8000.00, 880.00, 0, 600.00, "52998224725");
    company("F", "PESSOA FISICA", 999.00, 0, 0, 0);
    const std::string all = print(reports::kIncomePage);
    EXPECT_TRUE(has(all, "Rendimentos Tributaveis recebidos de pessoas juridicas"));
    EXPECT_TRUE(has(all, "PESSOAS JURIDICAS PELO TITULAR"));
    EXPECT_TRUE(has(all, "PESSOAS JURIDICAS PELOS DEPENDENTES"));
    EXPECT_FALSE(has(all, "PESSOA FISICA"));
    const std::string first = lineWith("EMPRESA UM LTDA");
    EXPECT_EQ(at(first, 42, 18), "12.345.678/0001-95");
    EXPECT_EQ(at(first, 64, 14), "50.000,00");
    EXPECT_EQ(at(first, 81, 14), "5.500,10");
    EXPECT_EQ(at(first, 102, 14), "4.000,25");
    EXPECT_EQ(at(first, 117, 14), "3.000,00");
    // The holder's totals, worked out by hand, then the dependants'.
    const std::string total = lineWith("TOTAL");
    EXPECT_EQ(at(total, 64, 14), "62.000,50");
    EXPECT_EQ(at(total, 81, 14), "6.820,10");
    EXPECT_EQ(at(total, 102, 14), "4.001,00");
    EXPECT_EQ(at(total, 117, 14), "3.000,00");
    EXPECT_TRUE(has(all, "CPF do dependente: 52998224725"));
    EXPECT_EQ(at(lineWith("EMPRESA DO FILHO"), 117, 14), "600,00");
}

// The dependants' exempt and exclusively taxed income are summed with the
// four columns and printed in the TOTAL line; the yearly fields typed
// without their months are not the year's figures.
TEST_F(DeclarationPagesTest, TheTotalLineCarriesTheExemptAndExclusivelyTaxedSums) {
    company("D", "EMPRESA DO FILHO", 8000.00, 880.00, 0, 600.00, "52998224725");
    company("D", "EMPRESA DA FILHA", 2000.00, 0, 0, 0, "11144477735");
    store::Table& t = copy(kIncomeCopy);
    for (uint32_t recno : {1u, 2u}) {
        t.goTo(recno);
        ASSERT_TRUE(t.lockRecord());
        t.put("I1_913", base::Value(recno == 1 ? 1200.10 : 300.15));
        t.put("I1_1013", base::Value(recno == 1 ? 450.00 : 0.05));
        t.put("I1_4", base::Value(99999.00));
        t.unlock();
    }
    print(reports::kIncomePage);
    const std::string total = lineWith("TOTAL");
    EXPECT_EQ(at(total, 64, 14), "10.000,00");
    EXPECT_EQ(at(total, 8, 22), "Isentos       1.500,25");
    EXPECT_EQ(at(total, 32, 25), "Trib.Fonte         450,05");
}

TEST_F(DeclarationPagesTest, MonthlyRecordsOfTheCarneLeaoWithTheirTotals) {
    store::Table& monthly = copy(kMonthlyCopy);
    for (int month : {3, 4}) {
        ASSERT_TRUE(monthly.append());
        monthly.put("CPF", base::Value(kCpf));
        monthly.put("MES", base::Value(month));
        for (int i = 1; i <= 6; ++i)
            monthly.put("I2_" + std::to_string(i), base::Value(month * 100.0 + i + 0.25));
        monthly.unlock();
    }
    print(reports::kIncomePage);
    const std::string march = lineWith("03-Mar");
    EXPECT_EQ(at(march, 7, 12), "301,25");
    EXPECT_EQ(at(march, 67, 12), "306,25");
    EXPECT_FALSE(lineWith("04-Abr").empty());
    const std::string totals = lineWith("TOTAIS");
    EXPECT_EQ(at(totals, 7, 12), "702,50");   // 301,25 + 401,25
    EXPECT_EQ(at(totals, 43, 12), "");        // the deductions are not summed
    EXPECT_EQ(at(totals, 55, 12), "710,50");  // 305,25 + 405,25
}

TEST_F(DeclarationPagesTest, ListsWithoutItemsSaySo) {
    EXPECT_TRUE(has(print(reports::kIncomePage), "Sem informacoes"));
    EXPECT_TRUE(has(joinedLines(printedLines()), "Sem Informacoes"));
    size_t count = 0;
    for (const std::string& line : printedLines())
        count += has(line, "Sem informacoes") ? 1 : 0;
    EXPECT_EQ(count, 2u);
    EXPECT_TRUE(has(print(reports::kPaymentsPage), "Sem informacoes"));
}

TEST_F(DeclarationPagesTest, PaymentsNameTheDependantTheyBelongTo) {
    dependant("MARIA FILHA", "52998224725");
    payment(10, "CLINICA SAUDE", 1234.56, 100.00, "52998224725");
    payment(1, "ESCOLA ABC", 3000.00, 0);
    const std::string all = print(reports::kPaymentsPage);
    const std::string clinic = lineWith("CLINICA SAUDE");
    EXPECT_EQ(at(clinic, 0, 13), "10");
    EXPECT_EQ(at(clinic, 88, 14), "1.234,56");
    EXPECT_EQ(at(clinic, 117, 14), "100,00");
    EXPECT_TRUE(has(all, "Nome do dependente/alimentando: MARIA FILHA"));
    EXPECT_EQ(at(lineWith("ESCOLA ABC"), 88, 14), "3.000,00");
    size_t named = 0;
    for (const std::string& line : printedLines())
        named += has(line, "Nome do dependente") ? 1 : 0;
    EXPECT_EQ(named, 1u);
}

TEST_F(DeclarationPagesTest, LongListsBreakPastLine57) {
    for (int i = 0; i < 90; ++i)
        company("J", "EMPRESA " + std::to_string(i), 100.00, 0, 0, 0);
    print(reports::kIncomePage);
    const std::vector<std::string> lines = printedLines();
    EXPECT_LE(longestPage(lines), 60);
    EXPECT_GE(pageCount(lines), 2);
    EXPECT_EQ(at(lineWith("TOTAL"), 64, 14), "9.000,00");
}

TEST_F(DeclarationPagesTest, RuralActivityWithItsResultWorkedOutFromTheMonths) {
    EXPECT_FALSE(reports::FOLHA(reports::kRuralPage));
    store::Table& properties = copy(kPropertiesCopy);
    ASSERT_TRUE(properties.append());
    properties.put("CPF", base::Value(kCpf));
    properties.put("I2_00", base::Value(1));
    properties.put("I2_01", base::Value("FAZENDA BOA VISTA"));
    properties.put("I2_04", base::Value(50.0));
    properties.put("I2_02", base::Value(1234.5));
    properties.unlock();
    store::Table& rural = copy(kRuralCopy);
    ASSERT_TRUE(rural.append());
    rural.put("CPF", base::Value(kCpf));
    rural.put("I3_01OR", base::Value(1000.00));
    rural.put("I3_02OR", base::Value(500.00));
    rural.put("I3_03OD", base::Value(300.00));
    rural.put("I4_04", base::Value(200.00));  // earlier losses
    rural.put("I5_09", base::Value(50.00));
    rural.put("OPTA", base::Value("N"));
    rural.unlock();
    dependant("MARIA FILHA", "52998224725");
    const std::string all = print(reports::kRuralPage);
    EXPECT_TRUE(has(all, "Nome:JOAO DA SILVA SANTOS"));
    EXPECT_TRUE(has(all, "IMPOSTO DE RENDA - PESSOA FISICA"));
    EXPECT_TRUE(has(all, "FAZENDA BOA VISTA"));
    EXPECT_EQ(at(lineWith("FAZENDA"), 5, 8), "50,00");
    EXPECT_TRUE(has(lineWith("Area:"), "1.234,5"));
    const std::string total = lineWith(" TOTAL");
    EXPECT_EQ(at(total, 18, 14), "1.500,00");
    EXPECT_EQ(at(total, 56, 14), "300,00");
    // 1500 - 300 = 1200; the 200 of earlier losses compensated leaves 1000.
    EXPECT_EQ(at(lineWith("Resultado "), 64, 14), "1.200,00");
    EXPECT_EQ(at(lineWith("Limite de 20%"), 64, 14), "300,00");
    EXPECT_EQ(at(lineWith("Compensacao de prejuizo"), 64, 14), "200,00");
    EXPECT_EQ(at(lineWith("RESULTADO TRIBUTAVEL"), 64, 14), "1.000,00");
    EXPECT_TRUE(has(all, "Opcao pela forma de apuracao - Pelo Resultado"));
    EXPECT_TRUE(has(all, "Receita recebida em 2025 por conta de venda p/entrega futura"));
    // 1200 + 50 received ahead - 1000 taxable.
    const std::vector<std::string> lines = printedLines();
    const auto nonTaxable = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
        return line.rfind(" RESULTADO NAO-TRIBUTAVEL", 0) == 0;
    });
    ASSERT_NE(nonTaxable, lines.end());
    EXPECT_EQ(at(*nonTaxable, 64, 14), "250,00");
    EXPECT_TRUE(has(lineWith("MARIA FILHA"), "52998224725"));
}

// Page 3 chosen alone in the print selection, for the taxpayer of the
// register: printed once, with no blank page after it.
TEST_F(DeclarationPagesTest, OnePageThroughThePrintSelection) {
    ASSERT_TRUE(store::ABERTURA(9));
    store::Table& reg = store::workAreas().area(9);
    ASSERT_TRUE(reg.append());
    reg.put("CPF", base::Value(kCpf));
    reg.put("NOMECONTR", base::Value("JOAO DA SILVA SANTOS"));
    reg.unlock();
    payment(10, "CLINICA SAUDE", 1234.56, 0);
    base::NamedValues& s = base::session();
    s.set("QUECON", 1);
    s.set("QUEPAG", 4);
    printing::setReportPrinters({.FOLHA = [](int page) { return reports::FOLHA(page); },
                                 .PREP_DARF = {},
                                 .loadTaxpayer =
                                     [] {
                                         openCopies();
                                         return true;
                                     },
                                 .releaseTaxpayer = {}});
    printing::FAZIMP();
    const std::vector<std::string> lines = printedLines();
    ASSERT_FALSE(lines.empty());
    size_t clinics = 0;
    for (const std::string& line : lines)
        clinics += has(line, "CLINICA SAUDE") ? 1 : 0;
    EXPECT_EQ(clinics, 1u);
    // The selection ends the page; nothing before it did.
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "\f"), 1);
    EXPECT_EQ(lines.back(), "\f");
    EXPECT_FALSE(lineWith("Relacao dos Pagamentos e Doacoes Efetuadas").empty());
}

// The whole declaration ("Tudo"): pages 1 ... 6 in order, each on pages of
// its own, the rural pages left out for a taxpayer without rural activity.
TEST_F(DeclarationPagesTest, TheWholeDeclarationPrintsItsPagesInOrder) {
    ASSERT_TRUE(store::ABERTURA(9));
    store::Table& reg = store::workAreas().area(9);
    ASSERT_TRUE(reg.append());
    reg.put("CPF", base::Value(kCpf));
    reg.put("NOMECONTR", base::Value("JOAO DA SILVA SANTOS"));
    reg.unlock();
    company("J", "EMPRESA UM LTDA", 50000.00, 5500.10, 4000.25, 3000.00);
    payment(10, "CLINICA SAUDE", 1234.56, 0);
    store::Table& items = copy(kIncomeCopy);
    ASSERT_TRUE(items.append());
    items.put("CPF", base::Value(kCpf));
    items.put("I1_1", base::Value("F"));
    items.put("I1_2", base::Value("CONSULTA"));
    items.put("DT_LC", base::Value(date(5, 5, 2025)));
    items.put("CDCONTA", base::Value("1001"));
    items.put("I1_413", base::Value(80.0));
    items.put("TIPOCR", base::Value("C"));
    items.unlock();
    base::NamedValues& s = base::session();
    s.set("QUECON", 1);
    s.set("QUEPAG", 1);
    tax::Summary summary;
    summary.set(1, tax::Summary::kYear, 50000.0);
    printing::setReportPrinters(
        {.FOLHA = [&](int page) { return reports::FOLHA(page, [&] { return summary; }); },
         .PREP_DARF = {},
         .loadTaxpayer =
             [] {
                 openCopies();
                 return true;
             },
         .releaseTaxpayer = {}});
    messages.answers = {1};  // a new page for every month
    onScreen("type 1\n", [] { printing::FAZIMP(); });
    const std::vector<std::string> lines = printedLines();
    const std::string all = joinedLines(lines);
    const size_t income = all.find("EMPRESA UM LTDA");
    const size_t payments = all.find("CLINICA SAUDE");
    const size_t summaryPage = all.find("Resumo geral do CPF");
    const size_t book = all.find("Livro Caixa de JOAO");
    ASSERT_NE(income, std::string::npos);
    ASSERT_NE(payments, std::string::npos);
    ASSERT_NE(summaryPage, std::string::npos);
    ASSERT_NE(book, std::string::npos);
    EXPECT_LT(income, payments);
    EXPECT_LT(payments, summaryPage);
    EXPECT_LT(summaryPage, book);
    EXPECT_FALSE(has(all, "ATIVIDADE RURAL "));
    EXPECT_TRUE(has(all, "T E R M O   D E   E N C E R R A M E N T O"));
    // No page is blank.
    int onPage = 0;
    for (const std::string& line : lines) {
        if (line == "\f") {
            EXPECT_GT(onPage, 0);
            onPage = 0;
        } else if (!base::alltrim(line).empty()) {
            ++onPage;
        }
    }
}

}  // namespace
}  // namespace kdx2::reports_test
