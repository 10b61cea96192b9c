#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The update check: the update server's page brings the latest monthly SELIC
// rates, merged into the shared rate table UFIRM, and the version marker of
// the newest build, offered for download when its date differs from this
// build's. The installer is downloaded, saved under the start-up folder and
// started through a configurable command.
//
// The server is a setting of the workstation: KDX2_UPDATE_SERVER holds
// "host" or "host:port" (port 80 by default). Without it no check is made.
// KDX2_INSTALLER is the command that starts a downloaded installer (its path
// is added as the last argument); without it the installer is started
// itself.
namespace kdx2::shell::update {

struct UpdateServer {
    std::string host;
    int port = 80;
};
// The configured server; nullopt when none is set or the setting is not a
// host with an optional port from 1 to 65535.
std::optional<UpdateServer> configuredServer();
// "http://host/" or "http://host:port/" followed by `path` (no leading "/").
std::string serverUrl(const UpdateServer& server, const std::string& path = "");

// ---- The page ---------------------------------------------------------------

// The most of the page that is looked at.
inline constexpr size_t kPageBytes = 8000;

struct SelicMonth {
    std::string key;  // "YYYYMM"
    double rate = 0;  // per cent, 0 ... 100
};
// The twelve months after the first "SELIC" of the page; nullopt unless
// every one is sound (a six-digit key of a year from 1995 to 2099 and a
// month 01 ... 12, a rate written with digits and at most one point between
// 0 and 100, separators that are neither digits nor points, no month twice)
// and the block lies wholly inside the page.
std::optional<std::vector<SelicMonth>> selicBlock(std::string_view page);
// Whether the page has a "SELIC" marker at all.
bool hasSelicMarker(std::string_view page);

struct VersionMarker {
    std::string tag;   // CVERINTER, 4 characters ("3.01")
    std::string date;  // CATUALVER, "dd/mm/yy"
    long size = 0;     // NTAMARQ, the installer's size in bytes
};
// The marker after the first "KDX2" of the page; nullopt when there is none
// or its fields are not sound (a tag with a digit, a dd/mm/yy date, a size
// of 1 to 9,999,999 bytes) or run past the page.
std::optional<VersionMarker> versionMarker(std::string_view page);

// "kdx2-" + the tag's digits + ".exe".
std::string installerName(const std::string& tag);

// ---- The rate table -----------------------------------------------------------

struct MergeResult {
    bool done = false;  // false: the table could not be opened or locked
    int updated = 0;
    int added = 0;
};
// Writes the months into UFIRM (work area 45, opened and closed here) under
// its table lock: each month is sought by its own key, its rate replaced
// when it differs, appended with "R$" when absent. A month is never added
// twice, whatever order the table and the page are in.
MergeResult mergeSelic(const std::vector<SelicMonth>& months);

// ---- The commands -------------------------------------------------------------

// Mode 0, at start-up: silent unless the server cannot be reached or an
// update is offered; gives up within 3 s. Mode 1, command 23: also says that
// nothing new exists, that nothing could be read or that the page's rates
// were refused. A launched installer ends the program (throws ProgramEnd).
void INTER(int mode);
// Downloads the installer of `tag`, checks its size against `size`, saves it
// as DIRINST + "INSTAL\" + installerName(tag) and starts it without waiting.
// True when it was started.
bool BAIXARQ(const std::string& tag, long size);
// The cash-book menu's "Sair": empties the keyboard buffer.
void FIMSISTEMA1();

// Registers command 23.
void registerUpdateCommands();

}  // namespace kdx2::shell::update
