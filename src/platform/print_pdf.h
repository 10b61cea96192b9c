#pragma once

#include <string>
#include <vector>

// Pages of monospaced text written as a PDF document (cairo, DejaVu Sans
// Mono), the form in which a print file goes to a desktop printer.
namespace kdx2::platform {

// A4 portrait, in points.
inline constexpr double kA4Width = 595.28;
inline constexpr double kA4Height = 841.89;

// A run of text on a page: UTF-8 `text` drawn from `x` on the `baseline`
// (points from the page's top-left corner), every character `advance`
// points wide and the font `height` points tall, so that a narrower advance
// gives condensed characters of the same height.
struct PdfText {
    double x = 0;
    double baseline = 0;
    double advance = 0;
    double height = 0;
    std::string text;
};

struct PdfPage {
    std::vector<PdfText> texts;
};

// Writes the pages (at least one page, blank when there is none) to the host
// file `hostPath`, with `title` (CP850) as the document's title. Throws
// base::Error (Portuguese) when the file cannot be written.
void writeMonospacedPdf(const std::vector<PdfPage>& pages, const std::string& hostPath,
                        const std::string& title);

}  // namespace kdx2::platform
