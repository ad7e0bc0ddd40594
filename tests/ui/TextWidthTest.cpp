#include "ui/TextWidthU.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <string>

namespace {

using namespace tarvo;

// The QApplication comes from the environment in MessageboxTest.cpp.
TEST(TextWidth, TemplateCaptionFitsInTheMenuFont) {
    const filesend::TTextWidth width = ui::TextWidthIn(QApplication::font());
    EXPECT_GT(width("WWWW"), width("W"));
    EXPECT_GT(width("\xC4\xD6\xDC"), 0);  // code page 1252 umlauts are measured as such
    const std::string text = "s rubrik@dl #10 " + std::string(200, 'x') + " Ende";
    const std::string caption = filesend::TemplateCaption(text, 150, width);
    EXPECT_LE(width(caption), 150);
    EXPECT_NE(caption.find("..."), std::string::npos);
    EXPECT_TRUE(caption.starts_with("s rub")) << caption;
    EXPECT_TRUE(caption.ends_with("Ende")) << caption;
}

}  // namespace
