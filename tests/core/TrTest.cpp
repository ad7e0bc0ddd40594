// Captions of the logic in the chosen language, and the places filled in them.
#include "core/TrU.h"

#include <gtest/gtest.h>

#include <string>

namespace tarvo::core {
namespace {

TEST(Tr, SourceOrTranslationInCodePage1252) {
    SetTranslateHook(nullptr);
    EXPECT_EQ(Tr("TKanal", "Kanäle"), "Kan\xE4le");
    EXPECT_EQ(Tr("TKanal", nullptr), "");
    SetTranslateHook([](const char* context, const char* source) {
        return std::string(context) == "TKanal" && std::string(source) == "Kanäle"
                   ? std::string("Canaux é")
                   : std::string(source);
    });
    EXPECT_EQ(Tr("TKanal", "Kanäle"), "Canaux \xE9");
    EXPECT_EQ(Tr("TAndere", "Kanäle"), "Kan\xE4le");
    SetTranslateHook(nullptr);
}

TEST(Tr, FillArgsInOnePass) {
    EXPECT_EQ(FillArgs("%1: Verbunden mit %2", {"DL1ABC", "DB0XYZ"}),
              "DL1ABC: Verbunden mit DB0XYZ");
    // A translation may reorder the places.
    EXPECT_EQ(FillArgs("%2 connected %1", {"DL1ABC", "DB0XYZ"}), "DB0XYZ connected DL1ABC");
    // What the air brings stays as it is.
    EXPECT_EQ(FillArgs("Von %1", {"%2 %s %%"}), "Von %2 %s %%");
    EXPECT_EQ(FillArgs("%1%1", {"x"}), "xx");
    EXPECT_EQ(FillArgs("100%% von %1", {"5"}), "100% von 5");
    // A place without an argument, a lone "%" and printf forms stay.
    EXPECT_EQ(FillArgs("ohne %3", {"a"}), "ohne %3");
    EXPECT_EQ(FillArgs("Ende %", {"a"}), "Ende %");
    EXPECT_EQ(FillArgs("%s bleibt", {"a"}), "%s bleibt");
}

}  // namespace
}  // namespace tarvo::core
