// The printed cash books and their terms, from the loaded taxpayer's copies
// of the income items and properties on a temporary drive, with the chart
// of accounts shipped with the program; the print file is read back.

#include "reports/cash_book_print.h"

#include <algorithm>

#include "darf_fixture.h"
#include "platform/console/keys.h"
#include "printed_pages.h"
#include "reports/declaration_print.h"
#include "store/access.h"
#include "ui/ui_session.h"

namespace kdx2::reports_test {
namespace {

constexpr int kIncomeCopy = 22;
constexpr int kPropertiesCopy = 35;

class CashBookPrintTest : public DarfTest {
  protected:
    void SetUp() override {
        DarfTest::SetUp();
        base::NamedValues& s = base::session();
        s.set("QUEIMP", 1);
        s.set("QUEMES", 1);
        s.set("MES_INIC", 1);
        s.set("MES_FINAL", 12);
        s.set("AVANCA_PAG", "S");
        s.set("FECHA_DIA", "N");
        s.set("MOSTR_ACU", "S");
        s.set("TIPO_LANCA", 0);
        s.set("ENDERECO", "RUA DAS FLORES");
        s.set("NUMERO", "10");
        s.set("BAIRRO", "CENTRO");
        s.set("CEP", "01234567");
        s.set("MUNICIPIO", "SAO PAULO");
        s.set("UF", "SP");
        s.set("DDDTEL", "11");
        printing::setPrintWorkingValues();
        installSupplied("CONTAS");
        ASSERT_TRUE(store::ABREARQ(kIncomeCopy, true, "C:\\TRAB\\TMP_P203"));
        ASSERT_TRUE(store::ABREARQ(kPropertiesCopy, true, "C:\\TRAB\\TMP_P1503"));
    }

    void item(const std::string& kind, const base::Date& day, const std::string& account,
              const std::string& description, double amount, const std::string& credit,
              int property = 0) {
        store::Table& income = store::workAreas().area(kIncomeCopy);
        ASSERT_TRUE(income.append());
        income.put("CPF", base::Value(kCpf));
        income.put("I1_1", base::Value(kind));
        income.put("I1_2", base::Value(description));
        income.put("DT_LC", base::Value(day));
        income.put("CDCONTA", base::Value(account));
        income.put("I1_413", base::Value(amount));
        income.put("TIPOCR", base::Value(credit));
        income.put("NROIMO", base::Value(property));
        income.unlock();
    }

    void property(double participation) {
        store::Table& properties = store::workAreas().area(kPropertiesCopy);
        ASSERT_TRUE(properties.append());
        properties.put("CPF", base::Value(kCpf));
        properties.put("I2_04", base::Value(participation));
        properties.unlock();
    }

    void months(int first, int last) {
        base::session().set("QUEMES", first == last ? 2 : 3);
        base::session().set("MES_INIC", first);
        base::session().set("MES_FINAL", last);
    }

    // Prints one page of the declaration into a fresh print file.
    bool print(int page) {
        EXPECT_TRUE(printing::PREP_IMP());
        const bool printed = reports::FOLHA(page);
        EXPECT_TRUE(printing::closePrintOutput());
        return printed;
    }

