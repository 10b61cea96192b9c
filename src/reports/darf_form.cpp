// The slip dialogue (DARF): the kind and month choosers and the form.

#include "reports/darf_form.h"

#include <memory>

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/text.h"
#include "common/choosers.h"
#include "common/identifiers.h"
#include "common/messages.h"
#include "common/windows.h"
#include "editor/field_checks.h"
#include "editor/lookup_lists.h"
#include "reports/darf.h"
#include "reports/darf_calendar.h"
#include "reports/darf_layouts.h"
#include "ui/get.h"
#include "ui/picture.h"

namespace kdx2::reports {

using namespace base::literals;

namespace {

constexpr const char* kRatePicture = "@Z 999.99";
constexpr const char* kFormAmountPicture = "@Ez 999,999,999.99";
constexpr int kDocumentWidth = 18;
constexpr int kPhoneWidth = 11;

bool gFormShown = false;

void openWindow(const ScreenLayout& layout) {
    const base::NamedValues& s = base::session();
    common::REDEFJAN(layout.slot, s.integer(layout.colour1), s.integer(layout.colour2),
                     s.integer(layout.colour3), layout.top, layout.left, layout.bottom,
                     layout.right, layout.frame);
    common::ABREJAN(layout.slot);
    common::ESCRJAN(layout.slot, layout.text());
}

// The chosen item (1 ...) of MTELA3 `screen`, 0 when left with Esc.
int choose(int screen, int current) {
    const ChooserLayout& chooser = screen == 7 ? kindChooser() : rangeChooser();
    MTELA3(screen);
    const int item = common::ESC_ITEM(chooser.window.slot, chooser.items, chooser.markColumn,
                                      chooser.firstItemRow - 1, current);
    common::FECHAJAN(chooser.window.slot);
    return item;
}

void put(GridPlace place, const std::string& text) {
    const ScreenLayout& form = slipForm();
    common::ESCRLCOL(form.slot, place.row - form.top + 1, place.column - form.left + 1, text);
}

std::string rateText(double rate) {
    if (rate == 0) return std::string(7, ' ');
    return ui::transform(base::Value(rate), kRatePicture).text() + "%";
}

std::string monthText(int month) {
    return ui::transform(base::Value(month), "@z 99").text();
}

std::string padded(const std::string& text, int width) {
    return base::padRight(text, static_cast<size_t>(width));
}

// What the form shows in place of one taxpayer's CPF and name when the run
// covers those marked or all.
struct Whom {
    std::string document;
    std::string name;
};
Whom whomShown(const DarfSlip& slip) {
    if (slip.QUEDARF == kOther) return {slip.QUALCPF, slip.NOMECONTR};
    switch (base::session().integer("QUECON")) {
        case 2:
            return {"  Todos Marcados  ", "Nomes marcados com S conforme lista"};
        case 3:
            return {"", "Todos nomes Cadastrados "};
        default:
            return {"  " + slipCpf(slip.CPF), slip.NOMECONTR};
    }
}

// ---- Fields ----

using GetPtr = std::shared_ptr<ui::Get>;

GetPtr dateField(GridPlace place, base::Date& date, const char* name) {
    return std::make_shared<ui::Get>(
        place.row, place.column, [&date] { return base::Value(date); },
        [&date](const base::Value& value) { date = value.date(); }, "@D", name);
}

GetPtr textField(GridPlace place, std::string& text, int width, const char* name,
                 std::string picture = "") {
    text = padded(text, width);
    return std::make_shared<ui::Get>(
        place.row, place.column, [&text] { return base::Value(text); },
        [&text](const base::Value& value) { text = value.text(); }, std::move(picture), name);
}

GetPtr numberField(GridPlace place, double& number, const char* picture, const char* name) {
    return std::make_shared<ui::Get>(
        place.row, place.column, [&number] { return base::Value(number); },
        [&number](const base::Value& value) { number = value.number(); }, picture, name);
}

// The payment date: a weekend is refused; each change works the charges
// out again. Then the first business day after the due date, which the
// user may change when the payment is late.
void addPaymentFields(ui::GetList& fields, DarfSlip& slip) {
    GetPtr payment = dateField(form::kPaymentDate, slip.DF_PGTO, "DF_PGTO");
    payment->valid = [&slip](ui::Get&) {
        const std::string refusal =
            slip.DF_PGTO.empty() ? "Informe a data do pagamento."_cp : VALI_DATA(slip.DF_PGTO);
        if (!refusal.empty()) {
            common::AVISOSN(refusal, common::box::kStop);
            return false;
        }
        CALCJU(1, 1);
        return true;
    };
    fields.push_back(payment);
    GetPtr next = dateField(form::kNextBusinessDay, slip.PROX_UTIL, "PROX_UTIL");
    next->when = [](ui::Get&) { return VEATRASO(); };
    fields.push_back(next);
}

// Kind 3: everything is typed.
ui::GetList otherTaxFields(DarfSlip& slip) {
    ui::GetList fields;
    fields.push_back(dateField(form::kPeriod, slip.DF_PERIODO, "DF_PERIODO"));

    GetPtr document = textField(form::kPayerDocument, slip.QUALCPF, kDocumentWidth, "QUALCPF");
    document->valid = [&slip](ui::Get& field) {
        std::string typed = base::alltrim(slip.QUALCPF);
        if (!common::CPFCGC1(typed, true)) return false;
        slip.QUALCPF = padded(typed, kDocumentWidth);
        field.display();
        if (BUSCPF(typed)) showSlipOnForm();
        return true;
    };
    fields.push_back(document);

    GetPtr code = textField(form::kCode, slip.DF_CODIG, 4, "DF_CODIG", "@R 9999");
    code->valid = [](ui::Get&) {
        if (!checkRevenueCode(darfSlip().DF_CODIG)) return false;
        showSlipOnForm();
        return true;
    };
    fields.push_back(code);
    fields.push_back(textField(form::kReference, slip.DF_REFER, kDocumentWidth, "DF_REFER"));

    GetPtr due = dateField(form::kDueDate, slip.DF_VCTO, "DF_VCTO");
    due->valid = [&slip](ui::Get&) {
        slip.PROX_UTIL = PROX_DIA(slip.DF_VCTO);
        put(form::kNextBusinessDay, slip.PROX_UTIL.dtoc());
        CALCJU(1, 1);
        return true;
    };
    fields.push_back(due);

    GetPtr principal =
        numberField(form::kPrincipal, slip.IMPO_REAL, kFormAmountPicture, "IMPO_REAL");
    principal->valid = [&slip](ui::Get&) {
        if (slip.IMPO_REAL < 0) {
            common::AVISOSN("O valor do principal não pode ser negativo."_cp, common::box::kStop);
            return false;
        }
        CALCJU(1, 1);
        return true;
    };
    fields.push_back(principal);

    addPaymentFields(fields, slip);

    GetPtr rate = numberField(form::kInterestRate, slip.DF_JURO, "@ez 999.99", "DF_JURO");
    rate->valid = [](ui::Get&) {
        SO_JUROS();
        return true;
    };
    fields.push_back(rate);

    fields.push_back(textField(form::kName, slip.NOMECONTR, kTextWidth, "NOMECONTR"));
    fields.push_back(textField(form::kPhone, slip.TELEFO, kPhoneWidth, "TELEFO"));
    fields.push_back(textField(form::kTitle, slip.title(), kTextWidth, "DF_OUTR5"));
    return fields;
}

// The first month (and the last of a range); false on Esc.
bool askMonths(DarfSlip& slip) {
    const int offset = slip.QUEDARF == kComplementary ? 1 : 2;
    base::Value first(slip.MES_PGTO);
    base::Value last(slip.MES_FINAL);
    ui::GetList fields;
    auto firstField =
        ui::Get::of(form::kFirstMonth.row, form::kFirstMonth.column, first, "@z 99", "MES_PGTO");
    firstField->valid = [offset](ui::Get& field) {
        return VE_MPAG(static_cast<int>(field.value().number()), offset);
    };
    fields.push_back(firstField);
    if (slip.QUANTDARF == 2) {
        auto lastField =
            ui::Get::of(form::kLastMonth.row, form::kLastMonth.column, last, "@z 99", "MES_FINAL");
        lastField->valid = [&first](ui::Get& field) {
            return VE_MPG2(static_cast<int>(first.number()),
                           static_cast<int>(field.value().number()));
        };
        fields.push_back(lastField);
    }
    if (ui::readFields(fields).exit == ui::ReadExit::Escape) return false;
    slip.MES_PGTO = static_cast<int>(first.number());
    slip.MES_FINAL = slip.QUANTDARF == 2 ? static_cast<int>(last.number()) : slip.MES_PGTO;
    return true;
}

void tellNoSlip(const DarfSlip& slip) {
    if (slip.QUANTDARF == 2) {
        common::AVISOSN(
            {"Para imprimir Darfes de vários meses o primeiro mês escolhido"_cp,
             "é necessário ter Darf com valor para ser impresso! "_cp,
             "O mês escolhido "_cp + twoDigits(slip.MES_PGTO) + " não tem Darf com Valor"_cp,
             "ou o Darf já está lançado como pago"_cp},
            common::box::kInformation);
    } else {
        common::AVISOSN({"Esse mês não tem Darf para ser impresso"_cp,
                         "Ou o valor já esta lançado como pago"_cp},
                        common::box::kInformation);
    }
}

// Steps 2 and 3 for kinds 1 and 2: the months, until the first has a slip
// (for one taxpayer). False on Esc.
bool chooseMonths(DarfSlip& slip) {
    const bool several = base::session().integer("QUECON") > 1;
    for (;;) {
        showSlipOnForm();
        if (!askMonths(slip)) return false;
        const bool found = BUS_IMPO(slip.MES_PGTO, slip.QUEDARF, several);
        PREENCHE(slip, base::session().integer("QUEANO"), slip.MES_PGTO);
        if (found || several) return true;
        tellNoSlip(slip);
    }
}

// The form of the chosen kind, until confirmed (true) or abandoned.
bool readForm(DarfSlip& slip) {
    for (;;) {
        if (slip.QUEDARF != kOther && !chooseMonths(slip)) return false;
        showSlipOnForm();
        ui::GetList fields;
        if (slip.QUEDARF == kOther)
            fields = otherTaxFields(slip);
        else
            addPaymentFields(fields, slip);
        // F1 lists the payers already known and the revenue codes.
        const editor::LookupKey payers("QUALCPF");
        const editor::LookupKey codes("DF_CODIG");
        if (ui::readFields(fields).exit == ui::ReadExit::Escape) return false;
        const std::string answer = editor::TERMINOU();
        if (answer == "S") return true;
        if (answer != "N") return false;
    }
}

void startOtherTax(DarfSlip& slip) {
    // A typed slip starts from the values of the last one, the first one
    // from the loaded taxpayer; only its description lines start blank.
    if (base::alltrim(slip.QUALCPF).empty()) {
        const base::NamedValues& s = base::session();
        slip.QUALCPF = common::CONTAPONTO(base::alltrim(s.text("CPF")));
        slip.NOMECONTR = base::rtrim(s.text("NOMECONTR"));
        slip.TELEFO = base::alltrim(s.text("TELEFO"));
    }
    PREENCHE(slip, base::session().integer("QUEANO"), slip.MES_PGTO);
    if (slip.DF_PERIODO.empty()) slip.DF_PERIODO = slip.DF_PGTO;
    if (slip.DF_VCTO.empty()) slip.DF_VCTO = slip.DF_PGTO;
    slip.PROX_UTIL = PROX_DIA(slip.DF_VCTO);
    CALCJU(2, 1);
}

// The form (MTELA4) on the screen for as long as the object lives, however
// the dialogue ends.
class FormOnScreen {
  public:
    FormOnScreen() {
        MTELA4(1);
        gFormShown = true;
    }
    ~FormOnScreen() {
        gFormShown = false;
        common::FECHAJAN(slipForm().slot);
    }
    FormOnScreen(const FormOnScreen&) = delete;
    FormOnScreen& operator=(const FormOnScreen&) = delete;
};

}  // namespace

void MTELA3(int screen) {
    base::session().set("QUEMOSTRA", "");
    if (screen == 7) openWindow(kindChooser().window);
    if (screen == 8) openWindow(rangeChooser().window);
}

void MTELA4(int) {
    openWindow(slipForm());
}

bool slipFormShown() {
    return gFormShown;
}

void showChargesOnForm() {
    const DarfSlip& slip = darfSlip();
    put(form::kPrincipal, ui::transform(base::Value(slip.IMPO_REAL), kFormAmountPicture).text());
    put(form::kFineRate, rateText(slip.DF_MULTA));
    put(form::kFine, ui::transform(base::Value(slip.VAL_MULTA), kFormAmountPicture).text());
    put(form::kInterestRate, rateText(slip.DF_JURO));
    put(form::kInterest, ui::transform(base::Value(slip.VAL_JURO), kFormAmountPicture).text());
    put(form::kTotal, ui::transform(base::Value(slip.VAL_TOTAL), kFormAmountPicture).text());
}

void showSlipOnForm() {
    const DarfSlip& slip = darfSlip();
    const Whom whom = whomShown(slip);
    put(form::kPeriod, slip.DF_PERIODO.dtoc());
    put(form::kPayerDocument, padded(whom.document, kDocumentWidth));
    put(form::kCode, padded(slip.DF_CODIG, 4));
    put(form::kReference, padded(slip.QUEDARF == kOther ? slip.DF_REFER : "", kDocumentWidth));
    put(form::kDueDate, slip.DF_VCTO.dtoc());
    put(form::kFirstMonth, monthText(slip.MES_PGTO));
    put(form::kLastMonth, slip.QUANTDARF == 2 ? monthText(slip.MES_FINAL) : "  ");
    put(form::kPaymentDate, slip.DF_PGTO.dtoc());
    put(form::kNextBusinessDay, slip.PROX_UTIL.dtoc());
    put(form::kName, padded(whom.name, kTextWidth));
    const bool ownPhone = base::session().integer("QUECON") <= 1 || slip.QUEDARF == kOther;
    put(form::kPhone, padded(ownPhone ? slipPhone(slip.TELEFO) : "", kPhoneWidth));
    put(form::kTitle, padded(slip.title(), kTextWidth));
    for (int i = 0; i < 4; ++i)
        put({form::kFirstLine.row + i, form::kFirstLine.column},
            padded(slip.DF_OUTR[static_cast<size_t>(i)], kTextWidth));
    showChargesOnForm();
}

bool DARF() {
    DarfSlip& slip = darfSlip();
    slip.DF_PGTO = base::Date::today();
    const int kind = choose(7, slip.QUEDARF);
    if (kind == 0) return false;
    slip.QUEDARF = kind;
    slip.QUANTDARF = 1;
    if (kind == kCarneLeao) {
        const int range = choose(8, 1);
        if (range == 0) return false;
        slip.QUANTDARF = range;
    }
    const FormOnScreen form;
    if (kind == kOther)
        startOtherTax(slip);
    else
        takeTaxpayer(slip);
    return readForm(slip);
}

}  // namespace kdx2::reports
