#pragma once

#include <string>
#include <string_view>

#include "platform/file.h"

// The print file and the interface every report writes to. A report places
// text at rows and columns of the page, ejects pages and switches between
// normal and condensed pitch; what it wrote goes to the terminal's print
// file (CP850, lines ending in CR LF, byte 12 a page eject, byte 15 condensed
// and byte 18 normal pitch), which the routing then sends on.
namespace kdx2::printing {

inline constexpr char kFormFeed = 12;
inline constexpr char kCondensedPitch = 15;
inline constexpr char kNormalPitch = 18;

// The terminal's print file: LOCTRAB + "NAO-DOS" + NUSU + ".TXT". Each
// terminal has its own, so terminals sharing a work folder never print or
// reprint each other's reports.
std::string printFilePath();

// Positioned text written into a print file, like a line printer: the print
// head moves down and right only, so a row above the current one starts a
// new page, and a column left of the current one returns the carriage on
// the same row. Rows and columns count from 0; the pitch bytes take no
// column.
class PrintOutput {
  public:
    // Creates (replacing) the file at the drive path; false, with `error`
    // saying why, when it cannot be created.
    bool open(const std::string& path);
    bool isOpen() const { return file_.isOpen(); }
    // Ends the last line and closes the file; false when something written
    // could not be stored (`error` says why).
    bool close();
    const std::string& error() const { return error_; }

    void say(int row, int column, std::string_view text);
    void eject();
    void condensed();
    void normal();
    // Bytes written as they are at the print position (printer control
    // strings), taking no column.
    void control(std::string_view bytes);

    int row() const { return row_; }
    int column() const { return column_; }
    // Where the print head is taken to be, without printing anything.
    void setPosition(int row, int column);

  private:
    void append(std::string_view bytes);
    void flush();

    platform::File file_;
    std::string pending_;
    uint64_t stored_ = 0;
    int row_ = 0;
    int column_ = 0;
    std::string error_;
};

// The session's print output, which the reports write to between PREP_IMP
// and closePrintOutput.
PrintOutput& output();
bool printOutputOpen();

// Starts a new print file for the terminal (replacing its contents), with
// the print position at 0, 0; ARQ_IMP names it. False after telling the
// user when the file cannot be created.
bool PREP_IMP();
// Closes the print output (the file stays); false after telling the user
// when part of what was printed could not be stored.
bool closePrintOutput();

// Writes the printer control string STRING0 (0) or STRING1 (1) at the print
// position.
void MUDAIMP(int which);

// False when the file cannot be opened or is empty. When its byte before
// the last is a page eject, that byte becomes a blank, so that no empty page
// follows the last one.
bool READSTREAM(const std::string& file);

}  // namespace kdx2::printing
