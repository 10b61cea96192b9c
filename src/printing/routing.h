#pragma once

#include <string>
#include <vector>

// The printer choice of the terminal and where a finished print file goes:
// a desktop printer (a CUPS queue, as a PDF), the external print utility
// ("NAO DOS": the program nodosimp of the install folder) or the text viewer
// ("Sem Impressora").
namespace kdx2::printing {

inline constexpr const char* kExternalUtility = "NAO DOS";
inline constexpr const char* kNoPrinter = "Sem Impressora";

// At start-up: IPADRAO (and NOMEREDE) := the desktop's default printer; the
// terminal's ListaIMP record is created when missing (printer "NAO DOS");
// NOMEIMP := the terminal's chosen printer. NOMEIMP and IPADRAO are trimmed.
void CRIA_SEQ();

// Opens ListaIMP, loads the terminal's printer and runs the printer choice.
void CONFIMP();

// The printer choice dialog: the desktop's printers, then "NAO DOS" and
// "Sem Impressora". Only a choice leaves it. The choice goes to NOMEIMP and
// to the terminal's ListaIMP record (SEQ0 and SEQ1 emptied). Returns true.
bool ESC_IMP();

// The entries of the printer choice, in order, and the one preselected
// (1-based): the entry equal to the trimmed current printer, else the third.
struct PrinterChoices {
    std::vector<std::string> entries;
    int preselected = 1;
};
PrinterChoices printerChoices(const std::string& currentPrinter);

// Routes the finished print file for the document `documentName` (the
// taxpayer's CPF by default): to the utility, the viewer or a desktop
// printer, as the terminal's printer says.
void IMP_TXT(const std::string& documentName);
void IMP_TXT();

// Prints a text file on a desktop printer: lays it out on A4 pages, writes
// them as a PDF and sends it to the printer's queue as a job titled with the
// document name. False, after telling the user, when it could not.
bool IMPRIMEX(const std::string& file, const std::string& printer, const std::string& documentName);

// Hands the print file to the external print utility and waits for it.
// False, after telling the user, when it is missing, cannot be started or
// ends with an error.
bool CHAMA_NDOS();

// Shows the file in the text viewer ($PAGER, else less) and waits until it
// is closed. Without a terminal (a headless run) the viewer is not started:
// the status line says where the file stays.
bool CHAMA_NOTEPAD(const std::string& file);

// Runs a program (host path or name on the PATH) with its arguments as a
// list, without a command interpreter; with wait, until it ends. With
// withTerminal the program gets the terminal meanwhile. False, after telling
// the user, when it cannot be started, or (waited for) ends with an error.
bool MYRUN(const std::string& program, const std::vector<std::string>& arguments, bool wait = true,
           bool withTerminal = false);

// The print file as the viewer shows it: UTF-8, lines ending in LF, the
// pitch and page-eject bytes left out (an eject inside a line ends it).
std::string viewerText(const std::string& printFile);

}  // namespace kdx2::printing
