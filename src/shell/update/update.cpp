// The update check (INTER), the SELIC merge and the installer (BAIXARQ).

#include "shell/update/update.h"

#include <cctype>
#include <charconv>
#include <cstdlib>

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/text.h"
#include "common/messages.h"
#include "platform/drives.h"
#include "platform/file.h"
#include "platform/http.h"
#include "platform/process.h"
#include "printing/routing.h"
#include "shell/exit.h"
#include "shell/main_menu.h"
#include "store/access.h"
#include "store/feedback.h"
#include "store/work_areas.h"
#include "ui/screen.h"

namespace kdx2::shell::update {

using namespace base::literals;

namespace {

constexpr int kRates = 45;
constexpr int kMessageRow = 18;
constexpr int kMessageColumn = 21;
constexpr const char* kUserAgent = "Programa KDX";
constexpr const char* kInstallerPath = "arquivos/rorore/";
// The start-up check must not hold up a workstation without a network.
constexpr long kStartupLimitMs = 3000;
constexpr long kAskedLimitMs = 10000;
// An installer is at most 9,999,999 bytes (seven digits on the page); its
// download may take a while on a slow line.
constexpr long kDownloadLimitMs = 300000;
// Waiting for another workstation's lock on the rate table.
constexpr double kRateLockSeconds = 2;

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? "" : value;
}

const std::string& title() {
    static const std::string text = "Atualização de versão"_cp;
    return text;
}

void say(const std::string& text) {
    common::AVISO(text, kMessageRow, kMessageColumn, base::session().text("COR_ENCH_C"));
    ui::refresh();
}

void clearSaid(size_t width = 38) {
    say(std::string(width, ' '));
}

void tell(const common::MessageLines& text, int kind) {
    common::AVISOSN(text, kind, {}, title());
}

bool hostSound(std::string_view host) {
    if (host.empty()) return false;
    for (char c : host)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-') return false;
    return true;
}

// The rate's text as the field keeps it, so "1.1" and 1.10 compare equal.
bool sameRate(double stored, double offered) {
    return base::formatFixed(stored, 10, 2) == base::formatFixed(offered, 10, 2);
}

// The conversion factor in force before `key`: the factor of the nearest
// earlier month, 0 when there is none. A month appended without it would
// turn every amount of its year into 0 where the factor is applied.
double factorBefore(store::Table& rates, const std::string& key) {
    if (rates.seek(base::Value(key), true)) return rates.get("MULTIPL").number();
    if (rates.eof())
        rates.goBottom();
    else
        rates.skip(-1);
    if (rates.bof() || rates.eof() || rates.get("ANOMES").text() >= key) return 0;
    return rates.get("MULTIPL").number();
}

std::string folderText(const std::string& folder) {
    return folder.empty() || folder.back() == '\\' ? folder : folder + "\\";
}

}  // namespace

std::optional<UpdateServer> configuredServer() {
    const std::string setting = base::alltrim(environment("KDX2_UPDATE_SERVER"));
    if (setting.empty()) return std::nullopt;
    UpdateServer server;
    const size_t colon = setting.rfind(':');
    server.host = setting.substr(0, colon);
    if (colon != std::string::npos) {
        const std::string port = setting.substr(colon + 1);
        auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), server.port);
        if (error != std::errc() || end != port.data() + port.size() || server.port < 1 ||
            server.port > 65535)
            return std::nullopt;
    }
    if (!hostSound(server.host)) return std::nullopt;
    return server;
}

std::string serverUrl(const UpdateServer& server, const std::string& path) {
    std::string url = "http://" + server.host;
    if (server.port != 80) url += ":" + std::to_string(server.port);
    return url + "/" + path;
}

MergeResult mergeSelic(const std::vector<SelicMonth>& months) {
    MergeResult result;
    store::WorkAreas& areas = store::workAreas();
    const bool wasOpen = areas.table(kRates) != nullptr;
    if (!wasOpen && !store::ABERTURA(kRates)) return result;
    store::Table* rates = areas.table(kRates);
    if (rates == nullptr) return result;
    const int previousArea = areas.current();
    areas.select(kRates);
    // The whole merge under the table lock: another workstation merging the
    // same page at the same moment cannot add a month this one adds too.
    if (store::FIL_LOCK(kRateLockSeconds)) {
        try {
            rates->setOrder(1);
            for (const SelicMonth& month : months) {
                if (rates->seek(base::Value(month.key))) {
                    if (sameRate(rates->get("TJM").number(), month.rate)) continue;
                    rates->put("TJM", base::Value(month.rate));
                    ++result.updated;
                } else {
                    const double factor = factorBefore(*rates, month.key);
                    if (!rates->append()) throw base::Error("UFIRM: inclusão recusada."_cp);
                    rates->put("ANOMES", base::Value(month.key));
                    rates->put("MULTIPL", base::Value(factor));
                    rates->put("TJM", base::Value(month.rate));
                    rates->put("SIMB_MOED", base::Value("R$"));
                    ++result.added;
                }
                rates->flush();
            }
            result.done = true;
        } catch (const base::Error& error) {
            store::feedback().alert(error.what());
        }
        rates->unlock();
    }
    if (!wasOpen) areas.close(kRates);
    areas.select(previousArea);
    return result;
}

void FIMSISTEMA1() {
    ui::clearKeyboard();
}

