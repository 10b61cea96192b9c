#include "reports/summary_print.h"

#include <array>

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/text.h"
#include "printing/output.h"
#include "reports/print_text.h"

namespace kdx2::reports {

using namespace base::literals;

namespace {

constexpr int kPrintedRows = 28;
constexpr int kCellWidth = 16;
constexpr int kLastLine = 57;

std::string trimmed(const char* name) {
    return base::alltrim(base::session().text(name));
}

std::string border() {
    std::string line = "+";
    for (int i = 0; i < 8; ++i)
        line += std::string(kCellWidth, '-') + "+";
    return line;
}

std::string monthHead(int month) {
    const std::string first = monthName(month).substr(0, 7);
    const std::string later = monthName(month + 6).substr(0, 8);
    return base::padRight(first + "/" + later, kCellWidth) + "|";
}

std::string cell(const std::string& text) {
    return base::padLeft(base::rtrim(text), kCellWidth - 1) + " |";
}

class SummaryPage {
  public:
    explicit SummaryPage(const tax::Summary& summary) : summary_(summary) {}

    void print() {
        printing::PrintOutput& out = printing::output();
        out.condensed();
        heading();
        const std::string QUALMENS = base::session().text("QUALMENS");
        for (int row = 1; row <= kPrintedRows; ++row) {
            if (line_ + 2 > kLastLine) {
                say(0, border());
                out.eject();
                heading();
            }
            MOSLIN(row, QUALMENS);
        }
        say(0, border());
        out.normal();
        identification();
    }

  private:
    // MOSLIN: one row of the summary on two lines, the label, the year and
    // January to June, then July to December under the months.
    void MOSLIN(int row, const std::string& QUALMENS) {
        std::string first =
            "|" + base::padRight(MAT_IMPRE(row, QUALMENS, summary_.labels[row]), kCellWidth) + "|" +
            cell(summary_.text(row, tax::Summary::kYear));
        std::string second =
            "|" + std::string(kCellWidth, ' ') + "|" + std::string(kCellWidth, ' ') + "|";
        for (int month = 1; month <= 6; ++month) {
            first += cell(summary_.text(row, month));
            second += cell(summary_.text(row, month + 6));
        }
        say(0, first);
        say(0, second);
    }

    void say(int column, const std::string& text) {
        printing::output().say(line_, column, text);
        ++line_;
    }

    void heading() {
        line_ = CABEC_IMP(0, "");
        say(0, base::rtrim("Resumo geral do CPF " + trimmed("CPF") + "  " + AVISO1(summary_)));
        say(0, border());
        std::string head = "|Valores em  Real|" + base::padRight(" Total do Ano", kCellWidth) + "|";
        for (int month = 1; month <= 6; ++month)
            head += monthHead(month);
        say(0, head);
        say(0, border());
    }

    void field(const std::string& label, const std::string& value) {
        if (line_ > kLastLine) {
            printing::output().eject();
            line_ = CABEC_IMP(0, "");
        }
        printing::output().say(line_, 5, label);
        printing::output().say(line_, 35, value);
        ++line_;
    }

    void identification() {
        ++line_;
        field("IDENTIFICACAO DO CONTRIBUINTE", "");
        field("CPF:", trimmed("CPF"));
        field("Nome:", trimmed("NOMECONTR"));
        const base::Value birth = base::session().get("NASCIMENTO");
        field("Data de nascimento:", birth.isDate() ? birth.date().dtoc() : "");
        field("Titulo Eleitoral:", trimmed("TITULO"));
        field("CPF do conjuge:", trimmed("CPFCONJU"));
        field("Endereco:", base::alltrim(trimmed("TIPOEND") + " " + trimmed("ENDERECO") + " " +
                                         trimmed("NUMERO")));
        field("Complemento:", trimmed("COMPLEM"));
        field("Bairro/Distrito:", trimmed("BAIRRO"));
        field("Municipio:", trimmed("MUNICIPIO"));
        field("UF:", trimmed("UF"));
        field("Pais:", trimmed("CODPAIS"));
        field("Cod. Ext:", trimmed("CODEMB"));
        field("Correio Eletronico(e-mail):", trimmed("EMAIL"));
        field("Natureza da ocupacao:", trimmed("NATUREZA"));
        field("Ocupacao principal:", trimmed("CODPRO"));
    }

    const tax::Summary& summary_;
    int line_ = 0;
};

}  // namespace

std::string AVISO1(const tax::Summary& summary) {
    // On the screen a whole year draws a rule over the note; on paper a
    // whole year simply has no note.
    if (summary.note == tax::MOSTMEDIA(12)) return "";
    return base::rtrim(summary.note);
}

int CABEC_IMP(int row, const std::string& section) {
    const base::NamedValues& s = base::session();
    printing::PrintOutput& out = printing::output();
    out.say(row++, 0, s.text("LIN_DIV1"));
    out.say(row, 0, "DECLARACAO DE RENDIMENTOS DE ");
    out.say(row, 30, base::padRight(base::cp850::upper(trimmed("NOMECONTR")), 40).substr(0, 40));
    out.say(row++, 73, std::to_string(s.integer("QUEANO")));
    out.say(row++, 0, s.text("LIN_DIV1"));
    if (section.empty()) return row;
    out.say(row++, 0, section);
    out.say(row++, 0, s.text("LIN_DIV1"));
    return row;
}

std::string MAT_IMPRE(int row, const std::string& QUALMENS, const std::string& label) {
    static const std::array<const char*, kPrintedRows> labels = {
        "P.Juridicas Tit.", "P.Juridicas Dep.", "P.Fisicas       ", "Exterior        ",
        "Ativid. Rural   ", "Total rendimento", "Previd. Oficial ", "Previd. Privada ",
        "Dependentes     ", "Livro Caixa     ", "Pensao judicial ", "Deduc. mensais  ",
        "Desp. medicas   ", "Desp. instrucao ", "Subtotal        ", "Deduc. anuais   ",
        "Desc. simplific.", "Base de calculo ", "Imposto         ", "Deduc.incentivos",
        "Imposto devido  ", "Retido titular  ", "Retido dependent", "Carne Leao pago ",
        "Mensalao pago   ", "Saldo           ", "Carne Leao devid", "Antecip.sugerida"};
    if (row < 1 || row > kPrintedRows) return std::string(kCellWidth, ' ');
    // A label the summary made for the cell (the incentives' row with the
    // simplified discount) needs no shortening; the screen's labels are
    // wider.
    if (!label.empty() && label.size() <= static_cast<size_t>(kCellWidth))
        return base::padRight(label, kCellWidth);
    if (row == kPrintedRows && base::alltrim(QUALMENS) == "2") return "Mens. a recolher";
    return labels[static_cast<size_t>(row - 1)];
}

void printSummaryPage(const tax::Summary& summary) {
    SummaryPage(summary).print();
}

}  // namespace kdx2::reports
