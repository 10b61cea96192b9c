#include "importing/previous_program.h"

#include <array>
#include <cstdio>

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/text.h"
#include "common/identifiers.h"
#include "common/utilities.h"
#include "importing/row_changes.h"
#include "importing/services.h"
#include "importing/tables.h"
#include "platform/drives.h"
#include "store/access.h"
#include "store/dbf.h"
#include "store/work_areas.h"

namespace kdx2::importing {

using namespace base::literals;

namespace {

constexpr int kLastTable = 15;
constexpr int kNotADependant = 100;
constexpr int kSkippedPayment = 16;

// The register fields the previous program shares with ours; the access
// code, text there, is a number here.
constexpr std::array<const char*, 34> kRegisterFields{
    "NOMECONTR", "TIPOEND",   "ENDERECO",  "NUMERO",    "COMPLEM",    "BAIRRO",     "CEP",
    "CODMUNI",   "MUNICIPIO", "UF",        "TELEFO",    "NASCIMENTO", "CGCPAGADOR", "OCUPACAO",
    "CDPRO",     "CODAT",     "DESCRAT",   "CPFCONJU",  "NOVOEND",    "DDDTEL",     "DDDFAX",
    "NROFAX",    "EMAIL",     "TITULO",    "BANCO",     "AGENCIA",    "CONTACO",    "TELCELU",
    "TELESCR",   "TELSECR",   "RECIBOATU", "RECIBOANT", "TEMRURAL",   "SENACESSO"};

// What an update leaves as the destination has it: the name, the birth date
// and the main payer.
bool keptOnUpdate(std::string_view field) {
    return field == "NOMECONTR" || field == "NASCIMENTO" || field == "CGCPAGADOR";
}

store::Table& area(int number) {
    return store::workAreas().area(number);
}

std::string cpfOf(const base::NamedValues& row) {
    return base::alltrim(row.get("CPF").text());
}

std::string textOf(const base::Value& value) {
    if (value.isCharacter()) return value.text();
    if (value.isNumeric()) {
        std::string text = base::fixedText(value.number(), 6);
        while (text.find('.') != std::string::npos && (text.back() == '0' || text.back() == '.'))
            text.pop_back();
        return text;
    }
    if (value.isDate()) return value.date().dtos();
    return value.logical() ? "T" : "F";
}

// A value of another table's field, converted to the type of this one.
base::Value asFieldType(const store::Table& table, std::string_view field,
                        const base::Value& value) {
    const int index = table.fieldIndex(field);
    const base::Type type = table.structure()[static_cast<size_t>(index)].type;
    if (value.type() == type) return value;
    switch (type) {
        case base::Type::Character:
            return base::Value(textOf(value));
        case base::Type::Numeric:
            return base::Value(base::parseNumber(textOf(value)));
        case base::Type::Date: {
            const std::string text = base::alltrim(textOf(value));
            const std::optional<base::Date> date = text.find('/') != std::string::npos
                                                       ? base::Date::fromDtoc(text)
                                                       : base::Date::fromDtos(text);
            return base::Value(date.value_or(base::Date()));
        }
        case base::Type::Logical: {
            const std::string text = base::asciiUpper(base::alltrim(textOf(value)));
            return base::Value(text == "T" || text == "S" || text == "Y");
        }
    }
    return value;
}

// Copies a field by name; a field the source lacks reads as empty.
void copyField(store::Table& to, const base::NamedValues& from, std::string_view field) {
    if (!to.hasField(field)) return;
    to.put(field, asFieldType(to, field, from.get(field)));
}

void copyFields(store::Table& to, const base::NamedValues& from,
                std::initializer_list<const char*> fields) {
    for (const char* field : fields)
        copyField(to, from, field);
}

bool hasRuralActivity(const base::NamedValues& taxpayer) {
    return base::asciiUpper(base::alltrim(taxpayer.get("TEMRURAL").text())) == "S";
}

int numberOf(const base::NamedValues& row, const char* field) {
    return static_cast<int>(base::parseNumber(textOf(row.get(field))));
}

std::string monthField(const char* group, int month) {
    char name[16];
    std::snprintf(name, sizeof name, "%s%02d", group, month);
    return name;
}

class TaxpayerConversion {
  public:
    TaxpayerConversion(const PreviousProgram& source, const base::NamedValues& taxpayer,
                       FileOutcome& outcome)
        : source_(source), taxpayer_(taxpayer), cpf_(cpfOf(taxpayer)), outcome_(outcome) {}

