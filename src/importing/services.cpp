#include "importing/services.h"

namespace kdx2::importing {

namespace {

Services& installed() {
    static Services all;
    return all;
}

}  // namespace

void InstalledServices::folderWindow() const {
    if (installed().folderWindow) installed().folderWindow();
}

std::string InstalledServices::pickFolder() const {
    return installed().pickFolder ? installed().pickFolder() : "";
}

void InstalledServices::selectionScreen() const {
    if (installed().selectionScreen) installed().selectionScreen();
}

void InstalledServices::showTaxpayerWindow() const {
    if (installed().showTaxpayerWindow) installed().showTaxpayerWindow();
}

void InstalledServices::showTaxpayer() const {
    if (installed().showTaxpayer) installed().showTaxpayer();
}

void InstalledServices::showProgress(const std::string& text, int done, int total) const {
    if (installed().showProgress) installed().showProgress(text, done, total);
}

bool InstalledServices::findInOtherFolders() const {
    return installed().findInOtherFolders && installed().findInOtherFolders();
}

void InstalledServices::registerFolder(const std::string& folder) const {
    if (installed().registerFolder) installed().registerFolder(folder);
}

bool InstalledServices::selectFolder(const std::string& folder) const {
    return installed().selectFolder && installed().selectFolder(folder);
}

void InstalledServices::reorganise(const std::string& folder) const {
    if (installed().reorganise) installed().reorganise(folder);
}

const InstalledServices& services() {
    static const InstalledServices front;
    return front;
}

void setServices(Services services) {
    installed() = std::move(services);
}

}  // namespace kdx2::importing
