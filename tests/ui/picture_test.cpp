#include <gtest/gtest.h>

#include "base/cp850.h"
#include "base/date.h"
#include "ui/picture.h"

using namespace kdx2::base::literals;
using kdx2::base::Date;
using kdx2::base::Value;
using kdx2::ui::Picture;
using kdx2::ui::transform;

namespace {

std::string shown(const Value& value, std::string_view picture) {
    return transform(value, picture).text();
}

}  // namespace

TEST(PictureParse, FunctionPartEndsAtTheBlank) {
    const Picture amount = Picture::parse("@Ez 9999,999.99");
    EXPECT_TRUE(amount.has('E'));
    EXPECT_TRUE(amount.has('Z'));
    EXPECT_EQ(amount.mask, "9999,999.99");

    const Picture scroll = Picture::parse("@S18");
    EXPECT_EQ(scroll.scrollWidth, 18);
    EXPECT_TRUE(scroll.mask.empty());

    EXPECT_EQ(Picture::parse("999.99").mask, "999.99");
    EXPECT_TRUE(Picture::parse("@k ").functions == "K");
    EXPECT_EQ(Picture::parse("@ 99").mask, "99");
}

TEST(PictureNumbers, AmountsWithCommaDecimalsAndBlankZero) {
    EXPECT_EQ(shown(1234.5, "@Ez 9999,999.99"), "   1.234,50");
    EXPECT_EQ(shown(1234567.891, "@Ez 9999,999.99"), "1234.567,89");
    EXPECT_EQ(shown(12.345, "@Ez 9999,999.99"), "      12,35");  // half away from zero
    EXPECT_EQ(shown(0.0, "@Ez 9999,999.99"), "           ");
    EXPECT_EQ(shown(0.004, "@Ez 9999,999.99"), "           ");  // rounds to zero
    EXPECT_EQ(shown(0.0, "@E 9999,999.99"), "       0,00");
    EXPECT_EQ(shown(0.5, "9999,999.99"), "       0.50");
    EXPECT_EQ(shown(999999.0, "@E 999,999,999.99"), "    999.999,00");
    EXPECT_EQ(shown(5.0, "@Z 999.99"), "  5.00");
}

TEST(PictureNumbers, SignsAndOverflow) {
    EXPECT_EQ(shown(-1234.5, "@E 9999,999.99"), "  -1.234,50");
    EXPECT_EQ(shown(-123.45, "9,999.99"), " -123.45");
    EXPECT_EQ(shown(-0.001, "999.99"), "  0.00");  // no "-0.00"
    EXPECT_EQ(shown(12345678.0, "@E 9999,999.99"), "********,**");
    EXPECT_EQ(shown(-999.0, "999"), "***");  // no room for the sign
    EXPECT_EQ(shown(7.0, "@L 9999"), "0007");
    EXPECT_EQ(shown(42.0, "@B 99999"), "42   ");
    EXPECT_EQ(shown(5.0, "@z 99"), " 5");
}

TEST(PictureNumbers, WithoutTemplateShowsTheNumberAsItIs) {
    EXPECT_EQ(shown(12.5, "@E"), "        12,5");
    EXPECT_EQ(shown(2024.0, ""), "      2024");
}

TEST(PictureText, LiteralsInsertedWithR) {
    EXPECT_EQ(shown(Value("12345678909"), "@R 999.999.999-99"), "123.456.789-09");
    EXPECT_EQ(shown(Value("12345678909"), "@r 999.999.999-99"), "123.456.789-09");
    EXPECT_EQ(shown(Value(""), "@R 999.999.999-99"), "   .   .   -  ");
    EXPECT_EQ(shown(Value("1234"), "@r 9.999"), "1.234");
    EXPECT_EQ(shown(Value("11987654321"), "@R (99)!9999-9999"), "(11)98765-4321");
}

TEST(PictureText, LiteralsWithoutRTakeThePlaceOfCharacters) {
    EXPECT_EQ(shown(Value("ABCDEF"), "XX-XX"), "AB-DE");
    EXPECT_EQ(shown(Value("abc"), "!!!"), "ABC");
    EXPECT_EQ(shown(Value("abcdef"), "XXX"), "abc");
}

TEST(PictureText, FunctionsOnText) {
    EXPECT_EQ(shown(Value("são paulo"_cp), "@!"), "SÃO PAULO"_cp);
    EXPECT_EQ(shown(Value("texto longo"), "@S5"), "texto longo");  // scrolling is the editor's
    EXPECT_EQ(shown(Value("   "), "@Z"), "   ");
    EXPECT_EQ(shown(Value("  ab"), "@B"), "ab  ");
}

TEST(PictureOtherTypes, DatesAndLogicals) {
    const Date date = *Date::fromYmd(2024, 2, 29);
    EXPECT_EQ(shown(date, "@D"), "29/02/2024");
    EXPECT_EQ(shown(date, ""), "29/02/2024");
    EXPECT_EQ(shown(Date(), "@D"), "  /  /    ");
    EXPECT_EQ(shown(Date(), "@DZ"), "          ");
    EXPECT_EQ(shown(true, ""), "T");
    EXPECT_EQ(shown(false, "Y"), "N");
}

TEST(PictureDefaults, EditMaskWithoutTemplate) {
    using kdx2::ui::defaultMask;
    EXPECT_EQ(defaultMask(Value(12.5), Picture{}), "9999999999.9");
    EXPECT_EQ(defaultMask(Value(3.0), Picture{}), "9999999999");
    EXPECT_EQ(defaultMask(Value("abcd"), Picture{}), "XXXX");
    EXPECT_EQ(defaultMask(Value(Date()), Picture{}), "99/99/9999");
}
