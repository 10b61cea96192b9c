#include "importing/declaration.h"

#include <algorithm>
#include <array>

#include "base/cp850.h"
#include "importing/fixed_line.h"

namespace kdx2::importing {

using namespace base::literals;

namespace {

// The order the records follow after record 16; `repeats` when the type may
// occupy any number of consecutive lines.
struct Stage {
    int type;
    bool repeats;
};

constexpr std::array<Stage, 36> kOrder{{
    {17, false}, {18, false}, {19, false}, {20, false}, {21, true}, {22, true},
    {23, true},  {24, true},  {25, true},  {26, true},  {27, true}, {28, true},
    {30, false}, {31, false}, {32, true},  {33, true},  {34, true}, {35, true},
    {36, true},  {40, true},  {41, false}, {50, true},  {51, true}, {52, true},
    {53, true},  {54, true},  {55, true},  {60, true},  {61, true}, {62, true},
    {63, true},  {65, true},  {66, true},  {67, true},  {68, true}, {69, true},
}};

// Record 16 is read up to its last field, the mobile telephone.
constexpr size_t kIdentificationEnd = 496;
constexpr double kLargestArea = 999999;

std::optional<int> recordType(const Line& line) {
    if (line.text.size() < 2) return std::nullopt;
    const char a = line.text[0];
    const char b = line.text[1];
    if (a < '0' || a > '9' || b < '0' || b > '9') return std::nullopt;
    return (a - '0') * 10 + (b - '0');
}

std::string lineNumberText(const Line& line) {
    return "linha " + std::to_string(line.number);
}

// Why a damaged line is skipped.
std::string damageOf(const Line& line) {
    if (line.tooLong) return lineNumberText(line) + ": longa demais para um registro"_cp;
    return lineNumberText(line) + ": contém bytes que não são texto"_cp;
}

std::string shortLine(const Line& line, int type) {
    return lineNumberText(line) + " (registro " + std::to_string(type) + "): incompleta";
}

std::string badValue(const Line& line, int type, const std::string& what) {
    return lineNumberText(line) + " (registro " + std::to_string(type) + "): " + what +
           " inválido"_cp;
}

// A receipt number of ten digits; "" when the file has none (blanks or
// zeros), nullopt when the positions hold something else.
std::optional<std::string> receiptAt(const FixedLine& f, size_t from) {
    const std::string text = f.raw(from, 10);
    if (std::all_of(text.begin(), text.end(), [](char ch) { return ch == ' ' || ch == '0'; }))
        return std::string();
    if (!std::all_of(text.begin(), text.end(), [](char ch) { return ch >= '0' && ch <= '9'; }))
        return std::nullopt;
    return text;
}

class Reader {
  public:
    Reader(LineReader& lines, int taxYear) : lines_(lines), taxYear_(taxYear) {}

    Declaration read() {
        const std::optional<Line> first = lines_.LELINHA();
        if (!first) return std::move(d_);
        readHeader(*first);
        const std::optional<Line> second = lines_.LELINHA();
        if (!second || second->damaged() || recordType(*second) != 16) {
            d_.outcome = Declaration::Outcome::LayoutMismatch;
            return std::move(d_);
        }
        d_.outcome = Declaration::Outcome::Read;
        readIdentification(*second);
        readRecords();
        return std::move(d_);
    }

  private:
    void readHeader(const Line& line) {
        const FixedLine f(line.text);
        DeclarationHeader& h = d_.header;
        h.typeKey = f.raw(1, 12);
        h.year = static_cast<int>(f.integer(9, 4).value_or(0));
        h.code = f.raw(17, 4);
        d_.previousLayout = h.year != 0 && h.year < taxYear_;
        const std::optional<std::string> receipt = receiptAt(f, 165);
        const std::optional<std::string> previous = receiptAt(f, 204);
        h.receipt = receipt.value_or("");
        h.previousReceipt = previous.value_or("");
        if (!receipt) warn(line, "número do recibo da declaração inválido"_cp);
        if (!previous) warn(line, "número do recibo da declaração anterior inválido"_cp);
    }

    void readIdentification(const Line& line) {
        if (!FixedLine(line.text).reaches(kIdentificationEnd)) {
            d_.damaged.push_back({line.number, shortLine(line, 16)});
            return;
        }
        const FixedLine f(line.text);
        Identification& p = d_.person;
        p.cpf = f.trimmed(3, 11);
        p.name = f.raw(14, 53);
        p.streetType = f.raw(74, 15);
        p.street = f.raw(89, 37);
        p.number = f.raw(129, 6);
        p.complement = f.raw(135, 21);
        p.district = f.raw(156, 19);
        p.postalCode = f.trimmed(175, 8);
        p.abroad = f.at(183) == '1';
        p.municipalityCode = f.trimmed(184, 4);
        p.municipality = f.raw(188, 30);
        p.state = f.trimmed(228, 2);
        p.embassy = f.trimmed(230, 3);
        p.email = f.trimmed(236, 40);
        p.nit = f.trimmed(326, 11);
        p.spouseCpf = f.trimmed(337, 11);
        p.areaCode = f.trimmed(348, 4);
        p.telephone = f.trimmed(352, 9);
        p.voterTitle = f.trimmed(369, 13);
        p.occupation = f.trimmed(382, 3);
        p.occupationNature = f.trimmed(385, 2);
        p.bank = f.trimmed(404, 3);
        p.agency = f.trimmed(407, 4);
        p.account = f.trimmed(413, 15);
        p.mobileAreaCode = f.trimmed(486, 2);
        p.mobile = f.trimmed(488, 9);
        const std::optional<base::Date> birth = f.date(361);
        if (!birth)
            d_.damaged.push_back({line.number, badValue(line, 16, "data de nascimento")});
        else
            p.birth = *birth;
    }

