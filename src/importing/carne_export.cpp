#include "importing/carne_export.h"

#include "base/cp850.h"
#include "importing/fixed_line.h"

namespace kdx2::importing {

using namespace base::literals;

namespace {

constexpr std::string_view kTaxpayerFirst = "01CLEAO2";
constexpr size_t kTaxpayerEnd = 112;  // the professional registration ends there
constexpr size_t kMonthEnd = 160;

// Where each amount of a month line starts (13 digits, 2 implied decimals).
constexpr std::array<size_t, kMonthColumns> kMonthStarts{31, 44, 57, 109, 70, 148};

std::string where(const Line& line, std::string_view type) {
    return "linha " + std::to_string(line.number) + " (registro " + std::string(type) + ")";
}

class Reader {
  public:
    explicit Reader(LineReader& lines) : lines_(lines) {}

    CarneExport read() {
        const std::optional<Line> first = lines_.LELINHA();
        if (!first) return std::move(c_);
        const FixedLine header(first->text);
        c_.year = static_cast<int>(header.integer(11, 4).value_or(0));
        c_.typeKey = header.raw(1, 8) + header.raw(11, 4);
        std::optional<Line> taxpayer = first;
        if (!firstLineIsTaxpayer(first->text)) taxpayer = lines_.LELINHA();
        if (!taxpayer || taxpayer->damaged() || taxpayer->type() != "01") {
            c_.outcome = CarneExport::Outcome::NoTaxpayer;
            return std::move(c_);
        }
        c_.outcome = CarneExport::Outcome::Read;
        readTaxpayer(*taxpayer);
        while (const std::optional<Line> line = lines_.LELINHA())
            readLine(*line);
        return std::move(c_);
    }

  private:
    void readTaxpayer(const Line& line) {
        const FixedLine f(line.text);
        if (!f.reaches(kTaxpayerEnd)) {
            damaged(line, where(line, "01") + ": incompleta");
            return;
        }
        c_.cpf = f.trimmed(21, 11);
        c_.name = f.raw(32, 53);
        c_.occupation = f.trimmed(92, 3);
        c_.registration = f.trimmed(96, 17);
    }

    void readLine(const Line& line) {
        if (line.tooLong) return damaged(line, where(line, "?") + ": longa demais");
        if (line.binary)
            return damaged(line, where(line, "?") + ": contém bytes que não são texto"_cp);
        if (line.type() == "02") return readMonth(line);
        if (line.type() == "03") return readReceipt(line);
    }

    void readMonth(const Line& line) {
        // Only twelve months exist; further month lines are ignored.
        if (c_.monthsRead >= 12) return;
        const FixedLine f(line.text);
        if (!f.reaches(kMonthEnd)) return damaged(line, where(line, "02") + ": incompleta");
        std::array<double, kMonthColumns> amounts{};
        for (int column = 0; column < kMonthColumns; ++column) {
            const std::optional<double> amount = f.amount(kMonthStarts[column], 13, 2);
            if (!amount) return damaged(line, where(line, "02") + ": valor inválido"_cp);
            amounts[column] = *amount;
        }
        c_.months[static_cast<size_t>(c_.monthsRead++)] = amounts;
    }

    void readReceipt(const Line& line) {
        const FixedLine f(line.text);
        // A letter at position 3 marks the newer layout, three positions longer.
        const char mark = f.at(3);
        const bool newer = (mark >= 'A' && mark <= 'Z') || (mark >= 'a' && mark <= 'z');
        const size_t shift = newer ? 3 : 0;
        if (!f.reaches(47 + shift)) return damaged(line, where(line, "03") + ": incompleta");
        const std::optional<long long> month = f.integer(newer ? 6 : 3, 2);
        const std::optional<long long> day = newer ? f.integer(4, 2) : std::optional<long long>(1);
        const std::optional<double> amount = f.amount(35 + shift, 13, 2);
        if (!month || *month < 1 || *month > 12)
            return damaged(line, where(line, "03") + ": mês inválido"_cp);
        if (!day || !dayOf(c_.year, static_cast<int>(*month), static_cast<int>(*day)))
            return damaged(line, where(line, "03") + ": data inválida"_cp);
        if (!amount) return damaged(line, where(line, "03") + ": valor inválido"_cp);
        c_.receipts.push_back({static_cast<int>(*day), static_cast<int>(*month),
                               f.trimmed(13 + shift, 11), f.trimmed(24 + shift, 11), *amount});
    }

    void damaged(const Line& line, std::string text) {
        c_.damaged.push_back({line.number, std::move(text)});
    }

    LineReader& lines_;
    CarneExport c_;
};

}  // namespace

bool firstLineIsTaxpayer(std::string_view firstLine) {
    return firstLine.substr(0, kTaxpayerFirst.size()) == kTaxpayerFirst;
}

CarneExport readCarneExport(LineReader& reader) {
    return Reader(reader).read();
}

}  // namespace kdx2::importing
