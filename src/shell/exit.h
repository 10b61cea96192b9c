#pragma once

// The orderly exit of the program.

namespace kdx2::shell {

// Thrown to end the program after an orderly exit; main() catches it.
struct ProgramEnd {
    int exitCode = 0;
};

// Writes the session settings back to the terminal's CONFIG record (only to
// an existing record, and only when it can be locked), closes every table and
// ends the program (throws ProgramEnd). Code 16 is the terminate command,
// which also rebuilds the data folder's indexes when no other workstation
// has one of its tables open.
[[noreturn]] void ROTSAIDA(int code);

// The part of the exit that writes CONFIG back; false when nothing could be
// written (no CONFIG, no record of this terminal, or the record locked).
bool storeSettingsAtExit();

}  // namespace kdx2::shell
