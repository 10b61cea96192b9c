// How a print file's lines fall on A4 pages.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "printing/pages.h"

namespace kdx2::printing {
namespace {

using platform::PdfPage;
using platform::PdfText;

int rowOf(const PdfText& text) {
    return static_cast<int>(
        std::lround((text.baseline - PageGeometry::baseline(0)) / PageGeometry::kRowHeight));
}

int columnOf(const PdfText& text) {
    return static_cast<int>(std::lround((text.x - PageGeometry::kLeftMargin) / text.advance));
}

bool condensed(const PdfText& text) {
    return std::abs(text.advance - PageGeometry::condensedAdvance()) < 1e-9;
}

std::string lines(int count, const std::string& prefix = "linha ") {
    std::string text;
    for (int i = 1; i <= count; ++i)
        text += prefix + std::to_string(i) + "\r\n";
    return text;
}

TEST(PageLayout, AnEjectAndCondensedPitchOnOneLineStartAPageOfSqueezedText) {
    const auto pages = layoutPages("capa\r\n\x0c\x0fTEXTO CONDENSADO\r\nsegue\x12normal\r\n");
    ASSERT_EQ(pages.size(), 2u);
    ASSERT_EQ(pages[1].texts.size(), 3u);
    const PdfText& squeezed = pages[1].texts[0];
    EXPECT_EQ(squeezed.text, "TEXTO CONDENSADO");
    EXPECT_EQ(rowOf(squeezed), 0);
    EXPECT_TRUE(condensed(squeezed));
    // The pitch holds on the next line until byte 18 switches it back.
    EXPECT_TRUE(condensed(pages[1].texts[1]));
    EXPECT_FALSE(condensed(pages[1].texts[2]));
    EXPECT_NEAR(pages[1].texts[2].x,
                PageGeometry::kLeftMargin + 5 * PageGeometry::condensedAdvance(), 1e-9);
    EXPECT_EQ(pages[1].texts[2].text, "normal");
    // 132 condensed columns take the width of 80 normal ones.
    EXPECT_NEAR(132 * PageGeometry::condensedAdvance(), 80 * PageGeometry::normalAdvance(), 1e-9);
    EXPECT_LE(PageGeometry::kLeftMargin + PageGeometry::printedWidth(), platform::kA4Width);
}

TEST(PageLayout, AFullPageContinuesOnTheNextWithoutABlankPageForAnEjectAfterIt) {
    EXPECT_EQ(layoutPages(lines(PageGeometry::kRowsPerPage)).size(), 1u);
    const auto two = layoutPages(lines(PageGeometry::kRowsPerPage + 1));
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[1].texts.front().text, "linha " + std::to_string(PageGeometry::kRowsPerPage + 1));
    EXPECT_EQ(rowOf(two[1].texts.front()), 0);
    // The last row fits above the bottom margin.
    EXPECT_LT(PageGeometry::baseline(PageGeometry::kLastRow), platform::kA4Height - 20);
    // An eject right after a full page, and one at the very end, add no page.
    EXPECT_EQ(layoutPages(lines(PageGeometry::kRowsPerPage) + "\x0c" + "mais\r\n\x0c").size(), 2u);
    EXPECT_EQ(layoutPages("\x0c\x0c" + lines(3) + "\x0c \x1a").size(), 1u);
}

TEST(PageLayout, AZeroByteEndsItsLineAndIsTakenWithIt) {
    const std::string file("um\0dois\r\n\0\0tres", 15);
    const auto pages = layoutPages(file);
    ASSERT_EQ(pages.size(), 1u);
    ASSERT_EQ(pages[0].texts.size(), 3u);
    EXPECT_EQ(pages[0].texts[0].text, "um");
    EXPECT_EQ(rowOf(pages[0].texts[1]), 1);
    EXPECT_EQ(rowOf(pages[0].texts[2]), 4);
    EXPECT_EQ(pages[0].texts[2].text, "tres");
    // Nothing but zero bytes: a page of nothing, not an endless loop.
    EXPECT_TRUE(layoutPages(std::string(100000, '\0')).empty());
}

TEST(PageLayout, ColumnsFollowBlanksTabsAndCarriageReturns) {
    const auto pages = layoutPages(
        "   A  B\r\n\tX\r\nabc\rZ\r\nfim  \r\n\x01\x1b"
        "E\r\n\x85\xc7\r\n");
    ASSERT_EQ(pages.size(), 1u);
    const auto& t = pages[0].texts;
    ASSERT_EQ(t.size(), 7u);
    EXPECT_EQ(t[0].text, "A  B");
    EXPECT_EQ(columnOf(t[0]), 3);
    EXPECT_EQ(columnOf(t[1]), 8);
    EXPECT_EQ(t[2].text, "abc");
    EXPECT_EQ(t[3].text, "Z");  // over the same row, from the margin
    EXPECT_EQ(columnOf(t[3]), 0);
    EXPECT_EQ(t[4].text, "fim");
    EXPECT_EQ(t[5].text, "E");  // control bytes print nothing and take no column
    EXPECT_EQ(columnOf(t[5]), 0);
    EXPECT_EQ(t[6].text, "àÃ");  // CP850 shown as Unicode
}

TEST(PageLayout, TextBeforeAnEjectOnTheSameLineStaysOnItsPage) {
    const auto pages = layoutPages(
        "rodape\x0c"
        "cabecalho\r\n");
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(pages[0].texts.at(0).text, "rodape");
    EXPECT_EQ(pages[1].texts.at(0).text, "cabecalho");
    EXPECT_EQ(rowOf(pages[1].texts.at(0)), 0);
}

}  // namespace
}  // namespace kdx2::printing
