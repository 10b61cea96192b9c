// The tax year being worked (command 31). The year is a setting, not part
// of any folder: changing it leaves the data folder as it is.

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/text.h"
#include "common/messages.h"
#include "shell/layouts.h"
#include "shell/selection/selection.h"
#include "shell/settings.h"
#include "tax/carne.h"
#include "tax/carne_tables.h"

namespace kdx2::shell::selection {

using namespace base::literals;

namespace {

constexpr int kFirstYear = 1995;

void setYear(int year) {
    base::NamedValues& s = base::session();
    s.set("QUEANO", year);
    s.set("CQUEANO", std::to_string(year));
    s.set("ANO_CAR", std::to_string(year));
}

}  // namespace

bool ANOPROC(int year) {
    if (year < kFirstYear) {
        common::AVISOSN("Os cálculos só estarão corretos a partir de 1995"_cp,
                        common::box::kInformation);
        return false;
    }
    // The factors are read for the year typed, before it is taken.
    base::NamedValues& s = base::session();
    const base::Value previous = s.get("QUEANO");
    s.set("QUEANO", year);
    tax::CarneLeao& carne = tax::carneLeao();
    tax::CARGA_UFIR(carne);
    s.set("QUEANO", previous);
    return true;
}

void BUSCA_ANO() {
    base::NamedValues& s = base::session();
    const int previous = s.integer("QUEANO");
    base::Value year(previous);
    common::MensOptions options;
    options.row = 18;
    options.column = common::MensColumn::centred();
    options.variable = &year;
    options.width = 4;
    options.picture = "@z 9999";
    options.validation = [](const base::Value& typed) {
        return ANOPROC(static_cast<int>(typed.number()));
    };
    common::MENS(4, "Informe o ano de trabalho do KDX", options);
    const int chosen = static_cast<int>(year.number());
    setYear(chosen == 0 ? previous : chosen);
    MTELA1(9);
}

}  // namespace kdx2::shell::selection
