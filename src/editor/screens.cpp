#include <algorithm>
#include <map>

#include "base/cp850.h"
#include "base/error.h"
#include "base/text.h"
#include "common/messages.h"
#include "common/windows.h"
#include "editor/browse.h"
#include "editor/engine.h"
#include "editor/field_checks.h"
#include "platform/console/keys.h"
#include "store/access.h"
#include "store/table.h"
#include "store/table_numbers.h"
#include "store/work_areas.h"
#include "ui/dialog.h"
#include "ui/screen.h"

// The catalogue of list screens: for each screen code its table (or
// matrix), filter, columns, window and footer.
namespace kdx2::editor {

namespace keys = platform::keys;
using namespace base::literals;

namespace {

constexpr int kStatusWindow = 4;  // the frame around the status codes

// Bytes 2 and 1 switch the footer's highlight on and off.
const std::string kOn = "\x02";
const std::string kOff = "\x01";

const char* const kAmount = "@Ez 99,999,999.99";
const char* const kWideAmount = "@Ez 999,999,999.99";
const char* const kCpfPicture = "@R 999.999.999-99";

BrowseColumn col(const std::string& headingUtf8, const std::string& field,
                 const std::string& picture, const std::string& display = "") {
    return BrowseColumn{display.empty() ? field : display, field, picture,
                        base::cp850::fromUtf8(headingUtf8)};
}

// The footer on the bottom line, the rest of the line cleared.
void footer(const std::string& text) {
    const auto markers =
        std::count_if(text.begin(), text.end(), [](char c) { return c == kOn[0] || c == kOff[0]; });
    common::ESCRJAN(0, base::padRight(text, 80 + static_cast<size_t>(markers)));
}

struct Window {
    int top, left, bottom, right;
    BrowseFrame frame;
};

// A table screen ready to run.
struct TableScreen {
    int area = 0;
    std::function<bool(store::Table&)> filter;
    BrowseDescription description;
    Window window{};
    int startMonth = 0;  // open on the first entry of this month
};

std::string monthHeading(int month) {
    static const char* const names[] = {" Janeiro  ", " Fevereiro", " Março    ", " Abril    ",
                                        " Maio     ", " Junho    ", " Julho    ", " Agosto   ",
                                        " Setembro ", " Outubro  ", " Novembro ", " Dezembro "};
    return names[month - 1];
}

std::string monthName(int month) {
    static const char* const names[] = {"Janeiro",  "Fevereiro", "Março",    "Abril",
                                        "Maio",     "Junho",     "Julho",    "Agosto",
                                        "Setembro", "Outubro",   "Novembro", "Dezembro"};
    return names[month - 1];
}

bool textIs(const store::Table& t, const char* field, std::string_view value) {
    return base::rtrim(t.get(field).text()) == value;
}

// ---- The income and entry screens --------------------------------------------

TableScreen income(bool dependants) {
    TableScreen s;
    s.area = store::tables::scratch(store::tables::kIncome);
    const std::string kind = dependants ? "D" : "J";
    s.filter = [kind](store::Table& t) { return textIs(t, "I1_1", kind); };
    settings().set("I1_1", kind);
    call(hooks().SOMA_JUR, 1);
    auto& c = s.description.columns;
    if (!dependants) {
        c = {col("Fonte pagadora", "I1_2", "@S40", "substr(I1_2,1,21)"),
             col("Rendimentos", "I1_413", kAmount),
             col("Previdência", "I1_613", kAmount),
             col("Imposto Fonte", "I1_513", kAmount),
             col("13ro salário", "I1_713", kAmount),
             col("Lucros Dist", "I1_1113", kAmount),
             col("CNPJ/CPF ", "I1_3", "@S18"),
             col("Conta", "CDCONTA", "@r 9.999")};
        s.window = {1, 1, 12, 79, BrowseFrame::None};
    } else {
        c = {col("Nome Fonte Pagadora", "I1_2", "@S40", "substr(I1_2,1,21)"),
             col("Rendimentos", "I1_4", kAmount),
             col("Previdência", "I1_6", kAmount),
             col("Imposto Fonte", "I1_5", kAmount),
             col("13ro Salário", "I1_7", kAmount),
             col("Isentos", "I1_9", kAmount),
             col("Trib.Fonte", "I1_10", kAmount),
             col("Lucro Distr.", "I1_11", kAmount),
             col("CNPJ Fonte", "I1_3", "@S18"),
             col("CPF Dependente", "I1_8", kCpfPicture),
             col("Conta", "CDCONTA", "@R 9.999")};
        s.window = {13, 1, 21, 79, BrowseFrame::None};
    }
    s.description.footingLine = true;
    footer(kOn + "INS" + kOff + " - Inclui linha " + kOn + "DEL" + kOff + " - Elimina linha " +
           kOn + "TAB" + kOff + " - Proxima pagina");
    return s;
}

// The entries behind one cell of the month-by-month receipts.
TableScreen monthEntries() {
    base::NamedValues& st = settings();
    TableScreen s;
    s.area = store::tables::scratch(store::tables::kIncome);
    const int column = st.integer("POSHORMAT");
    const int month = std::clamp(st.integer("POSVERMAT"), 1, 12);
    const BrowseColumn date = col("Data", "DT_LC", "@D", "substr(dtoc(DT_LC),1,5)");
    const BrowseColumn value = col("Valor", "I1_413", "@Ez 9999,999.99");
    const BrowseColumn account = col("Conta", "CDCONTA", "@R 9.999");
    auto& c = s.description.columns;
    std::string kind, credit;
    switch (column) {
        case 2:
            kind = "F";
            credit = "C";
            c = {date,
                 col("Descrição das Receitas ", "I1_2", "@S44", "substr(I1_2,1,31)"),
                 value,
                 account,
                 col("Tipo", "I1_41", "@!"),
                 col("CPF titular", "I1_3", kCpfPicture),
                 col("Beneficiario", "CPFBENF", kCpfPicture)};
            break;
        case 3:
            kind = "E";
            credit = "C";
            c = {date, col("Nome da fonte no exterior", "I1_2", "@S44", "substr(I1_2,1,44)"), value,
                 account};
            break;
        case 4:
            kind = "L";
            credit = "D";
            c = {date, col("Descrição das despesas", "I1_2", "@S44", "substr(I1_2,1,32)"), value,
                 account, col("CPF / CNPJ", "I1_3", "@s18")};
            break;
        case 5:
        case 6: {
            kind = column == 5 ? "P" : "I";
            c = {col(column == 5 ? " Previdência" : " Recebedor", "I1_2", "@S44",
                     "substr(I1_2,1,29)")};
            for (int m = 1; m <= 12; ++m) {
                const std::string field =
                    "I1_4" + std::string(m < 10 ? "0" : "") + std::to_string(m);
                c.push_back(col(monthHeading(m), field, kWideAmount));
            }
            break;
        }
        default:
            return s;  // no entries behind this column
    }
    st.set("I1_1", kind);
    if (!credit.empty()) st.set("TIPOCR", credit);
    if (column == 4) {
        // The cash-book column also lists other expenses and the entries
        // kept out of the book.
        s.filter = [](store::Table& t) {
            return (textIs(t, "I1_1", "L") || textIs(t, "I1_1", "O")) &&
                   (textIs(t, "TIPOCR", "D") || textIs(t, "TIPOCR", "N"));
        };
    } else if (column <= 3) {
        s.filter = [kind, credit](store::Table& t) {
            return textIs(t, "I1_1", kind) && textIs(t, "TIPOCR", credit);
        };
    } else {
        s.filter = [kind](store::Table& t) { return textIs(t, "I1_1", kind); };
    }
    if (column >= 5) {
        s.window = {8, 2, 14, 77, BrowseFrame::None};
        footer(kOn + "TAB" + kOff + " Volta");
    } else {
        s.window = {5, 1, 18, 77, BrowseFrame::None};
        s.startMonth = month;
    }
    return s;
}

TableScreen ruralEntries() {
    base::NamedValues& st = settings();
    TableScreen s;
    s.area = store::tables::scratch(store::tables::kIncome);
    const std::string credit = base::alltrim(st.text("TIPOCR"));
    s.filter = [credit](store::Table& t) {
        return textIs(t, "I1_1", "R") && textIs(t, "TIPOCR", credit);
    };
    call(hooks().SOMA_RUR, 2);
    const int mode = st.integer("TIPO_LANCA");
    const std::string heading =
        std::string("Descrição ") + (credit == "C" ? "do Rendimento" : "da Despesa   ");
    const BrowseColumn date = col("Data", "DT_LC", "@D", "substr(dtoc(DT_LC),1,5)");
    auto& c = s.description.columns;
    if (mode == 2) {
        c = {date,
             col(heading, "I1_2", "@S30"),
             col("Valor", "I1_413", kWideAmount),
             col("Imo", "NROIMO", "@Z 99"),
             col("CPF/CNPJ", "I1_3", "@S18"),
             col("Doc", "TIPODOC", "@Z 9"),
             col("Documento", "NUM_DOC", "@S10"),
             col("Banco", "COD_CONTA", "@L 999"),
             col("Pl.Conta", "CDCONTA", "@R 9.999")};
        s.description.lastEditable = 8;
    } else {
        c = {date, col(heading, "I1_2", "@S44"), col("Valor", "I1_413", kWideAmount),
             col("Conta", "CDCONTA", "@R 9.999"), col("Imo", "NROIMO", "99")};
    }
    s.window = {5, 1, 18, 77, BrowseFrame::None};
    return s;
}

// ---- The other table screens ---------------------------------------------------------

TableScreen dependantsScreen() {
    TableScreen s;
    s.area = store::tables::scratch(store::tables::kDependants);
    s.description.columns = {col("Nro", "NroDepen", "@ez 99"),
                             col("Nome Completo", "NomeDepen", "@S43"),
                             col("Cód", "CODIDEPEN", "@EZ 99"), col("Nascim.", "DATADEPEN", "@d"),
                             col("CPF", "CPFDEPEN", kCpfPicture)};
    s.description.frozen = 1;
    s.window = {5, 0, 20, 79, BrowseFrame::Slot2};
    footer(kOn + "INS" + kOff + " - Inclui linha " + kOn + "DEL" + kOff + " - Elimina linha " +
           kOn + "Espólio AltZ-Zoom"_cp + kOff);
    return s;
}

TableScreen paymentsScreen() {
    TableScreen s;
    s.area = store::tables::scratch(store::tables::kPayments);
    s.description.columns = {col("Nome do beneficiário", "I6_1", "@S50", "substr(I6_1,1,21)"),
                             col("Cod", "I6_3", "@ 99"),
                             col("Nro", "I6_6", "@99"),
                             col(" CPF ou CNPJ", "I6_2", "@S18"),
                             col("Total ", "I6_4", kAmount),
                             col("Não Dedutí.", "I6_5", kAmount)};
    s.description.footingLine = true;
    s.window = {3, 0, 23, 79, BrowseFrame::None};
    footer(kOn + "[Shift Tab]" + kOff + " - Volta para Dependentes");
    return s;
}

TableScreen ruralPropertiesScreen() {
    TableScreen s;
    s.area = store::tables::scratch(store::tables::kRuralProperties);
    s.description.columns = {col("Cod", "I2_07", "@z 99"),
                             col("% Part", "I2_04", "@Z 999.99"),
                             col("Cond", "I2_05", "@z 9"),
                             col("Nome do Imóvel", "I2_01", "@s54", "substr(I2_01,1,18)"),
                             col("Local do Imóvel   ", "I2_06", "@S35", "substr(I2_06,1,18)"),
                             col("Area (ha)", "I2_02", "@ez 999,999.9"),
                             col("Nr. R.Fed", "i2_03", "@r 9999999.9")};
    s.description.footingLine = true;
    s.window = {4, 0, 20, 78, BrowseFrame::None};
    return s;
}

TableScreen bankAccountsScreen() {
    TableScreen s;
    s.area = store::tables::scratch(store::tables::kBankAccounts);
    s.description.columns = {col("Cod", "COD_CONTA", "@L 999"),
                             col("Nr.Banco", "NRO_BANCO", "@L 999"),
                             col("Nome do Banco", "NOM_BANCO", "@S30"),
                             col("Agen.", "NRO_AGENC", "@L 9999"),
                             col("Conta", "NRO_CONTA", "@R 999999999999999-9"),
                             col("País", "PAIS_CTA", "!!!")};
    s.window = {5, 1, 18, 79, BrowseFrame::Slot2};
    footer(kOn + "Alt B" + kOff + " = mostra lista dos Bancos");
    return s;
}

TableScreen cashBookScreen() {
    TableScreen s;
    s.area = store::tables::scratch(store::tables::kCashBook);
    s.description.columns = {col("Cod.", "CDCONTA", "@R 9.999"),
                             col("Descrição", "DESCONTA", "@S40", "substr(DESCONTA,1,40)"),
                             col("Valor ", "VALODESP", kAmount),
                             col("Data", "DATALAN", "@d"),
                             col("Mês", "MESLAN", "@z 99"),
                             col("CPF ou CPNJ", "NROCGCCPF", "@s18"),
                             col("tipo", "TIPODOC", "@ 9"),
                             col("Banco", "COD_CONTA", "@Z 999"),
                             col("Documento", "NUM_DOC", "@s10", "substr(NUM_DOC,1,10)"),
                             col("N.Imov", "NROIMO", "@Z 99"),
                             col("Lan.", "LANCADO", "@!")};
    s.window = {2, 3, 20, 75, BrowseFrame::Slot6};
    return s;
}

TableScreen accountsChartScreen() {
    TableScreen s;
    s.area = store::tables::kAccounts;
    s.description.columns = {col("Cod.", "CDCONTA", "@R 9.999"),
                             col("Descrição", "NMDESCRICA", "@S62", "substr(NMDESCRICA,1,62)"),
                             col("Posi", "CDSTATUS", "@!"),
                             col("Pág.", "PAGINA", "@Z99"),
                             col("Lin.", "LINHA", "@z99"),
                             col("Cpf?", "TEMCPF", "@!"),
                             col("Cnpj?", "TEMCGC", "@!"),
                             col("L.CX.", "LIVROCX", "@!"),
                             col("Desc.", "TEMDESCR", "@!")};
    s.window = {7, 3, 20, 75, BrowseFrame::Slot6};
    return s;
}

TableScreen foldersScreen() {
    TableScreen s;
    s.area = store::tables::kFolderList;
    s.description.columns = {col("SEL.", "SELEC", "@!"), col("Drive e diretório", "DIRETOR", "@!")};
    s.window = {11, 18, 21, 65, BrowseFrame::None};
    return s;
}

// The taxpayers of the data folder, or of a transfer's origin, marked for
// the command in OPCAO_1: transfer (22), deletion (14) or printing.
TableScreen markingScreen() {
    const int command = settings().integer("OPCAO_1");
    TableScreen s;
    s.area = store::tables::kRegister;
    if (command == 22) {
        // The transfer marks its own copy of the origin's register.
        const int copy = store::workAreas().slotOf("TMPT9");
        s.area = copy ? copy : store::tables::scratch(store::tables::kRegister);
    }
    const char* last = command == 22 ? "Transfe" : command == 14 ? "Elimina" : "Imprime";
    s.description.columns = {
        col(" CPF ", "CPF", "@r 999.999.999-99"),
        col(" Nome do Contribuinte ", "NOMECONTR", "@S40", "substr(NOMECONTR,1,40)"),
        col(last, "IMPRE", "@!")};
    s.description.frozen = 2;
    s.description.footingLine = true;
    s.window = {5, 2, 19, 66, BrowseFrame::None};
    footer("Marque com a letra " + kOn + "[S]" + kOff + " nos nomes escolhidos - " + kOn + "Esc" +
           kOff + " termina");
    return s;
}

TableScreen importSelectionScreen() {
    TableScreen s;
    s.area = store::tables::kImportList;
    s.description.columns = {
        col(" CPF ", "CPF", "@r 999.999.999-99"),
        col(" Nome do Contribuinte ", "NOMECONTR", "@S30", "substr(NOMECONTR,1,30)"),
        col("Origem", "ORIGEM", "@s12"), col("Sele.", "IMPRE", "@!"), col("Conv.", "ORDEM", "@ 9")};
    s.description.frozen = 3;
    s.window = {10, 4, 22, 77, BrowseFrame::Slot6};
    footer("Marque " + kOn + "[S]" + kOff + "  " + kOn + "Alt+" + kOff + " todos " + kOn + "Alt-" +
           kOff + " nenhum " + kOn + "Esc" + kOff + " termina |Conv=1 convertido =0 não"_cp);
    return s;
}

// The first entry dated in the month chosen on the receipts grid; the last
// entry when none is.
void positionOnMonth(store::Table& table, int month) {
    table.goTop();
    while (!table.eof()) {
        const base::Date date = table.get("DT_LC").date();
        if (!date.empty() && date.month() == month) return;
        table.skip(1);
    }
    table.goBottom();
}

// The one-time "Dinheiro" account of an empty accounts table.
void ensureCashAccount(store::Table& table) {
    if (!tableIsEmpty(table)) return;
    if (!store::ADD_REC(5)) return;
    table.put("CPF", settings().get("CPF"));
    table.put("COD_CONTA", 0);
    table.put("NRO_BANCO", "000");
    table.put("NOM_BANCO", "Dinheiro");
    table.put("NRO_AGENC", 0);
    table.put("NRO_CONTA", 0);
    table.put("PAIS_CTA", "BR");
    table.unlock();
    table.goTop();
}

// ---- Matrix screens -------------------------------------------------------------------

struct MatrixScreen {
    BrowseDescription description;
    Window window{};
};

MatrixScreen yearlySummaryScreen() {
    MatrixScreen s;
    auto& c = s.description.columns;
    c = {col("Resumo Geral", "", "@s22"), col("  Valor Anual ", "", "@S14")};
    for (int m = 1; m <= 12; ++m)
        c.push_back(col(monthName(m), "", "@S14"));
    s.description.frozen = 1;
    s.description.footingLine = true;
    s.window = {1, 0, 24, 79, BrowseFrame::None};
    ui::say(3, 10, "C a l c u l a n d o ... !!!");
    call(hooks().CALCULA_TUDO, 1);
    writeSummaryFooter();
    return s;
}

// The columns hold the statement's amounts as typed; the labels are its
// lines.
MatrixScreen variableIncomeScreen() {
    MatrixScreen s;
    auto& c = s.description.columns;
    c = {col("Renda Variável", "", "@s24")};
    for (int m = 1; m <= 12; ++m)
        c.push_back(col(monthName(m), "", kWideAmount));
    s.description.frozen = 1;
    s.window = {1, 0, 23, 79, BrowseFrame::None};
    const Hooks& h = hooks();
    writeVariableIncomeFooter(h.RENVAR ? h.RENVAR(0) : std::string());
    return s;
}

MatrixScreen statusCodesScreen() {
    MatrixScreen s;
    s.description.columns = {col("Cod", "", "!"), col("Descrição", "", "@s13")};
    s.window = {10, 42, 22, 62, BrowseFrame::None};
    return s;
}

// "*" marks the carnê-leão column carried to the summary: the tax paid when
// SO_REC is on, the tax owed otherwise.
std::string paidHeading() {
    return settings().flag("SO_REC") ? "Leão Pago*" : "Leão Pago";
}
std::string owedHeading() {
    return settings().flag("SO_REC") ? "CL.Devido" : "CL.Devido*";
}

MatrixScreen monthlyReceiptsScreen() {
    MatrixScreen s;
    s.description.columns = {col("Mês ", "", "@s6"),
                             col("Pes.Física", "", "@Ez 9999,999.99"),
                             col("Exterior", "", "@Ez 9999,999.99"),
                             col("Livro Caixa", "", "@Ez 9999,999.99"),
                             col("Dep/Pre/Pen", "", "@Ez 9999,999.99"),
                             col(paidHeading(), "", "@Ez 9999,999.99"),
                             col(owedHeading(), "", "@Ez 9999,999.99")};
    s.description.lastEditable = 6;
    s.description.frozen = 1;
    s.window = {5, 0, 21, 79, BrowseFrame::None};
    writeReceiptsFooter();
    return s;
}

MatrixScreen ruralReceiptsScreen() {
    MatrixScreen s;
    s.description.columns = {col(" Receita bruta", "", kWideAmount),
                             col("  Despesas    ", "", kWideAmount)};
    s.description.footingLine = true;
    s.window = {3, 31, 20, 61, BrowseFrame::None};
    writeRuralReceiptsFooter();
    return s;
}

MatrixScreen foreignIncomeScreen() {
    MatrixScreen s;
    s.description.columns = {col("Mês Recebim.", "", "@s10"),
                             col(" Valor em Real", "", kWideAmount),
                             col("Valor em US$", "", kWideAmount)};
    s.description.frozen = 1;
    s.window = {5, 10, 21, 54, BrowseFrame::None};
    return s;
}

// ---- The catalogue ---------------------------------------------------------------------

void payerSums() {
    call(hooks().SOMA_JUR, 1);
}
void monthlySums() {
    call(hooks().SOMA_FIS);
}
void ruralSums() {
    call(hooks().SOMA_RUR, 1);
}

bool between(int column, int first, int last) {
    return column >= first && column <= last;
}

// One list screen: what it shows (a table screen or a matrix screen, built
// when it opens) and how it behaves.
struct ScreenEntry {
    std::function<TableScreen()> table;
    std::function<MatrixScreen()> matrix;
    ScreenRules rules;
    // False when the screen has nothing to show now.
    std::function<bool()> available;
    // The global Alt+U action is put back when the screen closes.
    bool restoresAltU = false;
    // Runs on the table before the browse starts.
    std::function<void(store::Table& table)> beforeBrowse;
    // The footer line is cleared when the screen closes.
    bool clearsFooterAfter = false;
    // The title of a dialog drawn behind the browse while it runs.
    std::string dialogTitle;
    // The browse runs inside the status-code window.
    bool statusWindow = false;
};

ScreenEntry incomeEntry(bool dependants) {
    ScreenEntry e;
    e.table = [dependants] { return income(dependants); };
    e.restoresAltU = true;
    e.rules.recompute = payerSums;
    e.rules.enterOpensBreakdown = [](int column) { return between(column, 2, 5); };
    e.rules.breakdownSlot = [dependants](int column) {
        return dependants ? (between(column, 2, 8) ? TRAZ_IND(column, 2) : 0)
                          : (between(column, 2, 6) ? TRAZ_IND(column, 1) : 0);
    };
    e.rules.newRecord = incomeDefaults;
    return e;
}

ScreenEntry dependantsEntry() {
    ScreenEntry e;
    e.table = dependantsScreen;
    e.restoresAltU = true;
    return e;
}

ScreenEntry paymentsEntry() {
    ScreenEntry e;
    e.table = paymentsScreen;
    e.restoresAltU = true;
    e.rules.enterOpensBreakdown = [](int column) { return between(column, 5, 6); };
    e.rules.breakdownSlot = [](int column) { return column >= 4 ? column - 3 : 0; };
    return e;
}

ScreenEntry ruralPropertiesEntry() {
    ScreenEntry e;
    e.table = ruralPropertiesScreen;
    e.restoresAltU = true;
    e.rules.hotSpot = [](GridView&, int row, int column) {
        if (row != 2 || column != 71) return false;
        cycleCashBookModeOnProperties();
        return true;
    };
    return e;
}

ScreenEntry monthEntriesEntry() {
    ScreenEntry e;
    e.table = monthEntries;
    e.rules.recompute = monthlySums;
    e.rules.recomputesAfterDelete = true;
    e.rules.entryTools = true;
    e.rules.rightStopsAt = 14;
    e.rules.leftUnfreezesAt = 2;
    e.rules.breakdownSlot = [](int column) { return column >= 2 ? column - 1 : 0; };
    e.rules.orderKey = [](int, const std::string& field) { return entryColumnKey(field); };
    e.rules.newRecord = incomeDefaults;
    return e;
}

ScreenEntry ruralEntriesEntry() {
    ScreenEntry e;
    e.table = ruralEntries;
    // Totals only: the months have no entries behind them.
    e.available = [] { return settings().integer("TIPO_LANCA") != 1; };
    e.restoresAltU = true;
    e.rules.recompute = ruralSums;
    e.rules.recomputesAfterDelete = true;
    e.rules.entryTools = true;
    e.rules.leftUnfreezesAt = 2;
    e.rules.breakdownSlot = [](int) { return settings().integer("MESATI"); };
    e.rules.orderKey = [](int, const std::string& field) { return entryColumnKey(field); };
    e.rules.newRecord = ruralEntryDefaults;
    return e;
}

ScreenEntry bankAccountsEntry() {
    ScreenEntry e;
    e.table = bankAccountsScreen;
    e.beforeBrowse = ensureCashAccount;
    e.clearsFooterAfter = true;
    e.rules.rightStopsAt = 14;
    e.rules.leftUnfreezesAt = 2;
    e.rules.breakdownSlot = [](int column) { return column >= 2 ? column - 1 : 0; };
    e.rules.banksLookup = true;
    e.rules.compactsBeforeAppend = true;
    e.rules.newRecord = bankAccountDefaults;
    e.rules.builtInRule = [](int column) { return column == 2 ? bankNumberRule() : CellRule{}; };
    return e;
}

ScreenEntry cashBookEntry() {
    ScreenEntry e;
    e.table = cashBookScreen;
    e.rules.functionKeys = FunctionKeys::RedrawAndLeave;
    e.rules.orderKey = [](int column, const std::string&) { return cashBookColumnKey(column); };
    return e;
}

ScreenEntry accountsChartEntry() {
    ScreenEntry e;
    e.table = accountsChartScreen;
    e.rules.functionKeys = FunctionKeys::RedrawAndLeave;
    return e;
}

ScreenEntry foldersEntry() {
    ScreenEntry e;
    e.table = foldersScreen;
    e.dialogTitle = "Pastas dos arquivos ";
    e.rules.keepsTaxpayer = false;
    e.rules.redrawAfterEdit = true;
    e.rules.mayDelete = [](store::Table& t) {
        if (base::alltrim(t.get("SELEC").text()) != "S") return true;
        common::AVISOSN("A pasta em uso não pode ser retirada da lista."_cp,
                        common::box::kInformation);
        return false;
    };
    e.rules.newRecord = [](store::Table& t, const base::Value&, const std::string&) {
        t.put("SELEC", "N");
    };
    return e;
}

// The lists where rows are only marked, never added or deleted.
ScreenEntry markingEntry(std::function<TableScreen()> table) {
    ScreenEntry e;
    e.table = std::move(table);
    e.rules.editsRows = false;
    e.rules.marksRows = true;
    e.rules.keepsTaxpayer = false;
    return e;
}

ScreenEntry yearlySummaryEntry() {
    ScreenEntry e;
    e.matrix = yearlySummaryScreen;
    e.restoresAltU = true;
    e.rules.takesTyping = false;
    e.rules.altMAverages = true;
    e.rules.altR = [](MatrixBrowser& browser) {
        browser.openEntryList(screens::kVariableIncome, [] { call(hooks().CALCULA_TUDO, 1); });
        writeSummaryFooter();
    };
    e.rules.enter = [](MatrixBrowser& browser) {
        browser.view.right();
        return true;
    };
    return e;
}

ScreenEntry variableIncomeEntry() {
    ScreenEntry e;
    e.matrix = variableIncomeScreen;
    e.rules.lockedColumns = {1};
    e.rules.cellPicture = kWideAmount;
    e.rules.calculatorWrites = [] { return true; };
    e.rules.calculatorPicture = kWideAmount;
    // Each amount is stored as it is typed, so the summary behind the
    // statement always counts it.
    e.rules.cellStored = [](int, int) {
        if (hooks().RENVAR) hooks().RENVAR(1);
    };
    e.rules.switchMode = [](GridView& view) {
        if (!hooks().RENVAR) return;
        writeVariableIncomeFooter(hooks().RENVAR(2));
        view.refreshAll();
    };
    return e;
}

ScreenEntry statusCodesEntry() {
    ScreenEntry e;
    e.matrix = statusCodesScreen;
    e.statusWindow = true;
    e.rules.rawCells = true;
    return e;
}

ScreenEntry monthlyReceiptsEntry() {
    ScreenEntry e;
    e.matrix = monthlyReceiptsScreen;
    e.rules.rightStopsAt = 6;
    e.rules.totalsRowLocked = true;
    // In individual mode a month's figure is the sum of its entries: Enter
    // opens them.
    e.rules.enter = [](MatrixBrowser& browser) {
        if (settings().flag("CAL_AUTO") || !between(browser.view.colPos(), 2, 6)) return false;
        browser.openEntryList(screens::kMonthEntries, [] {
            monthlySums();
            call(hooks().RESOMA, 1);
        });
        return true;
    };
    e.rules.switchMode = switchCalculationMode;
    e.rules.calculatorWrites = [] { return settings().flag("CAL_AUTO"); };
    e.rules.calculatorPicture = "@Ez 99,999,999.99";
    e.rules.cellPicture = "@Ez 9999,999.99";
    e.rules.cellStored = [](int row, int column) {
        const Hooks& h = hooks();
        call(h.VE_LEAO, row);
        call(h.FX_RT, row, column, screens::kMonthlyReceipts);
        // Typed totals: the column's total follows the month typed.
        if (settings().flag("CAL_AUTO")) call(h.RESOMA, 1);
    };
    e.rules.hotSpot = [](GridView& view, int row, int column) {
        if (row == 4 && column == 66) {
            switchCalculationMode(view);
            return true;
        }
        if (row == 6 && (column == 65 || column == 77)) {
            hooks().MUDA_LEAO ? hooks().MUDA_LEAO() : MUDA_LEAO();
            markCarriedColumn(view);
            return true;
        }
        return false;
    };
    return e;
}

ScreenEntry ruralReceiptsEntry() {
    ScreenEntry e;
    e.matrix = ruralReceiptsScreen;
    e.rules.rightStopsAt = 2;
    e.rules.totalsRowLocked = true;
    e.rules.lockedColumns = {3, 4};
    // Unless only totals are kept, a month's receipts (column 1) or
    // expenses are the sum of its rural entries: Enter opens them.
    e.rules.enter = [](MatrixBrowser& browser) {
        base::NamedValues& s = settings();
        if (s.integer("TIPO_LANCA") == 1) return false;
        const int row = browser.source.row();
        const int column = browser.view.colPos();
        s.set("MESATI", row);
        s.set("TIPOCR", column == 1 ? "C" : "D");
        browser.openEntryList(screens::kRuralEntries, [row, column] {
            call(hooks().SOMA_RUR, 2);
            call(hooks().FX_RT, row, column, screens::kRuralReceipts);
        });
        return true;
    };
    e.rules.switchMode = [](GridView&) { cycleCashBookModeOnReceipts(); };
    e.rules.calculatorWrites = [] { return true; };
    e.rules.cellPicture = kWideAmount;
    e.rules.cellStored = [](int row, int column) {
        call(hooks().FX_RT, row, column, screens::kRuralReceipts);
    };
    e.rules.hotSpot = [](GridView&, int row, int column) {
        if (row != 4 || (column != 29 && column != 30)) return false;
        cycleCashBookModeOnReceipts();
        return true;
    };
    return e;
}

ScreenEntry foreignIncomeEntry() {
    ScreenEntry e;
    e.matrix = foreignIncomeScreen;
    e.rules.totalsRowLocked = true;
    e.rules.cellPicture = kWideAmount;
    e.rules.cellStored = [](int row, int column) {
        call(hooks().FX_RT, row, column, screens::kForeignIncome);
    };
    return e;
}

// Every list screen by its code.
const std::map<int, ScreenEntry>& catalogue() {
    static const std::map<int, ScreenEntry> entries = [] {
        std::map<int, ScreenEntry> all;
        all[screens::kIncome] = incomeEntry(false);
        all[screens::kDependantsIncome] = incomeEntry(true);
        all[screens::kDependants] = dependantsEntry();
        all[screens::kPayments] = paymentsEntry();
        all[screens::kYearlySummary] = yearlySummaryEntry();
        all[screens::kRuralProperties] = ruralPropertiesEntry();
        all[screens::kStatusCodes] = statusCodesEntry();
        all[screens::kMonthlyReceipts] = monthlyReceiptsEntry();
        all[screens::kMonthEntries] = monthEntriesEntry();
        all[screens::kRuralReceipts] = ruralReceiptsEntry();
        all[screens::kForeignIncome] = foreignIncomeEntry();
        all[screens::kVariableIncome] = variableIncomeEntry();
        all[screens::kRuralEntries] = ruralEntriesEntry();
        all[screens::kBankAccounts] = bankAccountsEntry();
        all[screens::kCashBook] = cashBookEntry();
        all[screens::kAccountsChart] = accountsChartEntry();
        all[screens::kFolders] = foldersEntry();
        all[screens::kMarking] = markingEntry(markingScreen);
        all[screens::kMarking].rules.functionKeys = FunctionKeys::Order;
        all[screens::kMarking].rules.leftReturnsTo = 3;
        all[screens::kImportSelection] = markingEntry(importSelectionScreen);
        return all;
    }();
    return entries;
}

const ScreenEntry* entryOf(int code) {
    const auto found = catalogue().find(code);
    return found == catalogue().end() ? nullptr : &found->second;
}

void runTableScreen(int code, const ScreenEntry& entry, TableScreen screen) {
    if (screen.description.columns.empty()) return;  // nothing behind that cell
    store::WorkAreas& areas = store::workAreas();
    store::Table* table = areas.table(screen.area);
    if (!table) {
        common::MENS(1, "Arquivo da tela "_cp + std::to_string(code) + " não está aberto."_cp);
        return;
    }
    areas.select(screen.area);
    table->setFilter(screen.filter);
    // A filter does not move the record pointer: a record of another screen
    // left current (a holder's company on the dependants' screen) would be
    // shown and edited there.
    if (table->eof() || (screen.filter && !screen.filter(*table))) table->goTop();
    browseDescription() = screen.description;
    if (screen.startMonth > 0) positionOnMonth(*table, screen.startMonth);
    if (entry.beforeBrowse) entry.beforeBrowse(*table);

    std::shared_ptr<ui::LDialog> dialog;
    if (!entry.dialogTitle.empty()) dialog = ui::LDLGSHOW(11, 17, 21, 65, entry.dialogTitle);
    MOSTRA(screen.window.top, screen.window.left, screen.window.bottom, screen.window.right,
           screen.window.frame);
    if (dialog) ui::LDLGCLOSE();
    if (store::Table* still = areas.table(screen.area)) still->setFilter({});
    if (entry.clearsFooterAfter) common::ESCRJAN(0, std::string(80, ' '));
}

void runMatrixScreen(int code, const ScreenEntry& entry, MatrixScreen screen) {
    Matrix* matrix = hooks().matrix ? hooks().matrix(code) : nullptr;
    if (!matrix || matrix->rows() < 1 || matrix->columns() < 1) return;
    base::NamedValues& st = settings();
    if (entry.statusWindow) {
        common::REDEFJAN(kStatusWindow, st.integer("COR_TEL1"), st.integer("COR_TEL2"),
                         st.integer("COR_TEL2"), 10, 42, 22, 62, 1);
        common::ABREJAN(kStatusWindow);
    }
    browseDescription() = screen.description;
    MOSBROW(*matrix, screen.window.top, screen.window.left, screen.window.bottom,
            screen.window.right, screen.window.frame);
    if (entry.statusWindow) common::FECHAJAN(kStatusWindow);
}

}  // namespace

const ScreenRules& screenRules(int code) {
    static const ScreenRules defaults;
    const ScreenEntry* entry = entryOf(code);
    return entry ? entry->rules : defaults;
}

void writeSummaryFooter() {
    footer(kOn + "Alt M" + kOff + " Média "_cp + kOn + "Alt R" + kOff + " Rend.Var " +
           settings().text("NOTA_MEDIA"));
}

void writeVariableIncomeFooter(const std::string& kind) {
    footer(kOn + "<Esc>" + kOff + " Volta ao resumo " + kOn + "Alt A" + kOff + " muda o tipo  " +
           kind);
}

void markCarriedColumn(GridView& view) {
    if (view.columnCount() < 7) return;
    view.setHeading(6, base::cp850::fromUtf8(paidHeading()));
    view.setHeading(7, base::cp850::fromUtf8(owedHeading()));
}

void writeReceiptsFooter() {
    const base::NamedValues& s = settings();
    const std::string basis = s.flag("SO_REC") ? "devido" : "pago";
    const std::string mode = s.flag("CAL_AUTO") ? "INDIVIDUAL" : "SO TOTAIS";
    footer(kOn + "Alt N" + kOff + "(ou clique *) muda p/ " + basis + "  " + kOn + "Alt A" + kOff +
           "(ou clique modo) muda p/ " + mode);
}

void writeRuralReceiptsFooter() {
    static const char* const next[] = {"So totais", "LCDPR", "Livro Caixa"};
    const int mode = std::clamp(settings().integer("TIPO_LANCA"), 0, 2);
    footer(kOn + "<Esc>" + kOff + " Tela inicial " + kOn + "Alt A" + kOff + " muda p/" +
           next[mode] + kOn + "<TAB/SHIFT+TAB>" + kOff + "Avanca / Volta Pag ");
}

void EDITA(int code) {
    base::NamedValues& st = settings();
    const ScreenEntry* entry = entryOf(code);
    if (!entry || (entry->available && !entry->available())) return;
    store::setDeletedFilter(true);
    st.set("OPC", code);
    st.set("LASTECLA", 0);
    st.erase("CPF_DEPEND");
    const int altU = keys::alt('U');
    const ui::KeyAction previousAltU = ui::bindKey(altU, {});
    if (entry->table)
        runTableScreen(code, *entry, entry->table());
    else
        runMatrixScreen(code, *entry, entry->matrix());
    if (entry->restoresAltU && previousAltU) ui::bindKey(altU, previousAltU);
}

// ---- Frames ---------------------------------------------------------------------------

namespace {

int frameSlot(BrowseFrame frame) {
    switch (frame) {
        case BrowseFrame::Slot2:
            return 2;
        case BrowseFrame::Slot6:
            return 6;
        case BrowseFrame::None:
            break;
    }
    return 0;
}

void openFrame(int slot, int top, int left, int bottom, int right) {
    if (!slot) return;
    const base::NamedValues& s = settings();
    common::REDEFJAN(slot, s.integer("COR_TEL1"), s.integer("COR_TEL2"), s.integer("COR_TEL2"), top,
                     left, bottom, right, 2);
    common::ABREJAN(slot);
}

void flushAllTables() {
    store::WorkAreas& areas = store::workAreas();
    for (int slot = 1; slot <= store::WorkAreas::kSlots; ++slot) {
        if (store::Table* table = areas.table(slot)) {
            try {
                table->flush();
            } catch (const base::Error& e) {
                ui::diagnostic(e.what());
            }
        }
    }
}

}  // namespace

void MOSTRA(int top, int left, int bottom, int right, BrowseFrame frame) {
    const int slot = frameSlot(frame);
    openFrame(slot, top, left, bottom, right);
    const std::string previous = ui::setColor(settings().text("COR_1_CLI"));
    std::string failure;
    try {
        CL5BROWSE(top, left, bottom, right);
    } catch (const base::Error& e) {
        failure = e.what();  // a damaged table: said once the frame is closed
    }
    if (slot) common::FECHAJAN(slot);
    ui::setColor(settings().text("CORNORM").empty() ? previous : settings().text("CORNORM"));
    flushAllTables();
    if (!failure.empty()) common::MENS(1, failure);
}

void CL5BROWSE(int top, int left, int bottom, int right) {
    store::WorkAreas& areas = store::workAreas();
    const int area = areas.current();
    store::Table* table = areas.currentTable();
    if (!table) return;
    TableBrowser browser(*table, area, innerArea(top, left, bottom, right), browseDescription());
    browser.run();
}

void MOSBROW(Matrix& matrix, int top, int left, int bottom, int right, BrowseFrame frame) {
    const int slot = frameSlot(frame);
    openFrame(slot, top, left, bottom, right);
    const std::string previous = ui::setColor(settings().text("COR_1_CLI"));
    try {
        MBROWSE(matrix, top, left, bottom, right);
    } catch (const base::Error& e) {
        common::MENS(1, std::string(e.what()));
    }
    if (slot) common::FECHAJAN(slot);
    ui::setColor(settings().text("CORNORM").empty() ? previous : settings().text("CORNORM"));
    flushAllTables();
}

void MBROWSE(Matrix& matrix, int top, int left, int bottom, int right) {
    MatrixBrowser browser(matrix, innerArea(top, left, bottom, right), browseDescription());
    browser.run();
}

}  // namespace kdx2::editor
