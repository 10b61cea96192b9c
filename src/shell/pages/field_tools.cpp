// The tools bound to keys inside a page: the monthly breakdown of an amount
// (Alt+U on a list cell), the currency-factor conversion (Alt+U on a form
// field) and the calculators (Alt+S, Alt+K), whose result goes to the field
// being edited.

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <functional>
#include <memory>

#include "base/cp850.h"
#include "base/error.h"
#include "base/named_values.h"
#include "base/process_state.h"
#include "base/text.h"
#include "common/calculator.h"
#include "common/messages.h"
#include "common/numbers.h"
#include "common/windows.h"
#include "editor/field_checks.h"
#include "platform/console/keys.h"
#include "platform/file.h"
#include "platform/process.h"
#include "shell/layouts.h"
#include "shell/pages/pages.h"
#include "store/access.h"
#include "store/work_areas.h"
#include "tax/carne.h"
#include "ui/get.h"
#include "ui/picture.h"
#include "ui/screen.h"

namespace kdx2::shell::pages {

using namespace base::literals;
namespace keys = platform::keys;

namespace {

constexpr int kToolSlot = 5;
const char* const kMonthPicture = "@Ez 99,999,999.99";

// ---- Monthly breakdown ----

struct Breakdown {
    std::string base;     // the months' fields are base + "01" ... "12"
    std::string caption;  // 14 characters
};

// The months behind a column of the income screens (1, 2) and of the
// payments (4); nullopt for the other cells.
std::optional<Breakdown> breakdownOf(int screen, int column) {
    if (screen == editor::screens::kIncome || screen == editor::screens::kDependantsIncome) {
        const bool dependants = screen == editor::screens::kDependantsIncome;
        switch (column) {
            case 2:
                return Breakdown{"I1_4", " Rendimentos  "};
            case 3:
                return Breakdown{"I1_6", " Previdência  "};
            case 4:
                return Breakdown{"I1_5", " Imposto Fonte"};
            case 5:
                return Breakdown{"I1_7", " 13º Salário  "};
            case 6:
                return dependants ? Breakdown{"I1_9", "   Isentos    "}
                                  : Breakdown{"I1_11", " Lucro Distr. "};
            case 7:
                if (dependants) return Breakdown{"I1_10", " Trib. Fonte  "};
                break;
            case 8:
                if (dependants) return Breakdown{"I1_11", " Lucro Distr. "};
                break;
            default:
                break;
        }
        return std::nullopt;
    }
    if (screen == editor::screens::kPayments) {
        if (column == 5) return Breakdown{"I6_4", " Total Despesa"};
        if (column == 6) return Breakdown{"I6_5", " Não Dedutível"};
    }
    return std::nullopt;
}

std::string monthField(const std::string& base, int month) {
    return base + (month < 10 ? "0" : "") + std::to_string(month);
}

double sumOf(const std::array<base::Value, 12>& months) {
    double total = 0;
    for (const base::Value& v : months)
        total += v.number();
    return base::roundDecimal(total, 2);
}

// The fields of the record the months' total goes to.
std::vector<std::string> totalFields(const store::Table& record, const std::string& base) {
    std::vector<std::string> names;
    for (const std::string& name : {base, monthField(base, 13)})
        if (record.hasField(name)) names.push_back(name);
    return names;
}

// The amount a cell holds: the base field where the table has one (the
// payments), else the thirteenth month (the incomes).
double storedTotal(store::Table& record, const std::string& base) {
    for (const std::string& name : totalFields(record, base))
        if (record.get(name).number() != 0) return record.get(name).number();
    return 0;
}

// Twelve months may add up to more than the total's column holds: such a
// total is refused rather than written half.
bool totalFits(const store::Table& record, const std::string& base, double total) {
    for (const std::string& name : totalFields(record, base)) {
        const store::FieldDef& def =
            record.structure()[static_cast<size_t>(record.fieldIndex(name))];
        if (!base::formatFixed(total, def.width, def.decimals)) {
            common::AVISOSN(
                {"O total dos meses, "_cp +
                     base::alltrim(
                         ui::transform(base::Value(total), "@E 999,999,999,999.99").text()) +
                     ", não cabe nesta coluna."_cp,
                 "Diminua algum mês."_cp},
                common::box::kStop);
            return false;
        }
    }
    return true;
}

// SOMA_VAL: the total under the months, on the window's totals row.
void showTotal(const Layout& window, double total) {
    ui::say(window.top + 14, window.left + 12,
            ui::transform(base::Value(total), kMonthPicture).text());
}

using Months = std::array<base::Value, 12>;

// The month window (MTELA1 11): the twelve months one per line from
// `firstMonth` on, read again until Esc. `accept` sees the total when the
// window is to close: false keeps it open (its own message said why).
// Returns false when a leave was chosen inside the window, which then drops
// what was typed.
bool readMonths(Months& months, const std::string& caption, int firstMonth,
                const std::function<bool(double total)>& accept) {
    base::NamedValues& s = base::session();
    const Layout window = *layoutOf("MTELA1 11", {{"LEGENDA", caption}});
    drawLayout(window);
    ui::GetList fields;
    for (int m = 1; m <= 12; ++m) {
        base::Value& v = months[static_cast<size_t>(m - 1)];
        auto get = ui::Get::of(window.top + 1 + m, window.left + 12, v, kMonthPicture,
                               "NPOS" + std::string(m < 10 ? "0" : "") + std::to_string(m));
        get->valid = [&months, &window](ui::Get& g) {
            if (g.value().number() < 0) {
                common::AVISOSN({"O valor não pode ser negativo."_cp}, common::box::kStop);
                return false;
            }
            showTotal(window, sumOf(months));
            return true;
        };
        fields.push_back(get);
    }
    showTotal(window, sumOf(months));
    ui::ReadOptions options;
    options.start = std::clamp(firstMonth, 1, 12) - 1;
    bool kept = false;
    while (!kept) {
        const ui::ReadResult result = ui::readFields(fields, options);
        // Past December the months are read again from January; a total
        // refused keeps the cursor where it was.
        if (result.exit == ui::ReadExit::Finished) {
            options.start = 0;
            continue;
        }
        if (s.flag("LSAI")) break;
        options.start = std::clamp(result.position, 0, 11);
        kept = !accept || accept(sumOf(months));
    }
    common::FECHAJAN(kToolSlot);
    // A leave chosen inside the window ends the list screen under it too.
    if (s.flag("LSAI")) {
        ui::pushKey(keys::Esc);
        return false;
    }
    for (auto& v : months)
        if (v.number() < 0) v = base::Value(0);
    return true;
}

// The field being edited gets `value`: a number as it is; a text field
// its text, a blank and the value in the user's picture, cut to its width.
void handToField(double value) {
    ui::Get* get = ui::activeGet();
    if (!get) return;
    if (get->type() == base::Type::Numeric) {
        if (!get->fits(base::Value(value))) {
            common::AVISOSN({get->tooLargeMessage()}, common::box::kStop);
            return;
        }
        get->replaceBuffer(base::Value(value));
        return;
    }
    if (get->type() != base::Type::Character) return;
    const size_t width = get->value().text().size();
    std::string text =
        base::alltrim(get->value().text()) + " " +
        base::alltrim(ui::transform(base::Value(value), base::session().text("PIC_USU")).text());
    text = base::padRight(text.substr(0, std::min(text.size(), width)), width);
    get->replaceBuffer(base::Value(text));
}

// The month of the sale date beside the sale value: the form's own value
// when it has one, else the record's. No date counts as January.
int saleMonth() {
    const base::NamedValues& s = base::session();
    base::Value date;
    if (s.has("DATA_ALI")) date = s.get("DATA_ALI");
    store::Table* record = store::workAreas().currentTable();
    if (!date.isDate() && record && !record->eof() && record->hasField("DATA_ALI"))
        date = record->get("DATA_ALI");
    return date.isDate() && !date.date().empty() ? date.date().month() : 1;
}

// Alt+U on a sale value: its amount spread over the months, starting in
// the month of the sale, which holds what the field had; the total goes
// back to the field.
void breakDownSaleValue(const ui::Get& get) {
    const int month = saleMonth();
    Months months;
    months.fill(base::Value(0.0));
    months[static_cast<size_t>(month - 1)] = base::Value(get.value().number());
    if (!readMonths(months, " Alienação    ", month, {})) return;
    const double total = sumOf(months);
    if (total > 0) handToField(total);
}

}  // namespace

double MUDATEL13(int, const std::string&) {
    base::NamedValues& s = base::session();
    const int screen = s.integer("OPC");
    const int column = s.integer("PONTEIRO");
    const std::optional<Breakdown> b = breakdownOf(screen, column);
    store::Table* record = store::workAreas().currentTable();
    if (!b || !record || record->eof()) return 0;

    Months months;
    for (int m = 1; m <= 12; ++m)
        months[static_cast<size_t>(m - 1)] =
            base::Value(record->get(monthField(b->base, m)).number());
    // An amount stored without its months (typed on a new row, brought in
    // by an import) starts in January, so closing the window keeps it.
    if (sumOf(months) == 0) months[0] = base::Value(storedTotal(*record, b->base));

    // The total goes through the cell's own check, as a typed amount would:
    // a refusal keeps the window open, an amount the check drops to zero
    // clears the months behind it.
    const editor::CellRule rule = editor::fieldRule(screen, column);
    bool dropped = false;
    auto accept = [&rule, &dropped, record, &b](double total) {
        if (!totalFits(*record, b->base, total)) return false;
        if (!rule.check) return true;
        base::Value checked(total);
        if (!rule.check(checked)) return false;
        dropped = total != 0 && checked.number() == 0;
        return true;
    };
    // Typing into the cell starts in January.
    if (!readMonths(months, b->caption, 1, accept)) return 0;
    if (dropped) months.fill(base::Value(0.0));
    const double total = sumOf(months);
    if (!store::REC_LOCK(5)) return 0;
    for (int m = 1; m <= 12; ++m)
        record->put(monthField(b->base, m), months[static_cast<size_t>(m - 1)]);
    for (const std::string& name : totalFields(*record, b->base))
        record->put(name, base::Value(total));
    record->unlock();
    return total;
}

bool ATUAVAL(int mode, double value, int month) {
    base::NamedValues& s = base::session();
    const bool known = month >= 1 && month <= 12;
    // A month without a factor, or a zero factor, converts to 0.
    const double factor = known ? tax::carneLeao().TAB_UFIR[static_cast<size_t>(month - 1)] : 0;
    switch (mode) {
        case 1:
            s.set("QUF", base::Value(common::DIV(value, factor)));
            return true;
        case 2:
            s.set("QCR1", base::Value(base::roundDecimal(value * factor, 2)));
            return true;
        default:
            return known;
    }
}

void CALC_UFIR() {
    static bool running = false;
    ui::Get* get = ui::activeGet();
    if (running || !get || get->name == "MGETVAR" || get->type() != base::Type::Numeric ||
        get->displayWidth() < 10)
        return;
    // Not re-entrant: Alt+U inside the window does nothing. The flag drops
    // however the window ends.
    running = true;
    struct Release {
        bool& flag;
        ~Release() { flag = false; }
    } release{running};
    if (get->name == "VAL_ALI") {
        breakDownSaleValue(*get);
        return;
    }
    base::NamedValues& s = base::session();
    base::Value month(static_cast<double>(std::clamp(s.integer("MES_ATU"), 1, 12)));
    base::Value amount(get->value().number());
    const Layout window = *layoutOf("MTELA1 10");
    drawLayout(window);
    const int top = window.top;
    const int valueColumn = window.left + 20;
    auto showConversion = [&month, &amount, top, valueColumn] {
        const int m = static_cast<int>(month.number());
        ATUAVAL(1, amount.number(), m);
        const double factor =
            m >= 1 && m <= 12 ? tax::carneLeao().TAB_UFIR[static_cast<size_t>(m - 1)] : 0;
        ui::say(top + 4, valueColumn, ui::transform(base::Value(factor), "@E 9999.9999").text());
        ui::say(top + 5, valueColumn,
                ui::transform(base::session().get("QUF"), "@E 999,999,999.99").text());
    };
    auto monthGet = ui::Get::of(top + 2, valueColumn, month, "99", "QMES");
    monthGet->valid = [&showConversion](ui::Get& g) {
        const int m = static_cast<int>(g.value().number());
        if (m < 1 || m > 12) {
            common::AVISOSN({"Informe um mês de 1 a 12."_cp}, common::box::kStop);
            return false;
        }
        showConversion();
        return true;
    };
    auto amountGet = ui::Get::of(top + 3, valueColumn, amount, "@E 999,999,999.99", "QCR1");
    amountGet->valid = [&showConversion](ui::Get&) {
        showConversion();
        return true;
    };
    showConversion();
    ui::GetList fields = {monthGet, amountGet};
    const ui::ReadResult result = ui::readFields(fields);
    common::FECHAJAN(kToolSlot);
    const double converted = s.number("QUF");
    if (result.exit == ui::ReadExit::Finished && converted > 0) handToField(converted);
}

namespace {

constexpr int kPageSlot = 3;

struct DeferredSums {
    std::function<void(int mode)> sum;  // the yearly sums behind the lists
    bool pending = false;
};

DeferredSums& deferredSums() {
    static DeferredSums sums;
    [[maybe_unused]] static const bool registered =
        base::registerResetOnce([] { deferredSums().pending = false; });
    return sums;
}

}  // namespace

void CALCBEM() {
    base::NamedValues& s = base::session();
    const int page = s.integer("TELA");
    if (page != 1 && page != 5) return;
    s.set("CALBEN", !s.flag("CALBEN"));
    // The window's rows and columns count from 1 here.
    common::ESCRLCOL(kPageSlot, kSumsLabelRow + 1, kSumsLabelColumn + 1, automaticSumsLabel());
    if (s.flag("CALBEN")) catchUpSums();
}

void catchUpSums() {
    DeferredSums& d = deferredSums();
    if (!d.pending) return;
    d.pending = false;
    if (d.sum) d.sum(1);
}

void connectAutomaticSums(editor::Hooks& h) {
    deferredSums().sum = h.SOMA_JUR;
    h.SOMA_JUR = [](int mode) {
        const base::NamedValues& s = base::session();
        DeferredSums& d = deferredSums();
        if (!s.flag("CALBEN") && s.integer("TELA") == 1) {
            d.pending = true;
            return;
        }
        d.pending = false;
        if (d.sum) d.sum(mode);
    };
}

void CHAMA_CALC() {
    const base::NamedValues& s = base::session();
    double result = 0;
    if (common::CALCULADORA(result, 9, std::clamp(s.integer("LCAL"), 0, 11),
                            std::clamp(s.integer("CCAL"), 0, 48)))
        handToField(result);
}

namespace {

// The word of KDX2_CALC that stands for the file the calculator leaves its
// result in.
const char* const kResultWord = "{RESULTADO}";
// Only the end of a long result file is read: the result is its last number.
constexpr uint64_t kResultTail = 64 * 1024;

// A number as a program writes it: "1234.5", "-1.234,56", "1,234.56". With
// both separators the later one is the decimal point; one separator alone
// marks the decimals unless it appears more than once.
std::optional<double> numberOfWord(std::string word) {
    while (!word.empty() && (word.back() == '.' || word.back() == ','))
        word.pop_back();
    const bool negative = !word.empty() && word.front() == '-';
    if (negative) word.erase(0, 1);
    if (word.empty() || !std::isdigit(static_cast<unsigned char>(word.front())))
        return std::nullopt;
    const size_t lastDot = word.rfind('.');
    const size_t lastComma = word.rfind(',');
    char decimal = 0;
    if (lastDot != std::string::npos && lastComma != std::string::npos)
        decimal = lastDot > lastComma ? '.' : ',';
    else if (lastDot != std::string::npos && word.find('.') == lastDot)
        decimal = '.';
    else if (lastComma != std::string::npos && word.find(',') == lastComma)
        decimal = ',';
    std::string plain;
    for (const char c : word) {
        if (c == decimal)
            plain += '.';
        else if (std::isdigit(static_cast<unsigned char>(c)))
            plain += c;
    }
    double value = 0;
    const auto [end, error] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (error != std::errc() || end != plain.data() + plain.size()) return std::nullopt;
    return negative ? -value : value;
}

std::string resultFileTail(const std::string& hostPath) {
    const platform::File file = platform::File::open(hostPath, platform::File::Mode::ReadOnly);
    const uint64_t size = file.size();
    const uint64_t from = size > kResultTail ? size - kResultTail : 0;
    std::string text(static_cast<size_t>(size - from), '\0');
    text.resize(file.readAt(from, text.data(), text.size()));
    return text;
}

}  // namespace

std::optional<double> lastNumberIn(std::string_view text) {
    std::optional<double> last;
    std::string word;
    auto endWord = [&last, &word] {
        if (const std::optional<double> n = numberOfWord(word)) last = n;
        word.clear();
    };
    for (const char c : text) {
        const bool part = std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == ',' ||
                          (c == '-' && word.empty());
        if (part)
            word += c;
        else
            endWord();
    }
    endWord();
    return last;
}

void runSystemCalculator() {
    const char* command = std::getenv("KDX2_CALC");
    std::vector<std::string> words =
        command ? platform::splitCommandWords(command) : std::vector<std::string>{};
    if (words.empty()) {
        CHAMA_CALC();
        return;
    }
    // A calculator that can leave its result in a file names it with the
    // word {RESULTADO}; the file is read when the calculator ends well.
    std::optional<platform::TemporaryHostFile> resultFile;
    for (std::string& word : words) {
        const size_t at = word.find(kResultWord);
        if (at == std::string::npos) continue;
        try {
            if (!resultFile) resultFile.emplace("kdx2_calc_", ".txt");
        } catch (const base::Error& e) {
            common::AVISOSN({e.what()}, common::box::kStop);
            return;
        }
        word.replace(at, std::string(kResultWord).size(), resultFile->hostPath());
    }
    const std::vector<std::string> arguments(words.begin() + 1, words.end());
    const platform::ProgramRun run =
        platform::runProgram(words.front(), arguments, true, platform::ProgramTerminal::HandOver);
    if (!run.started) {
        common::AVISOSN({run.error}, common::box::kStop);
        return;
    }
    if (!resultFile || !run.exited || run.exitCode != 0) return;
    std::optional<double> result;
    try {
        result = lastNumberIn(resultFileTail(resultFile->hostPath()));
    } catch (const base::Error& e) {
        common::AVISOSN({e.what()}, common::box::kStop);
        return;
    }
    if (result) handToField(*result);
}

}  // namespace kdx2::shell::pages
