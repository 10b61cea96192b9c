#include "reports/darf_selic.h"

#include <cstdio>

#include "base/cp850.h"
#include "base/error.h"
#include "base/text.h"
#include "common/messages.h"
#include "store/access.h"
#include "store/work_areas.h"

namespace kdx2::reports {

using namespace base::literals;

namespace {

constexpr int kRatesArea = 45;
const char* const kOutOfDate = "Atenção! O cadastro da Selic está desatualizado.";
const char* const kUpdate = "Atualize, senão o valor do Juros estará errado!";

// "YYYYMM" with a month 1 ... 12, as a number; 0 otherwise.
int keyOf(const std::string& text) {
    const std::string key = base::alltrim(text);
    if (key.size() != 6) return 0;
    for (char ch : key)
        if (ch < '0' || ch > '9') return 0;
    const int number = std::stoi(key);
    const int month = number % 100;
    return month >= 1 && month <= 12 ? number : 0;
}

std::string monthList(const std::vector<int>& keys) {
    std::string list;
    for (size_t i = 0; i < keys.size(); ++i) {
        if (i == 4) return list + " ...";
        char text[16];
        std::snprintf(text, sizeof text, "%02d/%04d", keys[i] % 100, keys[i] / 100);
        list += (i > 0 ? ", " : "") + std::string(text);
    }
    return list;
}

}  // namespace

SelicTable readSelicTable() {
    SelicTable selic;
    store::WorkAreas& areas = store::workAreas();
    const bool wasOpen = areas.table(kRatesArea) != nullptr;
    const int area = areas.current();
    try {
        if (!wasOpen && !store::ABERTURA(kRatesArea)) {
            selic.problem = "A tabela UFIRM não pôde ser aberta."_cp;
        } else {
            store::Table& rates = areas.area(kRatesArea);
            const int order = rates.order();
            // Natural order: the months do not depend on an index that may
            // be out of step with the table.
            rates.setOrder(0);
            for (rates.goTop(); !rates.eof(); rates.skip()) {
                const int key = keyOf(rates.get("ANOMES").text());
                if (key != 0) selic.rates.emplace(key, rates.get("TJM").number());
            }
            rates.setOrder(order);
        }
    } catch (const base::Error& error) {
        selic.problem = error.what();
    }
    if (!wasOpen) areas.close(kRatesArea);
    areas.select(area);
    return selic;
}

bool SelicWarnings::firstTime(const std::string& warning) {
    return shown_.insert(warning).second;
}

void SelicWarnings::afterInterest(const InterestRate& interest, const SelicTable& selic,
                                  const base::Date& today) {
    if (!selic.problem.empty() && firstTime("problem")) {
        common::AVISOSN({"Atenção! O cadastro da Selic não pôde ser lido por inteiro."_cp,
                         selic.problem, "Os juros somam só as taxas que foram lidas."_cp},
                        common::box::kInformation);
    }
    if (!interest.gaps.empty() && firstTime("gaps")) {
        common::AVISOSN({"Atenção! Faltam no cadastro da Selic as taxas de "_cp,
                         monthList(interest.gaps) + ".", base::cp850::fromUtf8(kUpdate)},
                        common::box::kInformation);
    }
    if (!interest.ranOffEnd) return;
    if (selic.empty()) {
        if (selic.problem.empty() && firstTime("empty"))
            common::AVISOSN(
                {"Atenção! O cadastro da Selic está vazio."_cp, base::cp850::fromUtf8(kUpdate)},
                common::box::kInformation);
        return;
    }
    switch (selicStaleness(selic, today)) {
        case Staleness::OlderYear:
            if (firstTime("year")) common::MENS(0, base::cp850::fromUtf8(kOutOfDate));
            break;
        case Staleness::OlderMonth:
            if (firstTime("month"))
                common::AVISOSN({base::cp850::fromUtf8(kOutOfDate), base::cp850::fromUtf8(kUpdate)},
                                common::box::kInformation);
            break;
        case Staleness::Current:
            break;
    }
}

}  // namespace kdx2::reports
