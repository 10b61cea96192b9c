#include "reports/print_text.h"

#include "base/cp850.h"
#include "base/value.h"
#include "ui/picture.h"

namespace kdx2::reports {

std::string monthName(int month) {
    static const char* const names[] = {"Janeiro",  "Fevereiro", "Março",    "Abril",
                                        "Maio",     "Junho",     "Julho",    "Agosto",
                                        "Setembro", "Outubro",   "Novembro", "Dezembro"};
    if (month < 1 || month > 12) return "";
    return base::cp850::fromUtf8(names[month - 1]);
}

std::string amountText(double value, const char* picture) {
    return ui::transform(base::Value(value), picture).text();
}

}  // namespace kdx2::reports
