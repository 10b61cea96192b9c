#include "shell/workspace/versions.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <optional>

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/process_state.h"
#include "base/text.h"
#include "common/messages.h"
#include "platform/drives.h"
#include "platform/file.h"
#include "shell/workspace/scratch.h"
#include "store/journal.h"
#include "store/table_files.h"
#include "store/work_areas.h"

namespace kdx2::shell::workspace {

using namespace base::literals;

namespace {

// Byte (kOpenMarks + CPF * 100 + terminal) of the register file is held
// (shared) by the terminal with that CPF open: beyond every lock the tables
// use, and one range per CPF so one query finds any terminal on it.
constexpr uint64_t kOpenMarks = 3'000'000'000;
constexpr uint64_t kTerminals = 100;

struct OpenMark {
    platform::File file;
    uint64_t at = 0;
};

std::optional<OpenMark>& openMark() {
    static std::optional<OpenMark> mark;
    [[maybe_unused]] static const bool registered = base::registerResetOnce([] { mark.reset(); });
    return mark;
}

std::optional<uint64_t> cpfNumber(const std::string& cpf) {
    const std::string digits = base::alltrim(cpf);
    uint64_t number = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (digits.size() != 11 || error != std::errc() || end != digits.data() + digits.size())
        return std::nullopt;
    return number;
}

int terminalIndex() {
    const std::string terminal = store::terminalNumber();
    int number = 0;
    std::from_chars(terminal.data(), terminal.data() + terminal.size(), number);
    return number >= 0 && number < static_cast<int>(kTerminals) ? number : 0;
}

platform::File registerFile() {
    return platform::openFile(base::session().text("LOCARQ") + "IRM9.DBF",
                              platform::File::Mode::ReadOnly);
}

std::string twoDigits(uint64_t number) {
    char text[8];
    std::snprintf(text, sizeof text, "%02u", static_cast<unsigned>(number % kTerminals));
    return text;
}

std::string otherTerminalIn(const platform::File& file, uint64_t cpf) {
    const uint64_t first = kOpenMarks + cpf * kTerminals;
    const std::optional<uint64_t> other =
        file.otherLockIn(first, kTerminals, platform::LockKind::Exclusive);
    return other ? twoDigits(*other - first) : "";
}

// ---- Stored versions ----

std::string versionFile() {
    return base::session().text("LOCTRAB") + "TMP_V" + store::terminalNumber() + ".TXT";
}

struct Checksum {
    uint64_t hash = 1469598103934665603ull;
    void mix(uint64_t value) {
        hash ^= value;
        hash *= 1099511628211ull;
    }
};

// The taxpayer's rows of every year table, each table's rows as a set (their
// order on disk follows the record numbers a save happened to reuse);
// `future` replaces a table's rows by the ones a save has staged.
uint64_t dataVersion(const std::string& cpf, const store::Transaction* future = nullptr) {
    Checksum sum;
    store::WorkAreas& areas = store::workAreas();
    for (int table = kFirstTable; table <= kLastTable; ++table) {
        if (table == kRegister) continue;
        store::Table& year = areas.area(table);
        std::optional<std::vector<uint64_t>> prints;
        if (future) prints = future->stagedRows(year);
        if (!prints) {
            year.setOrder(1);
            prints = store::rowFingerprints(year, store::rowsOfKey(year, cpf));
        }
        std::sort(prints->begin(), prints->end());
        sum.mix(static_cast<uint64_t>(table) << 32 | prints->size());
        for (uint64_t print : *prints)
            sum.mix(print);
    }
    return sum.hash;
}

// The register record but its mark ORDEM, which leaving a taxpayer clears.
uint64_t registerVersion(const std::string& cpf) {
    store::Table& reg = store::workAreas().area(kRegister);
    reg.setOrder(1);
    return reg.seek(base::Value(cpf)) ? store::rowFingerprint(reg, "ORDEM") : 0;
}

std::string hex(uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

// "CPF data register [pending-data]".
struct Versions {
    uint64_t data = 0;
    uint64_t reg = 0;
    std::optional<uint64_t> pending;
};

void writeVersions(const std::string& cpf, const Versions& versions) {
    std::string text = base::alltrim(cpf) + " " + hex(versions.data) + " " + hex(versions.reg);
    if (versions.pending) text += " " + hex(*versions.pending);
    text += "\n";
    platform::File out = platform::createFile(versionFile());
    out.writeAt(0, text.data(), text.size());
    out.close();
}

std::optional<Versions> rememberedVersions(const std::string& cpf) {
    const std::string path = versionFile();
    const std::optional<uint64_t> size = platform::fileSize(path);
    if (!size || *size > 128) return std::nullopt;
    std::string text(*size, '\0');
    platform::openFile(path, platform::File::Mode::ReadOnly).readExact(0, text.data(), text.size());
    std::vector<std::string> words;
    for (size_t at = 0; at < text.size();) {
        const size_t end = text.find_first_of(" \r\n", at);
        const size_t stop = end == std::string::npos ? text.size() : end;
        if (stop > at) words.push_back(text.substr(at, stop - at));
        at = stop + 1;
    }
    if (words.size() < 3 || words.size() > 4 || words[0] != base::alltrim(cpf)) return std::nullopt;
    std::vector<uint64_t> numbers;
    for (size_t i = 1; i < words.size(); ++i) {
        uint64_t number = 0;
        const std::string& word = words[i];
        auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), number, 16);
        if (error != std::errc() || end != word.data() + word.size()) return std::nullopt;
        numbers.push_back(number);
    }
    Versions versions{numbers[0], numbers[1], std::nullopt};
    if (numbers.size() == 3) versions.pending = numbers[2];
    return versions;
}

}  // namespace

