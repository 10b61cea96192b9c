#pragma once

#include <functional>
#include <string>

// What the imports use of the shell, which sits above them: its windows,
// its lists and the choice of the data folder. The shell installs them
// (shell/import_commands); each one left empty does nothing (tests run the
// imports without a shell).
namespace kdx2::importing {

struct Services {
    // The folder pair window (drawn in window slot 3) with the captions of
    // the command in OPCAO_1.
    std::function<void()> folderWindow;
    // The registered data folders to pick from; the chosen one, "" on Esc.
    std::function<std::string()> pickFolder;
    // The selection list of the taxpayers found (RELNOME, work area 59).
    std::function<void()> selectionScreen;
    // The taxpayer window, and the taxpayer of the session's CPF and
    // NOMECONTR shown in it.
    std::function<void()> showTaxpayerWindow;
    std::function<void()> showTaxpayer;
    // A working message with a progress bar in the taxpayer window.
    std::function<void(const std::string& text, int done, int total)> showProgress;
    // Looks for the session's CPF in the other registered folders; found,
    // that folder becomes the data folder with its register (area 9) on
    // the taxpayer.
    std::function<bool()> findInOtherFolders;
    // Adds a folder to the registered folder list when it is not there.
    std::function<void(const std::string& folder)> registerFolder;
    // Makes a registered folder the selected data folder.
    std::function<bool(const std::string& folder)> selectFolder;
    // Rebuilds a data folder's indexes (its tables closed by the caller).
    std::function<void(const std::string& folder)> reorganise;
};

// The services in use; calling an empty one through these helpers is safe.
class InstalledServices {
  public:
    void folderWindow() const;
    std::string pickFolder() const;
    void selectionScreen() const;
    void showTaxpayerWindow() const;
    void showTaxpayer() const;
    void showProgress(const std::string& text, int done, int total) const;
    bool findInOtherFolders() const;
    void registerFolder(const std::string& folder) const;
    bool selectFolder(const std::string& folder) const;
    void reorganise(const std::string& folder) const;
};

const InstalledServices& services();
void setServices(Services services);

}  // namespace kdx2::importing
