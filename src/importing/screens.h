#pragma once

#include <functional>
#include <string>
#include <vector>

#include "importing/destination.h"

// The windows the import commands share: the counters of a conversion and
// the folder prompt. Internal to the importing folder.
namespace kdx2::importing::detail {

// The run counters of the counters window.
struct Counters {
    int toConvert = 0;
    int converted = 0;
    int existing = 0;
    int notConverted = 0;
    int damagedLines = 0;  // lines skipped as damaged, over every file
    int remaining = 0;

    void start(int marked);
    void count(const FileOutcome& outcome);
};
Counters& counters();
void closeCounters();

// How the folder prompt is asked for one command.
struct FolderPrompt {
    std::string originSetting;  // ROTARECEI or ROTAANTER
    size_t originWidth = 40;
    std::string missingOrigin;  // the message before the folder
    std::string creationPurpose;
    // Further checks of the origin folder; false asks again.
    std::function<bool(const std::string& origin)> originUsable;
};

struct ChosenFolders {
    std::string origin;       // as typed
    std::string destination;  // with its trailing backslash
};

// Asks the folder pair until both are usable (Esc: false, window closed).
// The destination becomes LOCARQ and the default folder; every table is
// closed; the window stays open.
bool askFolders(const FolderPrompt& prompt, ChosenFolders& chosen);

// The selection list of the taxpayers found (work area 59 selected).
void runSelectionScreen();

// A message box listing the lines (stop icon).
void tell(const std::vector<std::string>& lines);

// After each file: Esc pressed, and the user confirms leaving.
bool userAbandons();

}  // namespace kdx2::importing::detail
