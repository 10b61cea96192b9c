#include "printing/routing.h"

#include <cstdlib>

#include "base/cp850.h"
#include "base/error.h"
#include "base/named_values.h"
#include "base/text.h"
#include "common/messages.h"
#include "platform/drives.h"
#include "platform/print_service.h"
#include "platform/process.h"
#include "printing/output.h"
#include "printing/pages.h"
#include "ui/screen.h"

namespace kdx2::printing {

using namespace base::literals;

namespace {

constexpr const char* kUtilityName = "nodosimp";

bool isYes(const std::string& answer) {
    return base::alltrim(answer) == "S";
}

std::string chosenPrinter() {
    return base::alltrim(base::session().text("NOMEIMP"));
}

bool onTerminal() {
    return ui::started() && !ui::console().isHeadless();
}

// The options the utility gets for showing the text first (MOSTEL) and for
// offering the printers (MOSIMP).
std::vector<std::string> utilityOptions() {
    const base::NamedValues& s = base::session();
    const bool show = isYes(s.text("MOSTEL"));
    const bool select = isYes(s.text("MOSIMP"));
    std::vector<std::string> options{"96"};
    if (show && select) options.push_back("pre/sel");
    if (show && !select) options.push_back("pre");
    if (!show && select) options.push_back("sel");
    return options;
}

std::string programName(const std::string& program) {
    const size_t slash = program.rfind('/');
    return base::cp850::fromUtf8(slash == std::string::npos ? program : program.substr(slash + 1));
}

// The whole file, or nullopt after telling the user it could not be read.
std::optional<std::string> readPrintFile(const std::string& file) {
    try {
        platform::File stream = platform::openFile(file, platform::File::Mode::ReadOnly);
        std::string bytes(stream.size(), '\0');
        bytes.resize(stream.readAt(0, bytes.data(), bytes.size()));
        return bytes;
    } catch (const base::Error&) {
    }
    common::AVISOSN("Erro de leitura", common::box::kStop);
    // A missing folder ends quietly; any other failure leaves its code on
    // the status line (2: the file is not there, 5: it may not be read).
    if (!platform::folderExists(platform::folderOf(file))) return std::nullopt;
    const int code = platform::fileExists(file) || platform::folderExists(file) ? 5 : 2;
    common::MENS(0, "Erro do Dos " + base::padLeft(std::to_string(code), 2));
    return std::nullopt;
}

}  // namespace

void IMP_TXT() {
    IMP_TXT(base::session().text("CPF"));
}

void IMP_TXT(const std::string& documentName) {
    base::NamedValues& s = base::session();
    const std::string file = printFilePath();
    // A print file that vanished counts as an empty one: there is nothing
    // to send anywhere.
    if (!platform::fileExists(file) || !READSTREAM(file)) {
        if (s.integer("QUECON") == 1) common::AVISOSN("Nada para imprimir!!", common::box::kStop);
        return;
    }
    std::string printer = chosenPrinter();
    if (printer == kExternalUtility) {
        CHAMA_NDOS();
        return;
    }
    if (printer == kNoPrinter) {
        CHAMA_NOTEPAD(file);
        return;
    }
    if (isYes(s.text("MOSIMP"))) ESC_IMP();
    const bool shown = isYes(s.text("MOSTEL"));
    if (shown) CHAMA_NOTEPAD(file);
    printer = chosenPrinter();
    if (printer == kExternalUtility) {
        CHAMA_NDOS();
    } else if (printer == kNoPrinter) {
        // No printer chosen now: the viewer is all there is.
        if (!shown) CHAMA_NOTEPAD(file);
    } else {
        IMPRIMEX(file, printer, documentName);
    }
}

bool IMPRIMEX(const std::string& file, const std::string& printer,
              const std::string& documentName) {
    const std::optional<std::string> bytes = readPrintFile(file);
    if (!bytes) return false;
    if (bytes->empty()) {
        common::AVISOSN("Arquivo de impressão vazio!"_cp, common::box::kStop);
        return false;
    }
    if (!platform::printerQueueExists(printer)) {
        common::AVISOSN({"ATENÇÃO !!! Não foi possível iniciar a impressão"_cp,
                         "Verifique se a Impressora está ligada."_cp},
                        common::box::kStop);
        return false;
    }
    const platform::PrintSubmission sent =
        platform::printPages(layoutPages(*bytes), printer, documentName);
    if (!sent.rendered) {
        common::AVISOSN({"Não foi possível preparar a impressão."_cp, sent.error},
                        common::box::kStop);
        return false;
    }
    if (sent.job == 0) {
        // The blank, tab and blank of this line, as the box shows a tab.
        common::AVISOSN({"ATENÇÃO !!! Não foi possivel Iniciar a Impressão"_cp,
                         std::string(9, ' ') + "Favor Verificar a Impressora"},
                        common::box::kStop);
        return false;
    }
    return true;
}

bool CHAMA_NDOS() {
    const base::NamedValues& s = base::session();
    const std::string utility = s.text("ARQDEF") + kUtilityName;
    if (!platform::fileExists(utility)) {
        common::AVISOSN({"O programa de impressão "_cp + kUtilityName + " não foi encontrado"_cp,
                         "na pasta " + s.text("ARQDEF") + "."},
                        common::box::kStop);
        return false;
    }
    std::vector<std::string> arguments{platform::hostPath(printFilePath())};
    for (const std::string& option : utilityOptions())
        arguments.push_back(option);
    // The utility may show the text or ask for a printer: it gets the terminal.
    return MYRUN(platform::hostPath(utility), arguments, true, true);
}

bool CHAMA_NOTEPAD(const std::string& file) {
    if (!onTerminal()) {
        common::MENS(0, "Sem terminal para o visualizador: o texto ficou em " + file);
        return true;
    }
    const std::optional<std::string> bytes = readPrintFile(file);
    if (!bytes) return false;
    try {
        // Named like the print file, as the viewer shows the name.
        const std::string name = platform::fileNameOf(file);
        platform::TemporaryHostFile copy(base::cp850::toUtf8(name.substr(0, name.rfind('.'))) + "-",
                                         ".txt");
        copy.write(viewerText(*bytes));
        const char* pager = std::getenv("PAGER");
        std::vector<std::string> words = platform::splitCommandWords(pager != nullptr ? pager : "");
        if (words.empty()) words.push_back("less");
        const std::string program = words.front();
        words.erase(words.begin());
        words.push_back(copy.hostPath());
        return MYRUN(program, words, true, true);
    } catch (const base::Error& error) {
        common::AVISOSN(std::string(error.what()), common::box::kStop);
        return false;
    }
}

bool MYRUN(const std::string& program, const std::vector<std::string>& arguments, bool wait,
           bool withTerminal) {
    const platform::ProgramTerminal terminal = withTerminal && onTerminal()
                                                   ? platform::ProgramTerminal::HandOver
                                                   : platform::ProgramTerminal::None;
    const platform::ProgramRun run = platform::runProgram(program, arguments, wait, terminal);
    if (!run.started) {
        common::AVISOSN(run.error, common::box::kStop);
        return false;
    }
    if (!wait || (run.exited && run.exitCode == 0)) return true;
    const std::string name = programName(program);
    if (run.exited)
        common::AVISOSN("O programa " + name + " terminou com o código "_cp +
                            std::to_string(run.exitCode) + ".",
                        common::box::kStop);
    else
        common::AVISOSN(
            "O programa " + name + " foi interrompido (sinal " + std::to_string(run.signal) + ").",
            common::box::kStop);
    return false;
}

std::string viewerText(const std::string& printFile) {
    std::string text;
    text.reserve(printFile.size());
    bool lineHasText = false;
    for (char ch : printFile) {
        const unsigned char byte = static_cast<unsigned char>(ch);
        if (ch == '\n' || ch == '\0') {
            text += '\n';
            lineHasText = false;
        } else if (ch == kFormFeed) {
            if (lineHasText) text += '\n';
            lineHasText = false;
        } else if (byte >= 32 || ch == '\t') {
            text += ch;
            lineHasText = true;
        }
    }
    return base::cp850::toUtf8(text);
}

}  // namespace kdx2::printing
