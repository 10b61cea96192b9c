// The printed declaration in the whole program, through a CUPS queue and read
// back from its PDF: a taxpayer of 2025 with company income, a medical
// payment, 40 cash-book entries in January, March and April and a rural
// property, printed in December 2026 with the year projected over six months.
// The expected figures are worked out by hand in the comments; the summary's
// are also read from the summary screen of the same data.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "printing/cups_scheduler.h"
#include "support/child_process.h"
#include "whole_program.h"

using namespace kdx2::e2e;
using kdx2::test_support::PrivateScheduler;
using kdx2::test_support::runCommand;

namespace {

constexpr const char* kCpf = "11144477735";
constexpr const char* kToday = "2026-12-07 10:00:00";

// The taxpayer's identification, the company (six months of 8,000.00, 500.00
// withheld and 880.00 of social security: 48,000.00, 3,000.00 and 5,280.00),
// the cash book (each month every third entry an expense of 80.00, the
// others consultations of 250.00: January 14 entries, 2,500.00 and 320.00;
// March and April 13 each, 2,250.00 and 320.00), the rural entries of May on
// a property held at 50 % (3,000.00 sold, 600.00 spent) and 1,800.00 paid to
// a clinic in March.
const char* kTaxpayer = R"PY(
import dbf, datetime, sys
folder, cpf = sys.argv[1], sys.argv[2]
def table(name):
    t = dbf.Table(folder + '/' + name + '.DBF', codepage='cp850')
    t.open(dbf.READ_WRITE)
    return t
r = table('IRM9')
for rec in r:
    with rec:
        rec.nomecontr = 'MARIA OLIVEIRA COSTA'; rec.tipoend = 'RUA'; rec.endereco = 'DAS PALMEIRAS'
        rec.numero = '200'; rec.bairro = 'JARDIM'; rec.cep = '13010000'; rec.municipio = 'CAMPINAS'
        rec.uf = 'SP'; rec.dddtel = '19'; rec.telefo = '32345678'; rec.email = 'maria@exemplo.com.br'
        rec.nascimento = datetime.date(1975, 3, 14); rec.temrural = 'S'
r.close()
t = table('IRM2')
acme = {'cpf': cpf, 'i1_1': 'J', 'i1_2': 'ACME INDUSTRIA LTDA', 'i1_3': '11.222.333/0001-81',
        'i1_413': 48000.00, 'i1_513': 3000.00, 'i1_613': 5280.00, 'cdconta': '2100', 'tipocr': 'C'}
for m in range(1, 7):
    acme['i1_4%02d' % m] = 8000.00; acme['i1_5%02d' % m] = 500.00; acme['i1_6%02d' % m] = 880.00
t.append(acme)
for month, count in ((1, 14), (3, 13), (4, 13)):
    for i in range(count):
        expense = i % 3 == 2
        t.append({'cpf': cpf, 'i1_1': 'L' if expense else 'F',
                  'i1_2': ('DESPESA %02d-%02d' if expense else 'CONSULTA %02d-%02d') % (month, i + 1),
                  'cdconta': '4001' if expense else '1001', 'tipocr': 'D' if expense else 'C',
                  'i1_413': 80.00 if expense else 250.00,
                  'dt_lc': datetime.date(2025, month, 2 + 2 * i)})
t.append({'cpf': cpf, 'i1_1': 'R', 'i1_2': 'VENDA DE CAFE', 'cdconta': '8001', 'tipocr': 'C',
          'i1_413': 3000.00, 'nroimo': 1, 'dt_lc': datetime.date(2025, 5, 10)})
t.append({'cpf': cpf, 'i1_1': 'R', 'i1_2': 'ADUBO', 'cdconta': '9001', 'tipocr': 'D',
          'i1_413': 600.00, 'nroimo': 1, 'dt_lc': datetime.date(2025, 5, 20)})
t.close()
p = table('IRM6')
p.append({'cpf': cpf, 'i6_1': 'CLINICA SAUDE PLENA', 'i6_2': '22.333.444/0001-05', 'i6_3': 10,
          'i6_4': 1800.00, 'i6_403': 1800.00})
p.close()
f = table('IRM15')
f.append({'cpf': cpf, 'i2_00': 1, 'i2_01': 'FAZENDA BOA VISTA', 'i2_02': 120.5, 'i2_04': 50.00,
          'i2_05': 1, 'i2_06': 'ESTRADA MUNICIPAL KM 4 CAMPINAS SP'})
f.close()
)PY";

