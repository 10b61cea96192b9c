#include "reports/declaration_pages.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "base/named_values.h"
#include "base/text.h"
#include "printing/output.h"
#include "reports/print_text.h"
#include "reports/summary_print.h"

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
    explicit ListPage(std::string section) : section_(std::move(section)) {}

    void say(int column, const std::string& text) { printing::output().say(line_, column, text); }
    void next() {
        ++line_;
        if (line_ > kLastLine) {
            printing::output().eject();
            start();
        }
    }
    void start() { line_ = CABEC_IMP(0, section_); }
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
    std::string section_;
    int line_ = 0;
};

struct Payer {
    std::string name;
    std::string number;
    std::string dependant;
    std::array<double, 4> amounts{};  // income, social security, withheld, 13th
};

std::vector<Payer> companyPayers(store::Table& income, const std::string& kind) {
    std::vector<Payer> payers;
    forEachOfTaxpayer(income, [&](store::Table& item) {
        if (base::asciiUpper(field(item, "I1_1")) != kind) return;
        Payer payer;
        payer.name = field(item, "I1_2");
        payer.number = field(item, "I1_3");
        payer.dependant = field(item, "I1_8");
        payer.amounts = {item.get("I1_4").number(), item.get("I1_6").number(),
                         item.get("I1_5").number(), item.get("I1_7").number()};
        payers.push_back(payer);
    });
    if (kind == "D")
        std::stable_sort(payers.begin(), payers.end(),
                         [](const Payer& a, const Payer& b) { return a.dependant < b.dependant; });
    return payers;
}

constexpr std::array<int, 4> kPayerColumns = {64, 81, 102, 117};

// TRIBUPJ and SOMAREN for one kind of company income.
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
    std::array<double, 4> totals{};
    std::string group = "\x01";
    for (const Payer& payer : payers) {
        if (dependants && payer.dependant != group) {
            group = payer.dependant;
            page.say(1, "CPF do dependente: " + group);
            page.next();
        }
        page.say(1, base::padRight(payer.name, 40).substr(0, 40));
        page.say(42, payer.number);
        for (size_t i = 0; i < totals.size(); ++i) {
            page.say(kPayerColumns[i], amountText(payer.amounts[i]));
            totals[i] = base::roundDecimal(totals[i] + payer.amounts[i], 2);
        }
        page.next();
    }
    page.rule("LIN_DIV2");
    page.say(1, "TOTAL");
    for (size_t i = 0; i < totals.size(); ++i)
        page.say(kPayerColumns[i], amountText(totals[i]));
    page.next();
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

}  // namespace

void printIncomePage(store::Table& income) {
    ListPage page("Rendimentos Tributaveis recebidos de pessoas juridicas");
    page.start();
    TRIBUPJ(page, income, false);
    TRIBUPJ(page, income, true);
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
