#include "channels/EinstellungenModellU.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/ConfigU.h"

namespace {

using namespace tarvo;
using namespace tarvo::channels;

TMonitorChecks Checks(std::initializer_list<int> boxes) {
    TMonitorChecks c{};
    for (int b : boxes) c[static_cast<std::size_t>(b)] = true;
    return c;
}

TEST(EinstellungenMonitor, ChecksAndFlagsRoundTripAndOnlyThePageBitsAreKept) {
    struct Case {
        TMonitorChecks checks;
        std::int32_t flags;
    };
    const std::vector<Case> cases = {
        {Checks({}), 0},
        {Checks({kBoxStatus}), 0x02},
        {Checks({kBoxInformation, kBoxInhalt}), 0x0C},
        {Checks({kBoxInformation, kBoxInhalt, kBoxBinaerdaten}), 0x8C},
        {Checks({kBoxUI, kBoxLokaleMeldungen, kBoxKanalnummer}), 0x150},
        {Checks({kBoxStatus, kBoxInformation, kBoxInhalt, kBoxUI, kBoxLokaleMeldungen,
                 kBoxKanalnummer}),
         core::TConfig::kDefaultMonitor},
        // Disabled boxes that stay checked keep their bits.
        {Checks({kBoxInhalt, kBoxBinaerdaten}), 0x88},
        {Checks({kBoxInformation, kBoxBinaerdaten}), 0x84},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MonitorFlagsFromChecks(c.checks), c.flags) << std::hex << c.flags;
        EXPECT_EQ(MonitorChecksFromFlags(c.flags), c.checks) << std::hex << c.flags;
    }
    // Bits the page does not own are not checked by any box, so they go when stored.
    EXPECT_EQ(MonitorFlagsFromChecks(MonitorChecksFromFlags(0x7FFFFFFF)), 0x1DE);
    EXPECT_EQ(MonitorPageBits(), 0x1DE);
}

TEST(EinstellungenMonitor, ContentNeedsInformationAndBinaryNeedsBoth) {
    struct Case {
        TMonitorChecks checks;
        bool inhalt, binaer;
    };
    const std::vector<Case> cases = {
        {Checks({}), false, false},
        {Checks({kBoxInformation}), true, false},
        {Checks({kBoxInformation, kBoxInhalt}), true, true},
        {Checks({kBoxInhalt, kBoxBinaerdaten}), false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MonitorBoxEnabled(c.checks, kBoxInhalt), c.inhalt);
        EXPECT_EQ(MonitorBoxEnabled(c.checks, kBoxBinaerdaten), c.binaer);
        for (int b : {kBoxStatus, kBoxInformation, kBoxUI, kBoxLokaleMeldungen, kBoxKanalnummer})
            EXPECT_TRUE(MonitorBoxEnabled(c.checks, b));
    }
}

std::vector<std::string> Texts(std::int32_t flags) {
    std::vector<std::string> out;
    for (const auto& l : MonitorSampleLines(flags)) {
        const char kind = l.kind == TMonitorSampleLine::Device   ? 'D'
                          : l.kind == TMonitorSampleLine::Header ? 'H'
                                                                 : 'T';
        out.push_back(std::string(1, kind) + " " + l.text);
    }
    return out;
}

