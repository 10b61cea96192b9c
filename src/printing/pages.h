#pragma once

#include <string_view>
#include <vector>

#include "platform/print_pdf.h"

// How the lines of a print file fall on A4 pages for a desktop printer.
namespace kdx2::printing {

// Page geometry, in points. Normal pitch fits 80 columns across the printed
// width and condensed pitch 132, both with the same character height, so a
// condensed line is the same text squeezed sideways.
struct PageGeometry {
    static constexpr double kLeftMargin = 36.0;
    static constexpr double kTopMargin = 30.0;
    static constexpr double kRowHeight = 12.0;
    static constexpr double kFontHeight = 10.8;
    static constexpr int kNormalColumns = 80;
    static constexpr int kCondensedColumns = 132;
    // Rows 0 ... kLastRow fit on the page; a page is full when the row
    // reaches kLastRow - 2.
    static constexpr int kLastRow = 64;
    static constexpr int kRowsPerPage = kLastRow - 2;

    static double printedWidth() { return platform::kA4Width - 2 * kLeftMargin; }
    static double normalAdvance() { return printedWidth() / kNormalColumns; }
    static double condensedAdvance() { return printedWidth() / kCondensedColumns; }
    static double baseline(int row) { return kTopMargin + kFontHeight + row * kRowHeight; }
};

// Lays the print file's bytes out on pages. A line ends at a line feed or at
// a zero byte (both taken with it) or at the end of the data; a CR before
// the line feed ends it too, a CR inside it returns to the left margin. A
// page eject (12) starts a new page at the first row, byte 15 switches to
// condensed and byte 18 back to normal pitch (the pitch holds until it is
// switched again), a tab advances to the next multiple of eight columns and
// other control bytes print nothing. A page is full after kRowsPerPage rows.
// A page with nothing printed on it is left out, so a page eject right after
// a full page, or at the end, never gives an empty page. The text is CP850.
std::vector<platform::PdfPage> layoutPages(std::string_view printFile);

}  // namespace kdx2::printing