    void addNew() {
        services().showProgress("Convertendo os dados...", 0, 4);
        for (const base::NamedValues* payer : source_.payers.rowsOf(cpf_)) {
            store::Table& t = changes_.append(kSources);
            t.put("CPF", base::Value(cpf_));
            copyFields(t, *payer, {"I1_1", "I1_2", "I1_3"});
        }
        services().showProgress("Convertendo os dados...", 1, 4);
        copyDependants(true);
        for (const base::NamedValues* payment : source_.payments.rowsOf(cpf_)) {
            if (numberOf(*payment, "I6_3") == kSkippedPayment) continue;
            store::Table& t = changes_.append(kPayments);
            t.put("CPF", base::Value(cpf_));
            copyFields(t, *payment, {"I6_1", "I6_2", "I6_3", "I6_6"});
        }
        services().showProgress("Convertendo os dados...", 2, 4);
        if (hasRuralActivity(taxpayer_)) BUSCA_IMOVEIS(1);
        services().showProgress("Convertendo os dados...", 3, 4);
        // The register record last: until it exists the taxpayer is not there.
        store::Table& reg = changes_.append(kRegister);
        reg.put("CPF", base::Value(cpf_));
        copyRegister(reg, false);
        reg.put("TEM_USO", base::Value(0));
        reg.put("TAM_USO", base::Value(0));
        reg.put("ESTATUS", base::Value(1));
        reg.put("I9C_2", base::Value(0));
        reg.put("I9C_3", base::Value(0));
        reg.put("DIRCONJU", base::Value(""));
        finish();
    }

    void update() {
        const std::string working =
            "Convertendo Bens, dependentes, endereço e Ganho Cap e Atividade Rural"_cp;
        services().showProgress(working, 0, 4);
        sumCompanyPayers();
        services().showProgress(working, 1, 4);
        removeTaxpayerRows(changes_, kDependants, cpf_);
        copyDependants(false);
        services().showProgress(working, 2, 4);
        if (hasRuralActivity(taxpayer_)) BUSCA_IMOVEIS(0);
        services().showProgress(working, 3, 4);
        seekTaxpayer(kRegister, cpf_);
        changes_.changing(kRegister);
        copyRegister(area(kRegister), true);
        finish();
    }

  private:
    void finish() {
        changes_.commit();
        services().showProgress("", 4, 4);
        outcome_.result = FileOutcome::Result::Converted;
    }

    void copyRegister(store::Table& reg, bool updating) {
        for (const char* field : kRegisterFields)
            if (!updating || !keptOnUpdate(field)) copyField(reg, taxpayer_, field);
        reg.put("TEMRURAL", base::Value(hasRuralActivity(taxpayer_) ? "S" : "N"));
        reg.put("CODACESSO",
                base::Value(base::parseNumber(base::alltrim(textOf(taxpayer_.get("CODACESSO"))))));
        reg.put("ORDEM", base::Value(1));
    }

    void copyDependants(bool skipNonDependants) {
        for (const base::NamedValues* dependant : source_.dependants.rowsOf(cpf_)) {
            if (skipNonDependants && numberOf(*dependant, "CODIDEPEN") == kNotADependant) continue;
            store::Table& t = changes_.append(kDependants);
            t.put("CPF", base::Value(cpf_));
            copyFields(t, *dependant,
                       {"NOMEDEPEN", "CODIDEPEN", "DATADEPEN", "CPFDEPEN", "NRODEPEN"});
        }
    }

    // The company payers typed in this program: their numbers punctuated,
    // their account and credit set and each annual total the sum of its
    // twelve months.
    void sumCompanyPayers() {
        store::Table& payers = area(kSources);
        payers.setOrder(1);
        payers.forEachKey(base::Value(cpf_), [&](store::Table& row) {
            if (base::rtrim(row.get("CPF").text()) != cpf_ ||
                base::alltrim(row.get("I1_1").text()) != "J")
                return true;
            changes_.changing(kSources);
            row.put("I1_3", base::Value(common::CONTAPONTO(base::alltrim(row.get("I1_3").text()))));
            row.put("CDCONTA", base::Value("2100"));
            row.put("TIPOCR", base::Value("C"));
            for (const char* group : {"I1_4", "I1_5", "I1_6", "I1_7"}) {
                double total = 0;
                for (int month = 1; month <= 12; ++month)
                    total += row.get(monthField(group, month)).number();
                row.put(monthField(group, 13), base::Value(total));
            }
            return true;
        });
    }

