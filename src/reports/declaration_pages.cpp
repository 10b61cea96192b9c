#include "reports/declaration_pages.h"

#include <algorithm>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "base/named_values.h"
#include "base/text.h"
#include "printing/output.h"
#include "reports/print_text.h"
#include "reports/summary_print.h"
#include "tax/rural_patrimony.h"
#include "ui/picture.h"

namespace kdx2::reports {

namespace {

constexpr int kLastLine = 57;
constexpr const char* kAmountPicture = "@Ez 999,999,999.99";

std::string amountText(double value) {
    return reports::amountText(value, kAmountPicture);
}

std::string field(const store::Table& table, const char* name) {
    return base::alltrim(table.get(name).text());
}

// The live records of the loaded taxpayer, in table order.
template <typename Visit>
void forEachOfTaxpayer(store::Table& table, Visit visit) {
    const std::string cpf = base::alltrim(base::session().text("CPF"));
    const uint32_t count = table.recCount();
    for (uint32_t recno = 1; recno <= count; ++recno) {
        table.goTo(recno);
        if (!table.deleted() && field(table, "CPF") == cpf) visit(table);
    }
}

// A page that breaks past line 57, starting the next with its heading.
class ListPage {
  public:
    using Heading = std::function<int()>;  // prints it, gives the row after it
    explicit ListPage(std::string section)
        : heading_([section = std::move(section)] { return CABEC_IMP(0, section); }) {}
    explicit ListPage(Heading heading) : heading_(std::move(heading)) {}

    void say(int column, const std::string& text) { printing::output().say(line_, column, text); }
    void next() {
        ++line_;
        if (line_ > kLastLine) {
            printing::output().eject();
            start();
        }
    }
    void start() { line_ = heading_(); }
    void rule(const char* name) {
        say(0, base::session().text(name));
        next();
    }
    void noInformation(const char* text) {
        rule("LIN_DIV1");
        say(0, text);
        next();
        rule("LIN_DIV1");
    }