    void readRecords() {
        size_t next = 0;  // the first stage the next line may take
        while (const std::optional<Line> line = lines_.LELINHA()) {
            if (line->damaged()) {
                d_.damaged.push_back({line->number, damageOf(*line)});
                continue;
            }
            const std::optional<int> type = recordType(*line);
            if (!type) return;
            const auto stage = std::find_if(kOrder.begin() + static_cast<long>(next), kOrder.end(),
                                            [&](const Stage& s) { return s.type == *type; });
            // A type out of order ends the declaration; what follows is not read.
            if (stage == kOrder.end()) return;
            next = static_cast<size_t>(stage - kOrder.begin()) + (stage->repeats ? 0 : 1);
            readRecord(*line, *type);
        }
    }

    void readRecord(const Line& line, int type) {
        const FixedLine f(line.text);
        switch (type) {
            case 21:
                if (need(line, type, 87)) d_.payers.push_back({f.trimmed(14, 14), f.raw(28, 60)});
                break;
            case 25:
                readDependant(line, f);
                break;
            case 26:
                readPayment(line, f);
                break;
            case 35:
                readAlimony(line, f);
                break;
            case 50:
                readProperty(line, f);
                break;
            case 52:
                readRuralResult(line, f);
                break;
            default:
                break;  // read and skipped
        }
    }

    bool need(const Line& line, int type, size_t lastPosition) {
        if (FixedLine(line.text).reaches(lastPosition)) return true;
        d_.damaged.push_back({line.number, shortLine(line, type)});
        return false;
    }

    void invalid(const Line& line, int type, const std::string& what) {
        d_.damaged.push_back({line.number, badValue(line, type, what)});
    }

    void warn(const Line& line, const std::string& text) {
        d_.warnings.push_back({line.number, lineNumberText(line) + ": " + text});
    }

    void readDependant(const Line& line, const FixedLine& f) {
        if (!need(line, 25, 99)) return;
        const std::optional<long long> relation = f.integer(19, 2);
        const std::optional<base::Date> birth = f.date(81);
        if (!relation) return invalid(line, 25, "código de dependência"_cp);
        if (!birth) return invalid(line, 25, "data de nascimento");
        d_.dependants.push_back(
            {static_cast<int>(*relation), f.raw(21, 40), *birth, f.trimmed(89, 11)});
    }

    void readPayment(const Line& line, const FixedLine& f) {
        if (!need(line, 26, 84)) return;
        const std::optional<long long> code = f.integer(14, 2);
        const std::optional<long long> number = f.integer(16, 5);
        if (!code) return invalid(line, 26, "código do pagamento");
        // The stored number holds two digits.
        if (!number || *number > 99) return invalid(line, 26, "número do beneficiário"_cp);
        if (*code == 0) return;
        d_.payments.push_back(
            {static_cast<int>(*code), static_cast<int>(*number), f.trimmed(21, 14), f.raw(35, 50)});
    }

    void readAlimony(const Line& line, const FixedLine& f) {
        if (d_.previousLayout) {
            if (need(line, 35, 58)) d_.alimony.push_back({99, f.raw(19, 40), {}, ""});
            return;
        }
        if (!need(line, 35, 98)) return;
        const std::optional<base::Date> birth = f.date(80);
        if (!birth) return invalid(line, 35, "data de nascimento");
        d_.alimony.push_back({f.at(14) == '0' ? 99 : 98, f.raw(20, 40), *birth, f.trimmed(88, 11)});
    }

    void readProperty(const Line& line, const FixedLine& f) {
        if (!need(line, 50, 155)) return;
        const std::optional<double> area = f.amount(138, 10, 1);
        const std::optional<double> share = f.amount(148, 5, 2);
        const std::optional<long long> condition = f.integer(153, 1);
        const std::optional<long long> activity = f.integer(154, 2);
        if (!area) return invalid(line, 50, "área"_cp);
        if (!share) return invalid(line, 50, "participação"_cp);
        if (!condition || !activity) return invalid(line, 50, "código de condição ou atividade"_cp);
        d_.properties.push_back({f.at(14) != '0', f.trimmed(15, 8), f.raw(23, 60), f.raw(83, 55),
                                 std::min(*area, kLargestArea), *share,
                                 static_cast<int>(*condition), static_cast<int>(*activity)});
    }

    void readRuralResult(const Line& line, const FixedLine& f) {
        if (!need(line, 52, 131)) return;
        const std::optional<double> result = f.amount(106, 13, 2);
        const std::optional<double> nonTaxable = f.amount(119, 13, 2);
        if (!result || !nonTaxable) return invalid(line, 52, "valor");
        d_.ruralResult = RuralResult{*result, *nonTaxable};
    }

    LineReader& lines_;
    int taxYear_;
    Declaration d_;
};

}  // namespace

Declaration readDeclaration(LineReader& reader, int taxYear) {
    return Reader(reader, taxYear).read();
}

}  // namespace kdx2::importing