std::string otherTerminalWith(const std::string& cpf) {
    const std::optional<uint64_t> number = cpfNumber(cpf);
    if (!number) return "";
    try {
        if (openMark()) return otherTerminalIn(openMark()->file, *number);
        return otherTerminalIn(registerFile(), *number);
    } catch (const base::Error&) {
        return "";
    }
}

void announceTaxpayerOpen(const std::string& cpf) {
    announceTaxpayerClosed();
    const std::optional<uint64_t> number = cpfNumber(cpf);
    if (!number) return;
    try {
        OpenMark mark;
        mark.file = registerFile();
        mark.at = kOpenMarks + *number * kTerminals + static_cast<uint64_t>(terminalIndex());
        const std::string other = otherTerminalIn(mark.file, *number);
        mark.file.lock(mark.at, 1, platform::LockKind::Shared, platform::LockWait::No);
        openMark() = std::move(mark);
        if (!other.empty())
            common::AVISOSN(
                {"O terminal "_cp + other + " está com a declaração deste contribuinte aberta."_cp,
                 "Se os dois gravarem, o último a gravar será avisado."_cp},
                common::box::kInformation);
    } catch (const base::Error&) {
        // Without the mark the save's own check still guards the data.
    }
}

void announceTaxpayerClosed() {
    openMark().reset();
}

void rememberStoredVersion(const std::string& cpf) {
    writeVersions(cpf, {dataVersion(cpf), registerVersion(cpf), std::nullopt});
}

void rememberPendingSave(const std::string& cpf, const store::Transaction& saving) {
    std::optional<Versions> versions = rememberedVersions(cpf);
    if (!versions) return;
    versions->pending = dataVersion(cpf, &saving);
    writeVersions(cpf, *versions);
}

bool mayOverwrite(const std::string& cpf) {
    std::optional<Versions> remembered;
    try {
        remembered = rememberedVersions(cpf);
    } catch (const base::Error&) {
    }
    // A workspace whose loaded version is unknown cannot tell.
    if (!remembered) return true;
    const uint64_t data = dataVersion(cpf);
    // Our own save cut short after its rows were decided: the register it
    // went on to write is ours too.
    if (remembered->pending && data == *remembered->pending) return true;
    if (data == remembered->data && registerVersion(cpf) == remembered->reg) return true;
    const std::string answer =
        common::AVISOSN({"Outro terminal gravou esta declaração depois que você a abriu."_cp,
                         "Gravar por cima apaga o que o outro terminal gravou."_cp},
                        common::box::kCustom, {"Sair sem gravar", "Gravar por cima"}, "Aviso");
    return base::alltrim(answer) == "2";
}

}  // namespace kdx2::shell::workspace