  private:
    Heading heading_;
    int line_ = 0;
};

struct Payer {
    std::string name;
    std::string number;
    std::string dependant;
    std::array<double, 4> amounts{};  // income, social security, withheld, 13th
    double exempt = 0;                // I1_913
    double exclusive = 0;             // I1_1013, exclusively taxed at the source
};

// The year's figures of an item are its thirteenth elements, the ones the
// yearly summary adds up, so the page and the summary agree.
double yearTotal(const store::Table& item, const char* group) {
    return item.get(std::string(group) + "13").number();
}

std::vector<Payer> companyPayers(store::Table& income, const std::string& kind) {
    std::vector<Payer> payers;
    forEachOfTaxpayer(income, [&](store::Table& item) {
        if (base::asciiUpper(field(item, "I1_1")) != kind) return;
        Payer payer;
        payer.name = field(item, "I1_2");
        payer.number = field(item, "I1_3");
        payer.dependant = field(item, "I1_8");
        payer.amounts = {yearTotal(item, "I1_4"), yearTotal(item, "I1_6"), yearTotal(item, "I1_5"),
                         yearTotal(item, "I1_7")};
        payer.exempt = yearTotal(item, "I1_9");
        payer.exclusive = yearTotal(item, "I1_10");
        payers.push_back(payer);
    });
    if (kind == "D")
        std::stable_sort(payers.begin(), payers.end(),
                         [](const Payer& a, const Payer& b) { return a.dependant < b.dependant; });
    return payers;
}

constexpr std::array<int, 4> kPayerColumns = {64, 81, 102, 117};

// SOMAREN: the sums of a list of payers.
Payer SOMAREN(const std::vector<Payer>& payers) {
    Payer total;
    for (const Payer& payer : payers) {
        for (size_t i = 0; i < total.amounts.size(); ++i)
            total.amounts[i] = base::roundDecimal(total.amounts[i] + payer.amounts[i], 2);
        total.exempt = base::roundDecimal(total.exempt + payer.exempt, 2);
        total.exclusive = base::roundDecimal(total.exclusive + payer.exclusive, 2);
    }
    return total;
}

// The TOTAL line: the four columns' sums, and in the room left of them the
// exempt and the exclusively taxed income when the payers had any.
void totalLine(ListPage& page, const Payer& total) {
    page.say(1, "TOTAL");
    if (total.exempt != 0) page.say(8, "Isentos " + amountText(total.exempt));
    if (total.exclusive != 0) page.say(32, "Trib.Fonte " + amountText(total.exclusive));
    for (size_t i = 0; i < total.amounts.size(); ++i)
        page.say(kPayerColumns[i], amountText(total.amounts[i]));
    page.next();
}

// TRIBUPJ for one kind of company income.
void TRIBUPJ(ListPage& page, store::Table& income, bool dependants) {
    page.rule("LIN_DIV1");
    page.say(0, std::string("RENDIMENTOS TRIBUTAVEIS RECEBIDOS DE PESSOAS JURIDICAS PELO") +
                    (dependants ? "S DEPENDENTES" : " TITULAR"));
    page.next();
    const std::vector<Payer> payers = companyPayers(income, dependants ? "D" : "J");
    if (payers.empty()) {
        page.noInformation("Sem informacoes");
        return;
    }
    printing::output().condensed();
    page.say(0,
             "       NOME DA FONTE PAGADORA               CNPJ/CPF          REND. RECEBIDOS  "
             "  CONTR.PREVID.    IMPOSTO NA FONTE    13ro SALARIO");
    page.next();
    std::string group = "\x01";
    for (const Payer& payer : payers) {
        if (dependants && payer.dependant != group) {
            group = payer.dependant;
            page.say(1, "CPF do dependente: " + group);
            page.next();
        }
        page.say(1, base::padRight(payer.name, 40).substr(0, 40));
        page.say(42, payer.number);
        for (size_t i = 0; i < payer.amounts.size(); ++i)
            page.say(kPayerColumns[i], amountText(payer.amounts[i]));
        page.next();
    }
    page.rule("LIN_DIV2");
    totalLine(page, SOMAREN(payers));
    printing::output().normal();
}

std::string dependantName(store::Table& dependants, const std::string& cpf, int number) {
    std::string name;
    forEachOfTaxpayer(dependants, [&](store::Table& row) {
        if (!name.empty()) return;
        const bool byCpf = !cpf.empty() && field(row, "CPFDEPEN") == cpf;
        const bool byNumber =
            cpf.empty() && number > 0 && static_cast<int>(row.get("NRODEPEN").number()) == number;
        if (byCpf || byNumber) name = field(row, "NOMEDEPEN");
    });
    return name;
}

// The monthly summary records of the carnê-leão: one line per month and
// the totals (the fourth column, the deductions, is not summed).
void monthlyIncome(ListPage& page, store::Table& monthly) {
    constexpr std::array<int, 6> columns = {7, 19, 31, 43, 55, 67};
    constexpr const char* kMonthPicture = "@Ez 9999,999.99";
    page.rule("LIN_DIV1");
    page.say(0, "RENDIMENTOS TRIBUTAVEIS RECEBIDO DE P. FISICAS E EXTERIOR PELO TITULAR");
    page.next();
    std::array<double, 6> totals{};
    bool any = false;
    forEachOfTaxpayer(monthly, [&](store::Table& record) {
        if (!any) {
            page.say(0,
                     "  MES  PES. FISICA  EXTERIOR   LIVRO CAIXA DEP+PRE+PEN   LEAO PAGO  LEAO "
                     "DEV.*  ");
            page.next();
            any = true;
        }
        const int month = static_cast<int>(record.get("MES").number());
        const std::string name = month >= 1 && month <= 12 ? monthName(month).substr(0, 3) : "   ";
        page.say(0, (month < 10 ? "0" : "") + std::to_string(month) + "-" + name);
        for (size_t i = 0; i < columns.size(); ++i) {
            const double amount = record.get("I2_" + std::to_string(i + 1)).number();
            page.say(columns[i], reports::amountText(amount, kMonthPicture));
            totals[i] = base::roundDecimal(totals[i] + amount, 2);
        }
        page.next();
    });
    if (!any) {
        page.noInformation("Sem Informacoes");
        return;
    }
    page.say(0, "TOTAIS");
    for (size_t i = 0; i < columns.size(); ++i)
        if (i != 3) page.say(columns[i], reports::amountText(totals[i], kMonthPicture));
    page.next();
}

// CABECRUR: the rural page's heading.
int CABECRUR() {
    const base::NamedValues& s = base::session();
    printing::PrintOutput& out = printing::output();
    out.say(0, 0, s.text("LIN_DIV1"));
    out.say(1, 0, "Nome:" + base::alltrim(s.text("NOMECONTR")));
    out.say(1, 65, base::alltrim(s.text("CPF")));
    out.say(2, 0, "ATIVIDADE RURAL ");
    out.say(2, 46, "IMPOSTO DE RENDA - PESSOA FISICA");
    out.say(3, 0, s.text("LIN_DIV1"));
    return 4;
}

std::string picture(double value, const char* mask) {
    return reports::amountText(value, mask);
}

void properties(ListPage& page, store::Table& table) {
    page.say(0, "DADOS E IDENTIFICACAO DA ATIVIDADE E DO IMOVEL EXPLORADO ");
    page.next();
    forEachOfTaxpayer(table, [&](store::Table& p) {
        page.say(0, base::padLeft(std::to_string(static_cast<int>(p.get("I2_00").number())), 3));
        page.say(5, picture(p.get("I2_04").number(), "@ZE 999.99"));
        page.say(13, std::to_string(static_cast<int>(p.get("I2_05").number())));
        page.say(16, base::padRight(field(p, "I2_01"), 60).substr(0, 60));
        page.next();
        page.say(5, "Area: " + picture(p.get("I2_02").number(), "@ZE 999,999.9"));
        page.say(26, "Registro: " + ui::transform(p.get("I2_03"), "@R 9999999.9").text());
        page.say(48, base::padRight(field(p, "I2_06"), 31).substr(0, 31));
        page.next();
    });
}

void months(ListPage& page, const std::array<double, 12>& revenue,
            const std::array<double, 12>& expenses) {
    page.rule("LIN_DIV1");
    page.say(0, "RECEITAS E DESPESAS");
    page.next();
    page.say(0, " MES        RECEITA BRUTA MENSAL              DESPESAS DE CUSTEIO/INVESTIMENTO");
    page.next();
    double totalRevenue = 0;
    double totalExpenses = 0;
    for (size_t m = 0; m < 12; ++m) {
        page.say(1, monthName(static_cast<int>(m) + 1));
        page.say(18, amountText(revenue[m]));
        page.say(56, amountText(expenses[m]));
        page.next();
        totalRevenue = base::roundDecimal(totalRevenue + revenue[m], 2);
        totalExpenses = base::roundDecimal(totalExpenses + expenses[m], 2);
    }
    page.say(1, "TOTAL");
    page.say(18, amountText(totalRevenue));
    page.say(56, amountText(totalExpenses));
    page.next();
}

void valueLine(ListPage& page, const std::string& label, double value) {
    page.say(1, label);
    page.say(64, amountText(value));
    page.next();
}

void result(ListPage& page, const tax::RuralResult& r, int year) {
    page.rule("LIN_DIV1");
    page.say(0, "APURACAO DO RESULTADO");
    page.next();
    valueLine(page, "Saldo de prejuizo(s) a compensar", r.I4_04);
    valueLine(page, "Receita Bruta Total", r.I4_01);
    valueLine(page, "Despesas de custeio e investimentos", r.I4_02);
    valueLine(page, "Resultado", r.I4_03);
    valueLine(page, "Limite de 20% da Receita Bruta", base::roundDecimal(r.I4_01 * 0.2, 2));
    valueLine(page, "Compensacao de prejuizo(s) anterior(es)", r.I4_05);
    page.say(1, std::string("Opcao pela forma de apuracao - ") +
                    (r.OPTA ? "Pelo Limite de 20% da receita" : "Pelo Resultado"));
    page.next();
    valueLine(page, "RESULTADO TRIBUTAVEL", r.I4_06);
    page.rule("LIN_DIV1");
    page.say(0, "INFORMACOES PARA O EXERCICIO SEGUINTE ");
    page.next();
    valueLine(page, "Prejuizo a compensar", r.I5_08);
    valueLine(
        page,
        "Receita recebida em " + std::to_string(year) + " por conta de venda p/entrega futura",
        r.I5_09);
    page.rule("LIN_DIV1");
    page.say(0, "APURACAO DO RESULTADO NAO-TRIBUTAVEL");
    page.next();
    valueLine(page,
              "Adiantamento em ate " + std::to_string(year - 1) + " ref. a produtos entregue em " +
                  std::to_string(year),
              r.I5_10);
    valueLine(page, "RESULTADO NAO-TRIBUTAVEL", r.I6_10);
}

void dependantsList(ListPage& page, store::Table& dependants) {
    page.rule("LIN_DIV1");
    page.say(0, "RELACAO DE DEPENDENTES e/ou ALIMENTANDOS ");
    page.next();
    page.say(0, "COD  NOME DO DEPENDENTE");
    page.say(50, "NASCIMENTO");
    page.say(65, "CPF");
    page.next();
    forEachOfTaxpayer(dependants, [&](store::Table& d) {
        page.say(0,
                 base::padLeft(std::to_string(static_cast<int>(d.get("CODIDEPEN").number())), 3));
        page.say(5, base::padRight(field(d, "NOMEDEPEN"), 41).substr(0, 41));
        const base::Date birth = d.get("DATADEPEN").date();
        page.say(50, birth.empty() ? "" : birth.dtoc());
        page.say(65, field(d, "CPFDEPEN"));
        page.next();
    });
}

}  // namespace

bool printRuralPage(store::Table& rural, store::Table& propertyTable, store::Table& dependants) {
    bool found = false;
    forEachOfTaxpayer(rural, [&](store::Table&) { found = true; });
    bool anyProperty = false;
    forEachOfTaxpayer(propertyTable, [&](store::Table&) { anyProperty = true; });
    if (!found && !anyProperty) return false;
    std::array<double, 12> revenue{};
    std::array<double, 12> expenses{};
    tax::RuralResult r;
    forEachOfTaxpayer(rural, [&](store::Table& t) {
        for (int m = 1; m <= 12; ++m) {
            const std::string nn = (m < 10 ? "0" : "") + std::to_string(m);
            revenue[static_cast<size_t>(m - 1)] = t.get("I3_" + nn + "OR").number();
            expenses[static_cast<size_t>(m - 1)] = t.get("I3_" + nn + "OD").number();
        }
        r.I4_04 = t.get("I4_04").number();
        r.OPTA = base::asciiUpper(field(t, "OPTA")) == "S";
        r.I5_09 = t.get("I5_09").number();
        r.I5_10 = t.get("I5_10").number();
    });
    double totalRevenue = 0;
    double totalExpenses = 0;
    for (size_t m = 0; m < 12; ++m) {
        totalRevenue += revenue[m];
        totalExpenses += expenses[m];
    }
    // The result is worked out again from the months as printed, so the
    // page always agrees with itself.
    tax::computeRuralResult(r, totalRevenue, totalExpenses);
    ListPage page{ListPage::Heading(CABECRUR)};
    page.start();
    properties(page, propertyTable);
    months(page, revenue, expenses);
    result(page, r, base::session().integer("QUEANO"));
    dependantsList(page, dependants);
    return true;
}

void printIncomePage(store::Table& income, store::Table& monthly) {
    ListPage page("Rendimentos Tributaveis recebidos de pessoas juridicas");
    page.start();
    TRIBUPJ(page, income, false);
    TRIBUPJ(page, income, true);
    monthlyIncome(page, monthly);
}

void printPaymentsPage(store::Table& payments, store::Table& dependants) {
    ListPage page("Relacao dos Pagamentos e Doacoes Efetuadas ");
    page.start();
    bool any = false;
    forEachOfTaxpayer(payments, [&](store::Table& payment) {
        if (!any) {
            printing::output().condensed();
            page.say(0,
                     "CODIGO       NOME DO BENEFICIARIO                                 CPF ou "
                     "CNPJ             VALOR PAGO          PARC. NAO DEDUTIVEL");
            page.next();
            any = true;
        }
        page.say(2,
                 base::padLeft(std::to_string(static_cast<int>(payment.get("I6_3").number())), 2));
        page.say(13, base::padRight(field(payment, "I6_1"), 50).substr(0, 50));
        page.say(66, field(payment, "I6_2"));
        page.say(88, amountText(payment.get("I6_4").number()));
        page.say(117, amountText(payment.get("I6_5").number()));
        const std::string dependantCpf = field(payment, "I6_7");
        const int number = static_cast<int>(payment.get("I6_6").number());
        const std::string name = dependantName(dependants, dependantCpf, number);
        page.next();
        if (!name.empty()) {
            page.say(13, "Nome do dependente/alimentando: " + name);
            page.next();
        }
    });
    if (any)
        printing::output().normal();
    else
        page.noInformation("Sem informacoes");
}

}  // namespace kdx2::reports