    // Mode 0 replaces the taxpayer's properties, mode 1 adds them.
    void BUSCA_IMOVEIS(int mode) {
        if (mode == 0) removeTaxpayerRows(changes_, kProperties, cpf_);
        for (const base::NamedValues* property : source_.properties.rowsOf(cpf_)) {
            store::Table& t = changes_.append(kProperties);
            t.put("CPF", base::Value(cpf_));
            for (int n = 1; n <= 7; ++n) {
                const std::string to = monthField("I2_", n);
                t.put(to, asFieldType(t, to, property->get(monthField("I2R_", n))));
            }
        }
    }

    const PreviousProgram& source_;
    const base::NamedValues& taxpayer_;
    std::string cpf_;
    FileOutcome& outcome_;
    RowChanges changes_;
};

}  // namespace

SourceTable SourceTable::read(const std::string& path) {
    const platform::File file = platform::openFile(path, platform::File::Mode::ReadOnly);
    const store::dbf::Layout layout = store::dbf::readLayout(file);
    SourceTable table;
    std::vector<char> record(layout.header.recordLength);
    for (uint32_t recno = 1; recno <= layout.header.recordCount; ++recno) {
        file.readExact(layout.recordOffset(recno), record.data(), record.size());
        if (record[0] == store::dbf::kDeleted) continue;
        base::NamedValues row;
        for (size_t i = 0; i < layout.fields.size(); ++i)
            row.set(layout.fields[i].name,
                    store::dbf::decodeField(layout.fields[i], record.data() + layout.offsets[i]));
        table.byCpf_.emplace(cpfOf(row), table.rows_.size());
        table.rows_.push_back(std::move(row));
    }
    return table;
}

std::vector<const base::NamedValues*> SourceTable::rowsOf(const std::string& cpf) const {
    std::vector<const base::NamedValues*> rows;
    const auto [first, last] = byCpf_.equal_range(base::alltrim(cpf));
    for (auto it = first; it != last; ++it)
        rows.push_back(&rows_[it->second]);
    return rows;
}

std::string previousTableName(int number, int taxYear) {
    char name[24];
    std::snprintf(name, sizeof name, "IMP%02d%02d.DBF", number, taxYear % 100);
    return name;
}

PreviousProgram readPreviousProgram(const std::string& folder, int taxYear) {
    const std::string closed = common::BAR_DIR(folder);
    auto table = [&](int number) {
        return SourceTable::read(closed + previousTableName(number, taxYear));
    };
    return PreviousProgram{table(2), table(3), table(6), table(9), table(16)};
}

bool openConversionTables() {
    for (int number = 1; number <= kLastTable; ++number)
        if (!store::ABERTURA(number, true)) return false;
    return true;
}

FileOutcome convertPreviousTaxpayer(const PreviousProgram& source, const std::string& cpf,
                                    bool convertedBefore) {
    FileOutcome outcome;
    outcome.cpf = base::alltrim(cpf);
    const std::vector<const base::NamedValues*> found = source.taxpayers.rowsOf(outcome.cpf);
    if (found.empty()) {
        outcome.message = {"O contribuinte "_cp + outcome.cpf +
                           " não está mais na pasta de origem."_cp};
        return outcome;
    }
    const base::NamedValues& taxpayer = *found.front();
    outcome.name = base::rtrim(taxpayer.get("NOMECONTR").text());
    const bool present = seekTaxpayer(kRegister, outcome.cpf);
    if (present && convertedBefore) {
        outcome.result = FileOutcome::Result::Existing;
        return outcome;
    }
    base::session().set("CPF", outcome.cpf);
    base::session().set("NOMECONTR", outcome.name);
    services().showTaxpayer();
    try {
        TaxpayerConversion conversion(source, taxpayer, outcome);
        if (present)
            conversion.update();
        else
            conversion.addNew();
    } catch (const base::Error& error) {
        outcome.result = FileOutcome::Result::NotConverted;
        outcome.message = {error.what()};
    }
    return outcome;
}

}  // namespace kdx2::importing
