#include "printing/pages.h"

#include <string>

#include "base/cp850.h"
#include "printing/output.h"

namespace kdx2::printing {

namespace {

constexpr int kTabWidth = 8;

class PageBuilder {
  public:
    std::vector<platform::PdfPage> finish() {
        endRun();
        return std::move(pages_);
    }

    void line(std::string_view text) {
        if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
        x_ = 0;
        for (char ch : text)
            byte(static_cast<unsigned char>(ch));
        endRun();
        ++row_;
        if (row_ >= PageGeometry::kRowsPerPage) newPage();
    }

  private:
    void byte(unsigned char ch) {
        switch (ch) {
            case kFormFeed:
                endRun();
                newPage();
                x_ = 0;
                return;
            case kCondensedPitch:
            case kNormalPitch:
                endRun();
                condensed_ = ch == kCondensedPitch;
                return;
            case '\r':
                endRun();
                x_ = 0;
                return;
            case '\t': {
                endRun();
                const double tab = kTabWidth * advance();
                x_ = (static_cast<int>(x_ / tab + 1e-9) + 1) * tab;
                return;
            }
            default:
                break;
        }
        if (ch < 32 || ch == 127) return;
        if (ch == ' ' && run_.empty()) {
            x_ += advance();
            return;
        }
        if (run_.empty()) runX_ = x_;
        run_ += static_cast<char>(ch);
        x_ += advance();
    }

    double advance() const {
        return condensed_ ? PageGeometry::condensedAdvance() : PageGeometry::normalAdvance();
    }

    // Ends the text gathered since the last change of place or pitch.
    void endRun() {
        while (!run_.empty() && run_.back() == ' ')
            run_.pop_back();
        if (run_.empty()) return;
        if (!pageOpen_) {
            pages_.emplace_back();
            pageOpen_ = true;
        }
        platform::PdfText text;
        text.x = PageGeometry::kLeftMargin + runX_;
        text.baseline = PageGeometry::baseline(row_);
        text.advance = advance();
        text.height = PageGeometry::kFontHeight;
        text.text = base::cp850::toUtf8(run_);
        pages_.back().texts.push_back(std::move(text));
        run_.clear();
    }

    // The next text goes on a new page; a page that has nothing yet is
    // kept for it instead.
    void newPage() {
        pageOpen_ = false;
        row_ = 0;
    }

    std::vector<platform::PdfPage> pages_;
    bool pageOpen_ = false;
    int row_ = 0;
    double x_ = 0;
    bool condensed_ = false;
    std::string run_;
    double runX_ = 0;
};

}  // namespace

std::vector<platform::PdfPage> layoutPages(std::string_view printFile) {
    PageBuilder builder;
    size_t start = 0;
    while (start < printFile.size()) {
        size_t end = start;
        while (end < printFile.size() && printFile[end] != '\n' && printFile[end] != '\0')
            ++end;
        builder.line(printFile.substr(start, end - start));
        start = end + 1;
    }
    return builder.finish();
}

}  // namespace kdx2::printing