    std::string text() const { return joinedLines(printedLines()); }
    std::string lineWith(const std::string& part) const {
        return reports_test::lineWith(printedLines(), part);
    }
    static std::string at(const std::string& line, size_t column, size_t width) {
        return cut(line, column, width);
    }
};

TEST_F(CashBookPrintTest, BookFromAprilCarriesTheBalanceOfTheEarlierMonths) {
    item("F", date(10, 1, 2025), "1001", "CONSULTA JANEIRO", 1000.00, "C");
    item("L", date(12, 2, 2025), "4001", "SALARIO FEVEREIRO", 300.50, "D");
    item("F", date(5, 3, 2025), "1001", "CONSULTA MARCO", 200.25, "C");
    item("F", date(3, 4, 2025), "1001", "CONSULTA ABRIL", 500.00, "C");
    item("L", date(20, 4, 2025), "4001", "SALARIO ABRIL", 150.00, "D");
    months(4, 4);
    ASSERT_TRUE(print(reports::kCashBookPage));
    const std::string all = text();
    EXPECT_FALSE(has(all, "CONSULTA MARCO"));
    EXPECT_TRUE(has(all, "Ref. ABR/2025 Pag. 001"));
    // January to March: 1000.00 + 200.25 - 300.50 = 899.75; April adds
    // 500.00 - 150.00.
    const std::string earlier = lineWith("Saldo do caixa");
    EXPECT_EQ(at(earlier, 49, 15), "899,75");
    EXPECT_EQ(at(lineWith("Saldo Acumulado"), 49, 15), "1.249,75");
    const std::string month = lineWith("Totais do Mes");
    EXPECT_EQ(at(month, 49, 15), "500,00");
    EXPECT_EQ(at(month, 64, 15), "150,00");
    // Revenue plus the earlier balance equals expenses plus the accumulated.
    const std::vector<std::string> lines = printedLines();
    const auto totals = std::find(lines.begin(), lines.end(), lineWith("Saldo Acumulado"));
    ASSERT_NE(totals, lines.end());
    ASSERT_NE(totals + 1, lines.end());
    const std::string check = *(totals + 1);
    EXPECT_EQ(at(check, 49, 15), "1.399,75");
    EXPECT_EQ(at(check, 64, 15), "1.399,75");
    // Only a book of the whole year gets its terms.
    EXPECT_FALSE(has(all, "T E R M O"));

    // Asked not to work the earlier balance out, April stands alone.
    base::session().set("CALC_SALD", "N");
    ASSERT_TRUE(print(reports::kCashBookPage));
    EXPECT_FALSE(has(text(), "Saldo do caixa"));
    EXPECT_EQ(at(lineWith("Saldo Acumulado"), 49, 15), "350,00");
}

TEST_F(CashBookPrintTest, EntriesPrintUnderTheirAccountInDateOrder) {
    item("L", date(15, 1, 2025), "4001", "SALARIO", 80.00, "D");
    item("F", date(2, 1, 2025), "1002", "ALUGUEL", 700.00, "C");
    item("F", date(15, 1, 2025), "1001", "CONSULTA", 120.00, "C");
    ASSERT_TRUE(print(reports::kCashBookPage));
    const std::vector<std::string> lines = printedLines();
    std::vector<std::string> body;
    for (const std::string& line : lines)
        if (has(line, "ALUGUEL") || has(line, "CONSULTA") || has(line, "SALARIO") ||
            has(line, "ALUGUÉIS") || has(line, "TRABALHO NÃO") || has(line, "SALÁRIOS DE"))
            body.push_back(line);
    ASSERT_GE(body.size(), 6u);
    EXPECT_EQ(base::alltrim(body[0]), "ALUGUÉIS RECEBIDOS DE PESSOAS FÍSICAS");
    EXPECT_EQ(at(body[1], 4, 8), "02/01/25");
    EXPECT_EQ(at(body[1], 52, 13), "700,00");
    EXPECT_TRUE(has(body[2], "TRABALHO NÃO ASSALARIADO"));
    EXPECT_EQ(at(body[3], 52, 13), "120,00");
    EXPECT_TRUE(has(body[4], "SALÁRIOS DE EMPREGADOS"));
    EXPECT_EQ(at(body[5], 66, 13), "80,00");
    EXPECT_EQ(at(body[5], 52, 13), "");
    // The balance of accounts, condensed, one line per account.
    EXPECT_EQ(at(lineWith("TOTAIS"), 95, 13), "820,00");
    EXPECT_EQ(at(lineWith("TOTAIS"), 119, 13), "80,00");
    EXPECT_TRUE(has(text(), "Balanco das receitas e despesas"));
}

TEST_F(CashBookPrintTest, WholeYearIsClosedByTheTermsWithTheLastEntryWrittenOut) {
    base::session().set("NOMECONTR", "JOAO DA SILVA SANTOS");
    item("F", date(10, 3, 2025), "1001", "CONSULTA", 100.00, "C");
    item("F", date(7, 12, 2025), "1001", "CONSULTA", 100.00, "C");
    ASSERT_TRUE(print(reports::kCashBookPage));
    const std::string all = text();
    // Pages: opening term 1, March 2, December 3, balance 4, closing term 5.
    EXPECT_TRUE(has(all, "Ref. MAR/2025 Pag. 002"));
    EXPECT_TRUE(has(all, "Ref. DEZ/2025 Pag. 003"));
    EXPECT_TRUE(has(all, "Pag. 4"));
    EXPECT_TRUE(has(all, "T E R M O   D E   A B E R T U R A"));
    EXPECT_TRUE(has(all, "T E R M O   D E   E N C E R R A M E N T O"));
    EXPECT_TRUE(has(all, "Este livro contem 5 folhas numeradas sequencialmente de 1 a 5 e"));
    EXPECT_TRUE(has(all, "Pag. 005"));
    EXPECT_TRUE(has(all, "Ultimo lancamento efetuado em 7 de dezembro de 2025"));
    EXPECT_TRUE(has(all, "servira para o lancamento das receitas e despesas de trabalho"));
    EXPECT_TRUE(has(all, "serviu para o lancamento"));
    EXPECT_TRUE(has(all, "CPF nro 11144477735"));
    EXPECT_TRUE(has(all, "SAO PAULO - SP"));
    EXPECT_TRUE(has(all, "TEL: (11) 987654321"));
}

TEST_F(CashBookPrintTest, NothingOrOnlyBalances) {
    // No entries at all: nothing printed.
    EXPECT_FALSE(print(reports::kCashBookPage));
    EXPECT_FALSE(has(text(), "Livro Caixa"));
    // Entries before the range only: the balances carried in, then the terms.
    item("F", date(10, 1, 2025), "1001", "CONSULTA", 400.00, "C");
    item("L", date(11, 1, 2025), "4001", "SALARIO", 100.00, "D");
    months(6, 8);
    ASSERT_TRUE(print(reports::kCashBookPage));
    EXPECT_FALSE(has(text(), "CONSULTA"));
    EXPECT_EQ(at(lineWith("Saldo do caixa"), 49, 15), "300,00");
    EXPECT_EQ(at(lineWith("Saldo Acumulado"), 49, 15), "300,00");
    EXPECT_TRUE(has(text(), "T E R M O   D E   E N C E R R A M E N T O"));
    EXPECT_TRUE(has(text(), "Ultimo lancamento efetuado em 11 de janeiro de 2025"));
    // Opening term 1, the balances 2, the balance of accounts 3, closing 4.
    EXPECT_TRUE(has(text(), "Ref. JUN/2025 Pag. 002"));
    EXPECT_TRUE(has(text(), "Este livro contem 4 folhas"));
}

TEST_F(CashBookPrintTest, DailyTotalsFollowTheLastEntryOfEachDay) {
    base::session().set("FECHA_DIA", "S");
    item("F", date(5, 2, 2025), "1001", "PRIMEIRA", 10.10, "C");
    item("F", date(5, 2, 2025), "1001", "SEGUNDA", 20.20, "C");
    item("L", date(6, 2, 2025), "4001", "TERCEIRA", 5.00, "D");
    ASSERT_TRUE(print(reports::kCashBookPage));
    const std::vector<std::string> lines = printedLines();
    std::vector<size_t> dayLines;
    for (size_t i = 0; i < lines.size(); ++i)
        if (has(lines[i], "Totais do Dia")) dayLines.push_back(i);
    ASSERT_EQ(dayLines.size(), 2u);
    EXPECT_TRUE(has(lines[dayLines[0] - 2], "SEGUNDA"));
    EXPECT_EQ(at(lines[dayLines[0]], 52, 13), "30,30");
    EXPECT_EQ(at(lines[dayLines[1]], 66, 13), "5,00");
    EXPECT_TRUE(has(lines[dayLines[1] - 2], "TERCEIRA"));
}

TEST_F(CashBookPrintTest, RuralEntriesAreWeightedByTheParticipation) {
    property(50);
    item("R", date(3, 5, 2025), "8001", "VENDA DE SOJA", 1000.00, "C", 1);
    item("F", date(3, 5, 2025), "1001", "CONSULTA", 70.00, "C");
    ASSERT_TRUE(print(reports::kRuralCashBookPage));
    const std::string all = text();
    EXPECT_FALSE(has(all, "CONSULTA"));
    EXPECT_EQ(at(lineWith("VENDA DE SOJA"), 52, 13), "500,00");
    EXPECT_EQ(at(lineWith("TOTAIS"), 95, 13), "500,00");
    EXPECT_TRUE(has(all, "na atividade rural,"));
    // The digital rural book keeps the amounts whole.
    base::session().set("TIPO_LANCA", 2);
    ASSERT_TRUE(print(reports::kRuralCashBookPage));
    EXPECT_EQ(at(lineWith("VENDA DE SOJA"), 52, 13), "1.000,00");
}

// A rural book of totals only prints its months without any heading: its
// lines start at the top of each page, and the figures are the same.
TEST_F(CashBookPrintTest, ABookOfTotalsOnlyHasNoMonthHeading) {
    base::session().set("TIPO_LANCA", 1);
    base::session().set("AVANCA_PAG", "N");
    item("R", date(31, 1, 2025), "8001", "RECEITA DE JANEIRO", 1500.00, "C");
    item("R", date(28, 2, 2025), "8001", "RECEITA DE FEVEREIRO", 700.00, "C");
    ASSERT_TRUE(print(reports::kRuralCashBookPage));
    std::vector<std::string> months = printedLines();
    ASSERT_FALSE(months.empty());
    months.erase(std::find_if(months.begin(), months.end(),
                              [](const std::string& line) { return has(line, "Balanco das"); }),
                 months.end());
    const std::string book = joinedLines(months);
    EXPECT_FALSE(has(book, "Livro Caixa de"));
    EXPECT_FALSE(has(book, "Data     Descricao"));
    // The book's first page starts with the account, not a rule.
    EXPECT_FALSE(has(months.front(), "---")) << months.front();
    EXPECT_TRUE(has(book, "Totais do Mes"));
    EXPECT_EQ(at(lineWith("RECEITA DE JANEIRO"), 52, 13), "1.500,00");
    EXPECT_EQ(at(lineWith("TOTAIS"), 95, 13), "2.200,00");
    // The common book keeps its heading.
    base::session().set("TIPO_LANCA", 0);
    ASSERT_TRUE(print(reports::kRuralCashBookPage));
    EXPECT_TRUE(has(text(), "Data     Descricao"));
}

// The balance of accounts adds up to the lines printed: each rural share
// rounded to the cent as printed, and an item without its kind of credit
// placed by its kind.
TEST_F(CashBookPrintTest, TheBalanceOfAccountsAddsUpToThePrintedLines) {
    property(33.33);
    for (int day = 1; day <= 3; ++day)
        item("R", date(day, 7, 2025), "8001", "SAFRA", 100.01, "C", 1);
    ASSERT_TRUE(print(reports::kRuralCashBookPage));
    EXPECT_EQ(at(lineWith("SAFRA"), 52, 13), "33,33");
    EXPECT_EQ(at(lineWith("Totais do Mes"), 49, 15), "99,99");
    EXPECT_EQ(at(lineWith("TOTAIS"), 95, 13), "99,99");

    item("F", date(2, 8, 2025), "1001", "SEM TIPO", 45.00, "");
    ASSERT_TRUE(print(reports::kCashBookPage));
    EXPECT_EQ(at(lineWith("SEM TIPO"), 52, 13), "45,00");
    EXPECT_EQ(at(lineWith("TOTAIS"), 95, 13), "45,00");
}

TEST_F(CashBookPrintTest, PagesNeverPassSixtyLinesAndCarryTheirTotals) {
    for (int day = 1; day <= 28; ++day)
        for (int i = 0; i < 4; ++i)
            item("F", date(day, 3, 2025), "1001", "CONSULTA " + std::to_string(day), 1.25, "C");
    base::session().set("FECHA_DIA", "S");
    ASSERT_TRUE(print(reports::kCashBookPage));
    const std::vector<std::string> lines = printedLines();
    EXPECT_LE(longestPage(lines), 60);
    EXPECT_GT(pageCount(lines), 4);
    // What one page carries is what the next brings forward.
    std::vector<std::string> carried;
    std::vector<std::string> brought;
    for (const std::string& line : lines) {
        if (has(line, "A transportar.......") && line.size() > 60)
            carried.push_back(at(line, 49, 15));
        if (has(line, "Transporte da pg. anterior")) brought.push_back(at(line, 49, 15));
    }
    ASSERT_FALSE(carried.empty());
    EXPECT_EQ(carried, brought);
    EXPECT_EQ(at(lineWith("Totais do Mes"), 49, 15), "140,00");
}

// Months of 2 ... 24 entries on several accounts and days, continuing on
// the same page: whatever the page holds when a month or a carry comes, no
// page passes its 60 lines.
TEST_F(CashBookPrintTest, MonthsSharingPagesNeverOverflow) {
    base::NamedValues& s = base::session();
    s.set("AVANCA_PAG", "N");
    s.set("FECHA_DIA", "S");
    for (int month = 1; month <= 12; ++month)
        for (int i = 0; i < month * 2; ++i) {
            const bool expense = i % 3 == 0;
            item(expense ? "L" : "F", date(1 + i / 2, month, 2025),
                 expense ? "4001" : (i % 2 ? "1001" : "1002"), "ITEM", 10.00, expense ? "D" : "C");
        }
    ASSERT_TRUE(print(reports::kCashBookPage));
    const int longest = longestPage(printedLines());
    EXPECT_LE(longest, 60);
    EXPECT_GT(longest, 50);
    // 156 entries of 10,00; each month 2m entries, every third an expense:
    // 1+2+2+3+4+4+5+6+6+7+8+8 = 56 expenses and 100 revenue.
    EXPECT_EQ(at(lineWith("TOTAIS"), 95, 13), "1.000,00");
    EXPECT_EQ(at(lineWith("TOTAIS"), 119, 13), "560,00");
}

// A month that closes anywhere on a page, followed by a month of one entry:
// the second month's closing lines still fit on the page.
TEST_F(CashBookPrintTest, AMonthAfterAFullPageStillFits) {
    reports::CashBookSettings settings;
    settings.pagePerMonth = false;
    settings.dailyTotals = true;
    settings.year = 2025;
    settings.name = "JOAO";
    for (int count = 1; count <= 60; ++count) {
        std::vector<reports::CashBookLine> lines;
        for (int i = 0; i < count; ++i)
            lines.push_back({date(1 + i % 28, 1, 2025), 1, "1001", "JANEIRO", 1.0, true});
        lines.push_back({date(3, 2, 2025), 2, "4001", "FEVEREIRO", 1.0, false});
        ASSERT_TRUE(printing::PREP_IMP());
        reports::LIVRO_CX(lines, settings, [](const std::string& code) { return code; });
        ASSERT_TRUE(printing::closePrintOutput());
        ASSERT_LE(longestPage(printedLines()), 60) << count << " entries in January";
    }
}

// Esc between pages, confirmed: what was printed stays, and the book ends
// there without its balance of accounts or terms.
TEST_F(CashBookPrintTest, EscAbandonsTheBookBetweenPages) {
    for (int i = 0; i < 120; ++i)
        item("F", date(1 + i % 28, 3, 2025), "1001", "CONSULTA", 1.00, "C");
    messages.answers = {1};
    ASSERT_TRUE(printing::PREP_IMP());
    {
        ui::testing::UiSession ui("");
        ui::pushKey(platform::keys::Esc);
        EXPECT_TRUE(reports::FOLHA(reports::kCashBookPage));
    }
    ASSERT_TRUE(printing::closePrintOutput());
    const std::string all = text();
    EXPECT_TRUE(has(all, "A transportar......."));
    EXPECT_FALSE(has(all, "Balanco das receitas e despesas"));
    EXPECT_FALSE(has(all, "T E R M O"));
    EXPECT_TRUE(base::session().flag("CAN_IMP"));
    ASSERT_FALSE(messages.boxes.empty());
    EXPECT_EQ(boxLines(0).front(), "Abandona a impressão ?");
    const std::vector<std::string>& status = messages.status;
    const bool told =
        std::find(status.begin(), status.end(), "Imprimindo o Livro Caixa Normal.") != status.end();
    EXPECT_TRUE(told);
}

TEST_F(CashBookPrintTest, DatesWrittenOutInFull) {
    EXPECT_EQ(base::cp850::toUtf8(reports::DATA_COMPLETA(date(1, 3, 2026))), "1 de março de 2026");
    EXPECT_EQ(reports::DATA_COMPLETA(date(31, 12, 2026)), "31 de dezembro de 2026");
    EXPECT_EQ(reports::DATA_COMPLETA(base::Date()), "");
}

// Without an open declaration the taxpayer's rows come from the data
// folder's table, which holds other taxpayers too.
TEST_F(CashBookPrintTest, WithoutAnOpenDeclarationTheDataFolderIsRead) {
    store::workAreas().close(kIncomeCopy);
    store::workAreas().close(kPropertiesCopy);
    ASSERT_TRUE(store::ABERTURA(2));
    store::Table& income = store::workAreas().area(2);
    for (const char* cpf : {"52998224725", kCpf}) {
        ASSERT_TRUE(income.append());
        income.put("CPF", base::Value(cpf));
        income.put("I1_1", base::Value("F"));
        income.put("I1_2", base::Value(std::string("CONSULTA DE ") + cpf));
        income.put("DT_LC", base::Value(date(4, 2, 2025)));
        income.put("CDCONTA", base::Value("1001"));
        income.put("I1_413", base::Value(10.0));
        income.put("TIPOCR", base::Value("C"));
        income.unlock();
    }
    ASSERT_TRUE(print(reports::kCashBookPage));
    EXPECT_TRUE(has(text(), std::string("CONSULTA DE ") + kCpf));
    EXPECT_FALSE(has(text(), "CONSULTA DE 52998224725"));
}

// A damaged income table stops the page with a message for the user.
TEST_F(CashBookPrintTest, ADamagedTableStopsThePrinting) {
    store::workAreas().close(kIncomeCopy);
    std::ofstream(host("DADOS/IRM2.DBF"), std::ios::binary) << "not a table";
    ASSERT_TRUE(printing::PREP_IMP());
    EXPECT_THROW(reports::FOLHA(reports::kCashBookPage), base::Error);
    EXPECT_TRUE(printing::closePrintOutput());
}

}  // namespace
}  // namespace kdx2::reports_test
