#pragma once

#include <optional>
#include <string>

// Start-up: the terminal number, the folders, the terminal's settings and
// the shared tables, up to the moment the main menu takes over.
namespace kdx2::shell {

// Build date compared by the update check, and the version shown.
inline constexpr const char* kBuildDate = "03/01/26";
std::string versionText();

// Current drive and folder: "C:\" at a root, "C:\IR2018" elsewhere.
std::string GETDIR();
// True when the current drive is a network drive.
bool TA_NA_REDE();
// True when the folder exists; otherwise tells "<Dir> " + path + "não
// encontrado. Assumiremos o default" and returns false.
bool CONFER_DIR(const std::string& path);
// Makes the folder current.
void ALTDIR(const std::string& path);
// Does nothing.
void TELA_INIC();

// The terminal number a command-line (or TERMINAL) value gives: one or two
// digits, as two digits ("7" gives "07"); nullopt for an empty value and an
// empty text for anything else ("abc", "100"), which start-up refuses.
std::optional<std::string> terminalFromArgument(const std::string& argument);
// True for one or two digits.
bool isTerminalNumber(const std::string& text);
// Terminal number of a workstation started without one: asked for on a
// network drive, "00" on a local one.
std::string QUAL_USUR();

// The install folder: KDX2DEF when it names an existing folder, otherwise
// the current folder.
std::string installFolder(const std::string& kdx2def);

// Opens CONFIG (table 52) on the terminal's record, appending one with the
// new-terminal defaults when it has none. False only when CONFIG cannot be
// opened. Leaves CONFIG open on the record (or at its end when a new record
// could not be made).
bool CONFIGURA(const std::string& terminal);

// Why the start-up ended the program early.
struct StartupFailure {
    int exitCode = 1;
};

// Steps of MAIN before the title window: terminal, folders, colours,
// settings, data folder question, folder list, shared tables and the data
// folder in use. Throws StartupFailure after telling the user why.
void prepareSession(const std::string& terminalArgument);

}  // namespace kdx2::shell