std::string slurp(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The lines of each page of the print file (CR LF, pages ended by a form
// feed).
std::vector<int> linesPerPage(const std::string& file) {
    std::vector<int> pages{0};
    for (char ch : file) {
        if (ch == '\n') ++pages.back();
        if (ch == '\f') pages.push_back(0);
    }
    if (pages.back() == 0) pages.pop_back();
    return pages;
}

// The year's figure of the summary screen row labelled `label`.
std::string screenYear(const ProgramRun& run, const std::string& label) {
    for (const std::string& row : run.screen) {
        const std::vector<std::string> cells = cellsBetweenBars(row);
        if (cells.size() > 1 && cells[0] == label) return cells[1];
    }
    ADD_FAILURE() << "no row " << label << " on the summary screen";
    return "";
}

// The year's figure of the printed summary row labelled `label` (the first
// cell after the label's), from pdftotext's layout, which may narrow blanks.
std::string printedYear(const std::string& text, const std::string& label) {
    std::smatch cell;
    const std::regex row("\\|" + std::regex_replace(label, std::regex("[.]"), "\\.") +
                         " *\\| *([^|]*?) *\\|");
    if (!std::regex_search(text, cell, row)) {
        ADD_FAILURE() << "no printed row " << label;
        return "";
    }
    return cell[1];
}

// The first line of `text` holding `part`.
std::string lineOf(const std::string& text, const std::string& part) {
    const size_t at = text.find(part);
    if (at == std::string::npos) return "";
    const size_t start = text.rfind('\n', at) + 1;
    return text.substr(start, text.find('\n', at) - start);
}

class DeclarationPrinting : public WholeProgram {
  protected:
    // A scheduler of our own with the queue "escritorio"; the taxpayer is
    // created by the program in June 2025 (the tax year and six months to
    // project over), filled in by an independent DBF writer, and its rural
    // pages are gone through once, so that the program works out and saves
    // the rural totals and result (May: 1,500.00 and 300.00, taxable
    // 1,200.00).
    void SetUp() override {
        WholeProgram::SetUp();
        const std::string unavailable = PrivateScheduler::unavailableReason();
        if (!unavailable.empty()) GTEST_SKIP() << unavailable;
        std::string why;
        ASSERT_TRUE(scheduler.start(why)) << why;
        ASSERT_TRUE(scheduler.addQueue("escritorio", why)) << why;
        Script create = openNewTaxpayer(kCpf);
        create += {"menu Terminar > Sai salvando alterações (Alt T)", "expect Ordem CPF", "key Esc",
                   "expect Ano Base"};
        const ProgramRun first = run(create, {}, "2025-06-15 10:00:00");
        ASSERT_EQ(first.exitCode, 0) << first.errors;
        const std::filesystem::path script =
            drive.parent_path() / (drive.filename().string() + ".py");
        std::ofstream(script) << kTaxpayer;
        int status = 0;
        const std::string out = runCommand("/usr/bin/python3 " + quoted(script.string()) + " " +
                                               quoted(drive.string()) + " " + kCpf + " 2>&1",
                                           &status);
        std::filesystem::remove(script);
        ASSERT_EQ(status, 0) << out;
        for (const char* index : {"IRM9.cdx", "IRM9B.cdx", "IRM2.cdx", "IRM6.cdx", "IRM15.cdx"})
            std::filesystem::remove(drive / index);
        const ProgramRun rural =
            run({"key Alt+I", "expect Ordem CPF", std::string("type ") + kCpf,
                 "expect Páginas  Rural  Ajuda", "menu Rural > Receita e Despesas (F11)",
                 "expect RECEITAS E DESPESAS", "menu Rural > Apuração (F12)",
                 "expect RESULTADO TRIBUTAVEL", "menu Terminar > Sai salvando alterações (Alt T)",
                 "expect Ordem CPF", "key Esc", "expect Ano Base"},
                {}, kToday);
        ASSERT_EQ(rural.exitCode, 0) << rural.errors;
    }

    // Prints the page chosen (its prompt in the page menu) for the
    // taxpayer on the queue "escritorio", answering `questions` after the
    // CPF; the PDF's text, laid out.
    std::string printToQueue(const std::string& page, const Script& questions) {
        std::filesystem::remove(scheduler.output("escritorio"));
        Script script = {"menu Seleção > 3 - Qual página > " + page, "key Enter",
                         "menu Seleção > 4 - Quem imprimir > Individual", "key Enter"};
        // The printer chosen stays the terminal's.
        if (!queueChosen_)
            script += {"menu Seleção > 5 - Qual Impressora > NAO DOS",
                       "expect Seleção da impressora",
                       "key Up",
                       "key Enter",
                       "expect 5  - escritorio",
                       "key Enter"};
        queueChosen_ = true;
        script +=
            {"menu Impressão > Imprime a seleção", "expect Ordem CPF", std::string("type ") + kCpf};
        script += questions;
        script += {"expect Seleção da impressora", "key Enter", "expect Ordem CPF", "key Esc",
                   "expect Ano Base"};
        const ProgramRun result = run(script, {{"CUPS_SERVER", scheduler.socket()}}, kToday);
        EXPECT_EQ(result.exitCode, 0) << result.errors;
        EXPECT_TRUE(scheduler.waitForJobs());
        const std::filesystem::path pdf = scheduler.output("escritorio");
        EXPECT_TRUE(std::filesystem::exists(pdf)) << scheduler.client("lpstat -W all -o");
        pdfPages = 0;
        const std::string info = runCommand("pdfinfo " + quoted(pdf.string()));
        std::smatch pages;
        if (std::regex_search(info, pages, std::regex("Pages: +([0-9]+)")))
            pdfPages = std::stoi(pages[1]);
        return runCommand("pdftotext -layout " + quoted(pdf.string()) + " -");
    }

    PrivateScheduler scheduler;
    int pdfPages = 0;

  private:
    bool queueChosen_ = false;
};

TEST_F(DeclarationPrinting, TheWholeDeclarationPrintsItsPagesWithTheSummaryScreensFigures) {
    // All months, a page per month, no summary of the rural months.
    const std::string text = printToQueue(
        "Tudo da declaração",
        {"expect Faixa de meses", "type 1", "expect Avança página em cada mês", "key Enter",
         "expect Deseja imprimir o Resumo do AAR", "key Right", "key Enter"});

    // Pages 1 to 6 in order, the normal book closed by its terms.
    const std::vector<std::string> order = {"PESSOAS JURIDICAS PELO TITULAR",
                                            "ATIVIDADE RURAL",
                                            "Relacao dos Pagamentos e Doacoes Efetuadas",
                                            "Resumo geral do CPF 11144477735",
                                            "IDENTIFICACAO DO CONTRIBUINTE",
                                            "Ref. JAN/2025 Pag. 002",
                                            "Ref. ABR/2025 Pag. 004",
                                            "T E R M O   D E   E N C E R R A M E N T O",
                                            "Ref. MAI/2025 Pag. 002"};
    size_t at = 0;
    for (const std::string& part : order) {
        const size_t found = text.find(part, at);
        ASSERT_NE(found, std::string::npos) << part << "\n" << text;
        at = found;
    }

    // Page 1: the company's year figures and the months of the carnê-leão.
    const std::string acme = lineOf(text, "ACME INDUSTRIA LTDA");
    EXPECT_TRUE(std::regex_search(acme, std::regex("48\\.000,00 +5\\.280,00 +3\\.000,00"))) << acme;
    EXPECT_TRUE(std::regex_search(lineOf(text, "TOTAIS    "), std::regex("7\\.000,00 +960,00")))
        << lineOf(text, "TOTAIS    ");
    // Page 2: the rural totals the program worked out, at 50 %.
    EXPECT_TRUE(std::regex_search(lineOf(text, "RESULTADO TRIBUTAVEL"), std::regex("1\\.200,00")));
    // Page 3: the clinic.
    EXPECT_TRUE(std::regex_search(lineOf(text, "CLINICA SAUDE PLENA"), std::regex("1\\.800,00")));
    // Pages 5: April carries January and March: 2,180.00 + 1,930.00 =
    // 4,110.00 before it, 6,040.00 after it.
    const size_t april = text.find("Ref. ABR/2025");
    EXPECT_TRUE(
        std::regex_search(lineOf(text.substr(april), "Saldo do caixa"), std::regex("4\\.110,00")));
    EXPECT_TRUE(
        std::regex_search(lineOf(text.substr(april), "Saldo Acumulado"), std::regex("6\\.040,00")));
    EXPECT_TRUE(
        std::regex_search(lineOf(text, "Este livro contem"),
                          std::regex("contem 6 folhas numeradas sequencialmente de 1 a 6")));
    // Page 6: the sale at the property's 50 %.
    EXPECT_TRUE(std::regex_search(lineOf(text, "VENDA DE CAFE"), std::regex("1\\.500,00")));

    // Page 4 against the summary screen, and against the hand: company
    // 48,000.00 and individuals 7,000.00 over 6 months, 96,000.00 and
    // 14,000.00; rural 2,400.00; income 112,400.00; deductions 10,560.00 +
    // 1,920.00 + 3,600.00 = 16,080.00 lose to the simplified 16,754.34; base
    // 95,645.66.
    EXPECT_NE(text.find("projetado com a m"), std::string::npos);
    EXPECT_EQ(printedYear(text, "P.Juridicas Tit."), "96.000,00");
    EXPECT_EQ(printedYear(text, "P.Fisicas"), "14.000,00");
    EXPECT_EQ(printedYear(text, "Ativid. Rural"), "2.400,00");
    EXPECT_EQ(printedYear(text, "Total rendimento"), "112.400,00");
    EXPECT_EQ(printedYear(text, "Base de calculo"), "95.645,66");
    // The simplified discount leaves no incentives: the row says so in the
    // label the projection made for the printed cell.
    EXPECT_NE(text.find("|Ded.de Incentivo|"), std::string::npos);
    const ProgramRun upper =
        run({"key Alt+I", "expect Ordem CPF", std::string("type ") + kCpf,
             "expect Páginas  Rural  Ajuda", "menu Páginas > Resumo (F6)", "expect Resumo Geral"},
            {}, kToday);
    ASSERT_EQ(upper.exitCode, 0) << upper.errors;
    const std::pair<const char*, const char*> upperRows[] = {
        {"Rec. P.Jurídica (Tit.)", "P.Juridicas Tit."},
        {"Recebido de P. Físicas", "P.Fisicas"},
        {"Resultado ativ. rural", "Ativid. Rural"},
        {"Total ................", "Total rendimento"},
        {"Prev.Oficial (Tit+Dep)", "Previd. Oficial"},
        {"Despesas Livro Caixa", "Livro Caixa"},
        {"Despesas médicas/hosp.", "Desp. medicas"},
        {"Desc. simplificado 20%", "Desc. simplific."},
        {"Base de cálculo", "Base de calculo"}};
    for (const auto& [shown, printed] : upperRows)
        EXPECT_EQ(printedYear(text, printed), screenYear(upper, shown)) << printed;
    const ProgramRun lower = run({"key Alt+I", "expect Ordem CPF", std::string("type ") + kCpf,
                                  "expect Páginas  Rural  Ajuda", "menu Páginas > Resumo (F6)",
                                  "expect Resumo Geral", "key PgDn"},
                                 {}, kToday);
    ASSERT_EQ(lower.exitCode, 0) << lower.errors;
    const std::pair<const char*, const char*> lowerRows[] = {
        {"Imposto", "Imposto"},
        {"IMPOSTO DEVIDO........", "Imposto devido"},
        {"Imposto retido (Tit.)", "Retido titular"},
        {"Saldo ................", "Saldo"},
        {"Mensalão/Poupança sug.", "Antecip.sugerida"}};
    for (const auto& [shown, printed] : lowerRows)
        EXPECT_EQ(printedYear(text, printed), screenYear(lower, shown)) << printed;

    // No page of the print file passes 60 lines, and the PDF has one page
    // for each of them.
    const std::vector<int> pages = linesPerPage(slurp(drive / "NAO-DOS00.TXT"));
    for (size_t page = 0; page < pages.size(); ++page)
        EXPECT_LE(pages[page], 60) << "page " << page + 1;
    EXPECT_EQ(pdfPages, static_cast<int>(pages.size()));
}

// The cash book from April carries January to March; the terms printed on
// their own carry the taxpayer and today's date written out.
TEST_F(DeclarationPrinting, TheBookFromAprilAndTheTermsOnTheirOwn) {
    const std::string book = printToQueue("Livro Caixa P.Física",
                                          {"expect Faixa de meses", "type 3", "type 04", "type 06",
                                           "expect Avança página em cada mês", "key Enter",
                                           "expect Calcula e Imprime saldo anterior", "key Enter"});
    EXPECT_EQ(book.find("CONSULTA 03-"), std::string::npos);
    EXPECT_NE(book.find("Ref. ABR/2025 Pag. 001"), std::string::npos) << book;
    // January 2,180.00 and March 1,930.00 before it; April adds 1,930.00.
    EXPECT_TRUE(std::regex_search(lineOf(book, "Saldo do caixa"), std::regex("4\\.110,00")));
    EXPECT_TRUE(std::regex_search(lineOf(book, "Saldo Acumulado"), std::regex("6\\.040,00")));
    EXPECT_EQ(book.find("T E R M O"), std::string::npos);

    const std::string terms =
        printToQueue("Abertura e Encerra",
                     {"expect Número de paginas", "type 12", "key Enter", "key Enter", "type 1"});
    EXPECT_EQ(pdfPages, 2);
    EXPECT_NE(terms.find("T E R M O   D E   A B E R T U R A"), std::string::npos) << terms;
    EXPECT_NE(terms.find("Ultimo lancamento efetuado em 7 de dezembro de 2026"), std::string::npos);
    EXPECT_NE(terms.find("Este livro contem 12 folhas numeradas sequencialmente de 1 a 12 e"),
              std::string::npos);
    EXPECT_TRUE(std::regex_search(lineOf(terms, "MARIA OLIVEIRA COSTA"),
                                  std::regex("CPF nro 11144477735")));
    EXPECT_NE(terms.find("RUA DAS PALMEIRAS 200 - JARDIM"), std::string::npos);
    EXPECT_TRUE(std::regex_search(terms, std::regex("13010000 +CAMPINAS - SP")));
    EXPECT_NE(terms.find("TEL: (19) 32345678"), std::string::npos);
}

}  // namespace
