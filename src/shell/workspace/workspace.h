#pragma once

#include <string>

// The declaration workspace: one taxpayer's rows of the seventeen year tables
// copied into the terminal's scratch copies (scratch.h), the register and
// summary values loaded into working values (working_values.h), and saving
// back into the shared year tables as one transaction (store/journal.h).
//
// Entry points for the shell: DISTRIBUI for the commands 11 and 12; the CPF
// prompt calls INIC_VAR (and DIRETO for F4); the page flow calls
// autoSaveWhenDue after each page, SAL_DEC for Alt+W and VETEMPO for Alt+H.
namespace kdx2::shell::workspace {

// What the workspace shows while it loads or saves. The default goes through
// the data store's feedback (a message window holding the text and the
// progress bar); the shell may draw it in its taxpayer window instead.
class Display {
  public:
    virtual ~Display() = default;
    // "Criando os dados...", "Salvando as informações", "Salvando IRM2" ...
    virtual void working(const std::string& text);
    // The progress bar (TAM_CALC) at its place: 0 the message window (cut
    // to 23 characters), 1 and 3 the taxpayer window.
    virtual void progress(const std::string& bar, int place);
    // The work is over: the message goes away.
    virtual void done();

  private:
    std::string text_;
};
Display& display();
// Installs `display` (not owned); nullptr restores the default.
void setDisplay(Display* display);

// The screens of the declaration and cash-book commands, which the shell
// provides; the workspace drives them.
class Screens {
  public:
    virtual ~Screens() = default;
    // The taxpayer window with the CPF prompt (F1/F2 lists, F4 DIRETO) for
    // `command` 11 or 12; the prompt loads the workspace through INIC_VAR and
    // asks again when that fails. False when the user left with Esc.
    virtual bool chooseTaxpayer(int command) = 0;
    // The open declaration: pages and menu until the leave flag LSAI is
    // set; CIGNORE then holds "I" to leave without saving.
    virtual void runDeclaration() = 0;
    // The cash book of the chosen taxpayer.
    virtual void runCashBook() = 0;
    // Back to the main menu's title window.
    virtual void showTitle() = 0;
};

// Commands 11 (declaration) and 12 (cash book).
void DISTRIBUI(int command, Screens& screens);
// The taxpayer loop of command 11.
void DECLARA(Screens& screens);

// Loads the workspace of the session's CPF: mode 12 the summary values only;
// 0 a new taxpayer; 1 an existing one (sub-mode 0 "Criando os dados...",
// above 0 "Reprocessando os dados..."). With LRECUPERA set the scratch copies
// are reopened instead of rebuilt. False, after telling the user, when a
// table could not be opened: no workspace is open then and the scratch
// copies are as they were.
bool INIC_VAR(int mode, int subMode);

// Loads the taxpayer of the session's CPF to be printed: the values and
// figures INIC_VAR (1, 1) gives, read through printing copies of their own
// (scratch.h), so the scratch copies a declaration left for F4 stay as they
// are; nor is the taxpayer announced as open or its stored version kept.
// The printing copies stay open for the pages and slips until
// releasePrintingCopies(). False, after telling the user, when a table
// could not be opened.
bool loadForPrinting();
// Closes and removes the copies of the taxpayer loaded for printing (nothing
// when the printed taxpayer was the open declaration's).
void releasePrintingCopies();

// Saves the workspace (mode 1 when leaving the taxpayer, 0 to keep working).
// Every year table is opened exclusively before anything is written. False,
// after telling the user that the taxpayer was not saved, on any failure:
// the workspace (mode 0) and the scratch copies stay as they were, so
// nothing typed is lost.
bool SALVATUDO(int mode);
// Saves one scratch copy into its year table (renumbering asset and debt
// items 10, 20, 30 ...). False after telling the user on failure.
bool SALVA_PARC(int table, int mode);
// Intermediate save keeping the current work area and record (Alt+W).
bool SAL_DEC();
// The automatic save, checked after each page: when 1 <= TEMP_SAL <= 97 and
// at least TEMP_SAL whole minutes passed since the last save, SAL_DEC.
// Returns true when it saved.
bool autoSaveWhenDue();
// Writes the working values into the scratch copies and flushes them, so a
// crash or a leave without saving keeps them for F4 (called by the page
// flow between pages and when leaving without saving).
void checkpoint();
// Leaving without saving: the working values go to the scratch copies, which
// are closed and kept.
void leaveWithoutSaving();

// F4 at the CPF prompt: takes the CPF of the register scratch copy and sets
// LRECUPERA, so the prompt goes on as if that CPF had been typed. False,
// with "Impossível recuperar o último CPF.", when there is nothing whole to
// bring back.
bool DIRETO();

// Positions the register (work area 9) on the CPF's record, locked, or
// appends one with that CPF. False when the lock or append failed.
bool PREP_REG(const std::string& cpf);
// Seconds spent on the taxpayer (TEMGAST), across midnight.
long VETEMPO();
// Bytes of the tables open in work areas 11 ... 18 (record size x count).
long VETAMHO();
// Adds `count` light-shade blocks to the progress bar and shows it.
void MOSTRADOR(int count, int place);

}  // namespace kdx2::shell::workspace
