#include "shell/layouts.h"

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/text.h"
#include "common/windows.h"
#include "shell/settings.h"

namespace kdx2::shell {

using namespace base::literals;

namespace {

constexpr int kTitleSlot = 7;
constexpr int kFolderSlot = 3;
constexpr int kTitleWidth = 50;
constexpr int kFolderWidth = 42;

// The banner of the title window, in full blocks.
const char* const kBanner[] = {
    "#  #  ###   #   #  ####", "# #   #  #   # #      #", "##    #  #    #    ####",
    "# #   #  #   # #   #   ", "#  #  ###   #   #  ####",
};

std::string framed(const std::string& inside) {
    return "\xB3" + base::padRight(inside, kTitleWidth - 2) + "\xB3";
}

std::string centred(const std::string& text, int width) {
    const int left = std::max((width - static_cast<int>(text.size())) / 2, 0);
    return base::padRight(std::string(static_cast<size_t>(left), ' ') + text,
                          static_cast<size_t>(width));
}

std::string blocks(std::string line) {
    for (char& ch : line)
        if (ch == '#') ch = '\xDB';
    return line;
}

void setAnchor(int index, int row, int column) {
    SessionLists& lists = sessionLists();
    if (index < 0 || index >= static_cast<int>(lists.ALJA.size())) return;
    lists.ALJA[static_cast<size_t>(index)] = row;
    lists.ACJA[static_cast<size_t>(index)] = column;
}

void titleWindow() {
    const base::NamedValues& s = base::session();
    setAnchor(s.integer("NT"), 3, 20);
    common::REDEFJAN(kTitleSlot, s.integer("COR_ENCHE"), s.integer("COR_TEL2"),
                     s.integer("COR_TEL2"), 3, 20, 17, 69, 0);
    common::ABREJAN(kTitleSlot);
    std::string text;
    for (const std::string& row :
         titleWindowRows(s.integer("QUEANO"), s.text("NUSU"), s.text("VERSAO")))
        text += row;
    common::ESCRJAN(kTitleSlot, text);
}

void folderWindow() {
    base::NamedValues& s = base::session();
    const int command = s.integer("OPCAO_1");
    const std::vector<std::string> captions = folderWindowCaptions(command, s.integer("QUEANO"));
    SessionLists& lists = sessionLists();
    // Commands without captions of their own keep the column anchor they had.
    const int column = captions.empty() ? lists.ACJA[4] : 15;
    setAnchor(4, 6, column);
    s.set("NTA", 4);
    common::REDEFJAN(kFolderSlot, s.integer("COR_TEL1"), s.integer("COR_TEL2"),
                     s.integer("COR_TEL3"), 6, 15, 12, 56, 0);
    common::ABREJAN(kFolderSlot);
    const std::string top = captions.empty() ? "" : captions[0];
    const std::string bottom = captions.size() < 2 ? "" : captions[1];
    const std::string rule = "\xC3" + std::string(kFolderWidth - 2, '\xC4') + "\xB4";
    const std::string text = "\xDA" + std::string(kFolderWidth - 2, '\xC4') + "\xBF" + "\xB3" +
                             base::padRight("Drive e pasta " + top, kFolderWidth - 2) + "\xB3" +
                             "\xB3" + std::string(kFolderWidth - 2, ' ') + "\xB3" + rule + "\xB3" +
                             base::padRight("Drive e pasta " + bottom, kFolderWidth - 2) + "\xB3" +
                             "\xB3" + std::string(kFolderWidth - 2, ' ') + "\xB3" + "\xC0" +
                             std::string(kFolderWidth - 2, '\xC4') + "\xD9";
    common::ESCRJAN(kFolderSlot, text);
}

}  // namespace

std::vector<std::string> titleWindowRows(int baseYear, const std::string& terminal,
                                         const std::string& version) {
    const std::string rule(kTitleWidth - 2, '\xC4');
    std::vector<std::string> rows;
    rows.push_back("\xDA" + rule + "\xBF");
    rows.push_back(framed(" " + base::padRight("Exercício "_cp + std::to_string(baseYear + 1), 30) +
                          "Ano Base  " + std::to_string(baseYear)));
    rows.push_back(framed(""));
    for (const char* line : kBanner)
        rows.push_back(framed(centred(blocks(line), kTitleWidth - 2)));
    rows.push_back(framed(""));
    rows.push_back(framed(" " + base::padRight("Term. " + terminal, 36) + "com LCDPR"));
    rows.push_back(framed(""));
    rows.push_back(framed(centred("Versao " + version, kTitleWidth - 2)));
    rows.push_back(framed(""));
    rows.push_back(framed(""));
    rows.push_back("\xC0" + rule + "\xD9");
    return rows;
}

std::vector<std::string> folderWindowCaptions(int command, int baseYear) {
    const std::string year = std::to_string(baseYear);
    switch (command) {
        case 71:
            return {"do Tavo  " + year, "do KDX2  " + year};
        case 72:
            return {"do IRPF  " + year, "do KDX2  " + year};
        case 73:
            return {"do ROrore" + year, "do KDX2  " + year};
        case 21:
            return {"Atual do KDX2", "Nova  do KDX2"};
        case 22:
        case 61:
        case 62:
            return {"Origem", "Destino"};
        default:
            return {};
    }
}

void MTELA1(int screen, int row, int column) {
    base::NamedValues& s = base::session();
    switch (screen) {
        case 9:
            titleWindow();
            break;
        case 4:
            folderWindow();
            break;
        default:
            setAnchor(screen, row, column);
            s.set("NTA", screen);
            break;
    }
}

}  // namespace kdx2::shell
