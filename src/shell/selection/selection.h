#pragma once

#include <functional>
#include <string>
#include <vector>

#include "store/table.h"

// How the taxpayer (a CPF), the data folder and the tax year are chosen: the
// CPF prompt and the search in the other registered folders, the work
// folder, the tax year, the renumbering of a CPF, the transfer of taxpayers
// between data folders and the editing of the registered folder list.
//
// Main-menu entry points: 13 editFolderList, 21 SELAREA, 22 TRANOME(1), 29 MUDA_CPF,
// 31 BUSCA_ANO (registerSelectionCommands registers them). The declaration
// and cash-book commands (11, 12) reach the CPF prompt through
// chooseTaxpayer, which the workspace's Screens::chooseTaxpayer calls.
namespace kdx2::shell::selection {

// ---- The taxpayer window --------------------------------------------------

// Opens the taxpayer window (slot 3, rows 17-23, columns 4-75): the CPF and
// name boxes, a rule and the line of the data folder.
void showTaxpayerWindow();
// Shows in the taxpayer window the CPF ("@R 999.999.999-99"), the name and
// the data folder; mode 1 first takes CPF and NOMECONTR from the current
// record of the register (work area 9).
void MOSTR_PAG(int mode);
// Writes a working message and the progress bar (light-shade blocks, `done`
// of `total` over 40 columns) on the taxpayer window's fifth row.
void showProgress(const std::string& text, int done, int total);

// ---- The CPF prompt --------------------------------------------------------

// Reads a CPF into the session field `variable` at grid row 17 + rowOffset,
// column 4 + columnOffset, checked by VAL_CPF; an empty CPF asks for the
// name (VER_NOME). F1 and F2 open the taxpayer list by CPF / by name, F4
// brings back the last declaration (workspace DIRETO), PgUp/PgDn step
// through the register. A CPF found here loads the workspace for `command`
// 11 (existing taxpayer), 12 (summary values only) or runs the print hook for
// 51; a CPF found in another registered folder makes that folder current; a
// CPF found nowhere is offered as a new taxpayer (11) or reported (12, 51).
// False when left with Esc.
bool GET_CODIGO(const std::string& variable, const std::string& picture, int rowOffset,
                int columnOffset, int command);
// The taxpayer choice of the declaration (11) and cash-book (12) commands:
// taxpayer window, data folder opened, key line, GET_CODIGO. False on Esc.
bool chooseTaxpayer(int command);
// The name search behind an empty CPF: asks for the name, seeks it in the
// register's name order and, without an exact match, opens the taxpayer list
// there. The chosen taxpayer goes to the session's CPF and NOMECONTR; false
// when none was chosen.
bool VER_NOME();
// The printing of the chosen taxpayer for command 51 (FAZIMP); the print
// selection installs it.
void setTaxpayerPrint(std::function<void()> print);

// ---- Data folders -----------------------------------------------------------

// Looks for the session value `variable` in the other registered folders
// that hold a register: order 1 the CPF (exact), order 2 the name (a name
// that starts with the value, blanks at the end ignored). Mode 1, on success:
// NOMECONTR and the variable take the taxpayer's name and CPF (order 1) or
// name (order 2), and that folder becomes the selected data folder with the
// register on the taxpayer. Not found (or mode 0): the folder current at the
// call is opened again.
bool BUSCA_OUTRO(const std::string& variable, int order, int mode);
// Adds the folder (SELEC "N") to the registered folder list when absent.
void registerFolder(const std::string& folder);
// Makes the registered folder the data folder in use, adding it to the list
// when absent. False when the folder does not exist (nothing changes).
bool selectFolder(const std::string& folder);

// Command 21: the work folder, asked in the folder window and stored in the
// terminal's CONFIG record at once.
void SELAREA();
// The folder prompt of the folder window: shows the session value
// `variable` and reads a new folder (drive required, "D:" becomes "D:\", a
// missing folder is created on confirmation). Esc keeps the value. Returns
// the folder padded to 40.
std::string NOVA_ROTA(const std::string& variable, const std::string& ignored = "");

// Command 13: the registered folder list, edited in a list: "S" in the SEL.
// column selects a folder, Enter edits a folder, moving past the last row
// adds one, Del removes a row that is not in use.
void editFolderList();

// ---- Tax year ---------------------------------------------------------------

// Command 31: asks the tax year; 0 (or Esc) keeps the previous one.
void BUSCA_ANO();
// Accepts years from 1995, loading their correction factors (CARGA_UFIR).
bool ANOPROC(int year);

// ---- CPF renumbering ----------------------------------------------------------

enum class RenumberResult { Done, NewExists, OldMissing, Unavailable };
// Gives every row of the old CPF in the data folder's tables IRM1 ... IRM17
// the new CPF. Every table is opened exclusively first: when one cannot be,
// nothing is changed (Unavailable). The register is opened shared again
// afterwards.
RenumberResult renumberCpf(const std::string& oldCpf, const std::string& newCpf);
// Command 29: pairs of CPFs asked in the CPF-change window until Esc.
void MUDA_CPF();

// ---- Transfer between data folders ----------------------------------------

struct TransferRequest {
    std::string origin;  // folders, with or without the trailing backslash
    std::string destination;
    bool partial = false;             // only the CPFs in `chosen`
    std::vector<std::string> chosen;  // partial: the marked taxpayers
    bool move = false;                // "Mover": the origin loses what was copied
    bool overwrite = false;           // "Sim - Sobrepõe os dados" for CPFs already there
};

struct TransferReport {
    bool opened = false;                  // every table could be opened
    std::vector<std::string> copied;      // CPFs now complete in the destination
    std::vector<std::string> skipped;     // already in the destination, left alone
    std::vector<std::string> failed;      // copy failed: both folders as they were
    std::vector<std::string> notRemoved;  // moved but still (partly) in the origin
    std::string lastCopied;
};

// Called before each taxpayer: its CPF, name, position (from 1) and count.
using TransferProgress =
    std::function<void(const std::string& cpf, const std::string& name, int at, int count)>;

// Copies (or moves) the taxpayers' rows of IRM1 ... IRM17 and their register
// records from one data folder to the other. Every table of both folders is
// opened exclusively first; when one cannot be, nothing is changed. A
// taxpayer's copy replaces the destination's rows only once all its tables
// were copied (a failure leaves the destination as it was), and the origin
// loses a moved taxpayer only after that. All work areas are closed before
// and after.
TransferReport transferTaxpayers(const TransferRequest& request,
                                 const TransferProgress& progress = {});

// The rows of the session's CPF of table `table` (1 ... 17 but 9) from the
// origin (work area `table`) into the destination (area `table` + 20), both
// open exclusively: the destination's rows of that CPF are replaced. False,
// with both tables as they were, when the copy failed.
bool FAZAPP(int table);

// Command 22 (mode 1), the folder pair of the backup (2) and of the restore
// (3). Modes 2 and 3 leave the folders in ORIG/DEST (with backslash) and
// ORIGEM/DESTINO (as typed) and return true; mode 1 runs the transfer. False
// when left with Esc.
bool TRANOME(int mode);

// ---- Lists ----------------------------------------------------------------

// The lists these screens open. The default draws simple lists of its own;
// the record browser replaces them when it is there.
class Lists {
  public:
    virtual ~Lists() = default;
    // The taxpayer list over the register (work area 9) in `order` (1 CPF,
    // 2 name). Enter makes the taxpayer current (session CPF, NOMECONTR)
    // and returns true; Esc returns false.
    virtual bool taxpayers(int order);
    // The marking list of a transfer over `copy` (a copy of the origin's
    // register): the user puts "S" in IMPRE of the taxpayers to copy.
    virtual void markTaxpayers(store::Table& copy);
    // The registered folder list (work area 50) for editing (command 13).
    virtual void folders();
    // The registered folders to pick from (F1 on a folder field); the
    // chosen folder, or "" on Esc.
    virtual std::string pickFolder();
};
Lists& lists();
// Installs `lists` (not owned); nullptr brings back the default.
void setLists(Lists* lists);

// Registers the commands 13, 21, 22, 29 and 31 with the main menu.
void registerSelectionCommands();

}  // namespace kdx2::shell::selection