bool BAIXARQ(const std::string& tag, long size) {
    const std::optional<UpdateServer> server = configuredServer();
    if (!server) return false;
    base::NamedValues& s = base::session();
    const std::string name = installerName(tag);
    const std::string startFolder = folderText(s.text("DIRINST"));
    const std::string folder = startFolder + "INSTAL";
    const std::string path = startFolder + "instal\\" + name;

    if (common::AVISOSN("Confirme baixar a atualização KDX2-"_cp + s.text("VERSAO"),
                        common::box::kYesNo, {}, title()) != "S")
        return false;
    const std::string waiting = "AGUARDE! Baixando o programa " + name;
    say(waiting);
    platform::HttpRequest request;
    request.url = serverUrl(*server, kInstallerPath + name);
    request.userAgent = kUserAgent;
    // One byte more than announced tells a body that is too long.
    request.maxBytes = static_cast<size_t>(size) + 1;
    request.connectMs = kStartupLimitMs;
    request.totalMs = kDownloadLimitMs;
    const platform::HttpResponse answer = platform::httpGet(request);
    clearSaid(waiting.size());
    if (!answer.reached) {
        common::AVISOSN("Erro de conexão:"_cp + answer.error, common::box::kStop);
        return false;
    }
    if (answer.status != 200 || answer.body.size() != static_cast<size_t>(size)) {
        common::AVISOSN({"Erro na carga do Arquivo na internet!", "Tente novamente mais tarde"},
                        common::box::kStop);
        return false;
    }
    try {
        if (!platform::folderExists(folder)) platform::makeFolder(folder);
    } catch (const base::Error& error) {
        common::AVISOSN({"Erro ao criar a pasta " + startFolder + "instal", error.what()},
                        common::box::kStop);
        return false;
    }
    // Written beside its name and renamed when whole: a file at the
    // installer's name is always the whole download.
    const std::string partial = path + ".part";
    try {
        platform::File out = platform::createFile(partial);
        try {
            out.writeAt(0, answer.body.data(), answer.body.size());
            out.sync();
            out.close();
            platform::renameFile(partial, path);
        } catch (const base::Error& error) {
            platform::removeFile(partial);
            common::AVISOSN({"Problemas na gravação "_cp + path, error.what()}, common::box::kStop);
            return false;
        }
    } catch (const base::Error& error) {
        common::AVISOSN({"Erro ao criar o arquivo " + path, error.what()}, common::box::kStop);
        return false;
    }
    common::AVISOSN({"O programa " + name + " foi salvo na pasta abaixo:", startFolder + "INSTAL",
                     "Recomendamos que desabilite temporariamente o    ",
                     "anti-virus para evitar o bloqueio da instalação. "_cp,
                     "O programa agora será fechado para a instalação  "_cp,
                     "e automaticamente abrirá o instalador.Confira!"},
                    common::box::kInformation);
    std::vector<std::string> words = platform::splitCommandWords(environment("KDX2_INSTALLER"));
    const std::string installer = platform::hostPath(path);
    words.push_back(installer);
    const std::string program = words.front();
    words.erase(words.begin());
    return printing::MYRUN(program, words, false, false);
}

void INTER(int mode) {
    const bool asked = mode == 1;
    const std::optional<UpdateServer> server = configuredServer();
    if (!server) {
        if (asked)
            tell(
                {"O servidor de atualização não está configurado nesta estação."_cp,
                 "Informe-o em KDX2_UPDATE_SERVER (nome ou endereço, e a porta se não for 80)."_cp},
                common::box::kStop);
        return;
    }
    const std::string checking = "Verificando se existe atualização...."_cp;
    say(checking);
    platform::HttpRequest request;
    request.url = serverUrl(*server);
    request.userAgent = kUserAgent;
    request.maxBytes = kPageBytes;
    request.connectMs = asked ? kAskedLimitMs : kStartupLimitMs;
    request.totalMs = asked ? kAskedLimitMs : kStartupLimitMs;
    const platform::HttpResponse answer = platform::httpGet(request);
    clearSaid();
    if (!answer.reached) {
        common::AVISOSN({"Erro no acesso a Internet. Tente depois!",
                         "Não é possível saber se há atualização!"_cp},
                        common::box::kStop);
        return;
    }
    const std::string_view page = answer.body;

    if (hasSelicMarker(page)) {
        const std::optional<std::vector<SelicMonth>> months = selicBlock(page);
        if (!months) {
            if (asked)
                tell({"As taxas SELIC da página de atualização estão incompletas ou inválidas."_cp,
                      "Nenhuma taxa foi gravada."_cp},
                     common::box::kStop);
        } else if (!mergeSelic(*months).done && asked) {
            tell("A tabela de taxas SELIC (UFIRM) está em uso; as taxas não foram gravadas."_cp,
                 common::box::kStop);
        }
    }

    const std::optional<VersionMarker> marker = versionMarker(page);
    base::NamedValues& s = base::session();
    if (!marker) {
        if (asked) tell("Não houve leitura sobre a atualização!"_cp, common::box::kStop);
        return;
    }
    if (marker->date == s.text("CULTIMAVER")) {
        if (asked) tell("Não existe atualização no momento!"_cp, common::box::kInformation);
        return;
    }
    const std::string answerText = common::AVISOSN(
        {"Aviso! Existe a versão "_cp + marker->tag + " diferente da sua " + s.text("VERSAO"),
         "Atualização feita em "_cp + marker->date + ". Deseja atualizar agora?"},
        common::box::kYesNo, {}, title());
    if (answerText != "S") return;
    if (BAIXARQ(marker->tag, marker->size)) {
        // The installer replaces this program: nothing more is written.
        store::workAreas().closeAll();
        throw ProgramEnd{0};
    }
    common::AVISOSN("Nova atualização não instalada!"_cp, common::box::kStop);
}

void registerUpdateCommands() {
    registerCommand(23, [](int) { INTER(1); });
}

}  // namespace kdx2::shell::update