TEST(EinstellungenMonitor, SampleLinesFollowTheCheckedBoxes) {
    using V = std::vector<std::string>;
    EXPECT_EQ(Texts(0), V{});
    EXPECT_EQ(Texts(0x40), (V{"D [TNC Hostmode /dev/ttyUSB0: Init]", "D   M: ok"}));
    EXPECT_EQ(Texts(0x02), (V{"H [DL1ABC > DB0TST SABM+]", "H [DB0TST > DL1ABC UA-]"}));
    // Without "Inhalt" the I frames come without information and no binary summary.
    EXPECT_EQ(Texts(0x04), (V{"H [DB0TST > DL1ABC I00^]", "H [DB0TST > DL1ABC I01^]"}));
    EXPECT_EQ(Texts(0x0C), (V{"H [DB0TST > DL1ABC I00^]", "T Willkommen auf DB0TST.",
                              "H [DB0TST > DL1ABC I01^ BIN16]"}));
    const V raw = Texts(0x8C);
    ASSERT_EQ(raw.size(), 4u);
    EXPECT_EQ(raw[2], "H [DB0TST > DL1ABC I01^]");
    EXPECT_EQ(raw[3].substr(0, 8), "T GIF89a");
    EXPECT_EQ(raw[3].size(), 18u);  // all 16 bytes, the zeros too
    // "Inhalt" alone (disabled, still checked) shows no I frame.
    EXPECT_EQ(Texts(0x88), V{});
    EXPECT_EQ(Texts(0x10), (V{"H [DL1ABC > ID v WIDE2 UIv]", "T DL1ABC in JO62"}));
    EXPECT_EQ(Texts(0x112), (V{"H [001: DL1ABC > DB0TST SABM+]", "H [001: DB0TST > DL1ABC UA-]",
                               "H [001: DL1ABC > ID v WIDE2 UIv]", "T DL1ABC in JO62"}));
}

TEST(EinstellungenAllgemein, IncomingConnectsEntriesAndChannelClamp) {
    const std::vector<std::pair<int, int>> storedToIndex = {{1, 0}, {2, 1}, {3, 2},
                                                            {0, 0}, {4, 0}, {-1, 0}};
    for (auto [stored, index] : storedToIndex)
        EXPECT_EQ(IncomingConnectsIndex(stored), index) << stored;
    const std::vector<std::pair<int, int>> indexToValue = {{0, 1}, {1, 2}, {2, 3}, {-1, 1}, {3, 1}};
    for (auto [index, value] : indexToValue)
        EXPECT_EQ(IncomingConnectsValue(index), value) << index;

    const std::vector<std::pair<int, int>> clamp = {{-5, 1},  {0, 1},   {1, 1},
                                                    {40, 40}, {41, 40}, {99, 40}};
    for (auto [in, out] : clamp) EXPECT_EQ(ClampChannelCount(in), out) << in;
}

TEST(EinstellungenAnzeige, FontEntriesAndSelectionNeverPastTheList) {
    const auto entries = FontSizeEntries(
        {"DejaVu Sans", "Tarvo 08x12", "tarvo 10x18", "Tarvo", "Tarvo ", "Tarv", "TARVOX07x09"});
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].size, "08x12");
    EXPECT_EQ(entries[0].family, "Tarvo 08x12");
    EXPECT_EQ(entries[1].size, "10x18");
    EXPECT_EQ(entries[2].size, "07x09");

    const auto list = [](std::initializer_list<const char*> sizes) {
        std::vector<TFontSizeEntry> out;
        for (const char* s : sizes) out.push_back({std::string("Tarvo ") + s, s});
        return out;
    };
    struct Case {
        std::vector<TFontSizeEntry> entries;
        const char* stored;
        int selected;
    };
    const std::vector<Case> cases = {
        {list({"07x09", "08x09", "08x12", "10x18"}), "10x18", 3},
        {list({"07x09", "08x09", "08x12", "10x18"}), "08x15", 2},
        {list({"07x09", "08x09"}), "08x15", 1},
        {list({"07x09", "08x09"}), "07x09", 0},
        {list({"10x18"}), "08x12", 0},
        {list({}), "08x12", -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FontSizeSelection(c.entries, c.stored), c.selected)
            << c.entries.size() << " " << c.stored;
}

TEST(EinstellungenAnzeige, ColourTabsCoverEveryColourOnce) {
    std::vector<int> seen(core::TConfig::kColorCount, 0);
    for (const auto& tab : ColourTabs())
        for (const auto& b : tab.buttons) ++seen.at(static_cast<std::size_t>(b.colour));
    EXPECT_EQ(seen, std::vector<int>(core::TConfig::kColorCount, 1));
    ASSERT_EQ(ColourTabs().size(), 3u);
    EXPECT_EQ(ColourTabs()[0].buttons[2].caption, "Verbindungsstatus");
    EXPECT_EQ(ColourTabs()[0].buttons[2].colour, core::TConfig::kColorChannelNotice);
}

}  // namespace
