// The PGP block collector on a stand-in engine: which lines start and end a
// block, its bound, and what reaches the channel.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "connection/PGPCheckU.h"
#include "connection/PGPClassU.h"
#include "connection/VerbindungStandardU.h"
#include "tests/support/CollectingDebugSink.h"
#include "tests/support/FakeModulConnection.h"

namespace tarvo::connection {
namespace {

using testing::HasSubstr;

struct TDecoded {
    std::string station;
    std::string block;
};

// Records what it is given; answers "ok" or fails when told.
class FakePGP final : public core::IPGP {
  public:
    explicit FakePGP(std::shared_ptr<std::vector<TDecoded>> log, bool fail)
        : log_(std::move(log)), fail_(fail) {}
    std::string Decode(std::string_view block) override { return DecodeFrom({}, block); }
    std::string DecodeFrom(std::string_view station, std::string_view block) override {
        log_->push_back({std::string(station), std::string(block)});
        if (fail_) throw std::runtime_error("kaputt");
        return "ok\r";
    }
    std::vector<core::TPGPKey> GetPrivateKeys() override { return {}; }
    std::string Sign(std::string_view, std::string_view, std::string_view,
                     std::string_view) override {
        return {};
    }

  private:
    std::shared_ptr<std::vector<TDecoded>> log_;
    bool fail_;
};

const std::string kSigned = "-----BEGIN PGP SIGNED MESSAGE-----\r";
const std::string kSignatureEnd = "-----END PGP SIGNATURE-----\r";
const std::string kKeys = "-----BEGIN PGP PUBLIC KEY BLOCK-----\r";
const std::string kKeysEnd = "-----END PGP PUBLIC KEY BLOCK-----\r";

class PGPCheck : public testing::Test {
  protected:
    void SetUp() override { Engine(false); }
    void TearDown() override { core::SetPGPFactory(nullptr); }
    void Engine(bool fail) {
        core::SetPGPFactory([log = decoded, fail]() -> std::unique_ptr<core::IPGP> {
            return std::make_unique<FakePGP>(log, fail);
        });
    }
    std::vector<std::string> Feed(TPGPCheck& check, const std::vector<std::string>& lines) {
        std::vector<std::string> shown;
        for (const auto& line : lines)
            if (auto r = check.Receive(line, "DL1ABC-3")) shown.push_back(*r);
        return shown;
    }

    std::shared_ptr<std::vector<TDecoded>> decoded = std::make_shared<std::vector<TDecoded>>();
};

TEST_F(PGPCheck, BlocksStartAndEndOnWholeLines) {
    struct Case {
        const char* what;
        std::vector<std::string> lines;
        std::string block;  // what reaches the engine; empty: nothing
    };
    const Case cases[] = {
        {"signed message",
         {"Hallo\r", kSigned, "Hash: SHA256\r", "\r", "Text\r", "-----BEGIN PGP SIGNATURE-----\r",
          "abc\r", kSignatureEnd, "danach\r"},
         kSigned + "Hash: SHA256\r\rText\r-----BEGIN PGP SIGNATURE-----\rabc\r" + kSignatureEnd},
        {"key block", {kKeys, "\r", "mQ\r", kKeysEnd}, kKeys + "\rmQ\r" + kKeysEnd},
        // CR LF from the air: the LF comes in front of the next line.
        {"CR LF line ends",
         {"\n" + kSigned, "\nText\r", "\n" + kSignatureEnd},
         kSigned + "\nText\r\n" + kSignatureEnd},
        {"begin line without CR", {"-----BEGIN PGP SIGNED MESSAGE-----", kSignatureEnd}, ""},
        {"begin line inside a line", {"x-----BEGIN PGP SIGNED MESSAGE-----\r", kSignatureEnd}, ""},
        {"short dashes", {"-----BEGIN PGP-----\r", kSignatureEnd}, ""},
        // The tail of a long line cut into pieces is no start line.
        {"piece of a long line", {"xxxx", kSigned, kSignatureEnd}, ""},
        {"end line in a piece",
         {kSigned, "Text ", kSignatureEnd, kSignatureEnd},
         kSigned + "Text " + kSignatureEnd + kSignatureEnd},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        decoded->clear();
        TPGPCheck check([] { return true; });
        const auto shown = Feed(check, c.lines);
        if (c.block.empty()) {
            EXPECT_TRUE(decoded->empty());
            EXPECT_TRUE(shown.empty());
            continue;
        }
        ASSERT_EQ(decoded->size(), 1u);
        EXPECT_EQ(decoded->front().block, c.block);
        EXPECT_EQ(decoded->front().station, "DL1ABC-3");
        EXPECT_EQ(shown, std::vector<std::string>{"ok\r"});
        EXPECT_FALSE(check.Collecting());
    }
}

TEST_F(PGPCheck, BlockThatNeverEndsIsDroppedPastOneMebibyte) {
    TPGPCheck check;
    EXPECT_TRUE(Feed(check, {kSigned}).empty());
    const std::string line(1000, 'A');
    std::vector<std::string> shown;
    for (int i = 0; i < 1100 && shown.empty(); ++i) {
        if (auto r = check.Receive(line + "\r", "DL1ABC")) shown.push_back(*r);
        EXPECT_LE(check.BufferSize(), kMaxPGPBlock + line.size() + 1);
    }
    EXPECT_EQ(shown, std::vector<std::string>{"PGP-signierte Nachricht zu gro\xDF."});
    EXPECT_FALSE(check.Collecting());
    EXPECT_TRUE(Feed(check, {kSignatureEnd}).empty());
    EXPECT_TRUE(decoded->empty());
}

TEST_F(PGPCheck, WithoutAnEngineSignedTextStaysText) {
    core::SetPGPFactory(nullptr);
    TPGPCheck check;
    EXPECT_TRUE(Feed(check, {kSigned, "Text\r", kSignatureEnd}).empty());
    EXPECT_FALSE(check.Collecting());
}

TEST_F(PGPCheck, WithoutGpgTheProgramSaysSoAndRunsOn) {
    auto sink = std::make_shared<test::CollectingDebugSink>();
    core::SetDebugSink(sink);
    TPGPOptions options;
    options.engineVersion = [] { return std::optional<std::string>(); };
    EXPECT_FALSE(InstallPGP(options));
    core::SetDebugSink(nullptr);
    EXPECT_EQ(core::CreatePGP(), nullptr);
    bool logged = false;
    for (const auto& line : sink->Lines())
        logged = logged || line.find("PGP nicht installiert.") != std::string::npos;
    EXPECT_TRUE(logged);

    // The text module shows the signed text and goes on with the next line.
    auto fake = std::make_shared<test::FakeModulConnection>();
    fake->remoteCommandsEnabled = false;
    auto module = TVerbindungAbstract::Create<TVerbindungStandard>(nullptr, fake);
    for (const std::string& item :
         {kSigned, std::string("Text\r"), kSignatureEnd, std::string("//ring\r")})
        fake->receiveQueue.PushString(item);
    module->OnReceive();
    EXPECT_THAT(fake->ShownText(), HasSubstr("Text\r" + kSignatureEnd));
    const auto prompts = fake->Prompts();
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0].text, "Keine Auswertung von Fernsteuerbefehlen.");
    module->Close();
    UninstallPGP();
}

TEST_F(PGPCheck, EngineFailureIsShown) {
    Engine(true);
    TPGPCheck check;
    EXPECT_EQ(Feed(check, {kSigned, kSignatureEnd}),
              std::vector<std::string>{"PGP Fehler: \"kaputt\""});
}

TEST_F(PGPCheck, KeyBlockWithCollectingOff) {
    TPGPCheck check([] { return false; });
    const auto shown = Feed(check, {kKeys, "mQ\r", kKeysEnd});
    ASSERT_EQ(shown.size(), 1u);
    // Wrapped to fit behind the reply prefix.
    EXPECT_EQ(shown[0],
              "Das automatische Hinzuf\xFCgen von \xF6"
              "ffentlichen Schl\xFCsseln zum \rSchl\xFCsselbund ist ausgeschaltet.");
    EXPECT_TRUE(decoded->empty());
    // Signed messages are still checked.
    EXPECT_EQ(Feed(check, {kSigned, kSignatureEnd}), std::vector<std::string>{"ok\r"});
}

TEST_F(PGPCheck, ProgramSettingDecidesWhenNoneIsGiven) {
    bool collect = false;
    SetCollectPublicKeysSetting([&collect] { return collect; });
    TPGPCheck check;
    Feed(check, {kKeys, kKeysEnd});
    EXPECT_TRUE(decoded->empty());
    collect = true;
    Feed(check, {kKeys, kKeysEnd});
    EXPECT_EQ(decoded->size(), 1u);
    SetCollectPublicKeysSetting(nullptr);
}

TEST_F(PGPCheck, TextModuleShowsTheResultOnTheChannel) {
    auto fake = std::make_shared<test::FakeModulConnection>();
    auto module = TVerbindungAbstract::Create<TVerbindungStandard>(nullptr, fake);
    for (const std::string& item : {std::string("Hallo\r"), kSigned, std::string("Text\r"),
                                    std::string("-----BEGIN PGP SIGNATURE-----\r"), kSignatureEnd})
        fake->receiveQueue.PushString(item);
    module->OnReceive();
    ASSERT_EQ(decoded->size(), 1u);
    EXPECT_THAT(decoded->front().block, HasSubstr("Text\r"));
    bool shown = false;
    for (const auto& p : fake->Prompts()) shown = shown || (p.text == "ok\r" && p.kind == 3);
    EXPECT_TRUE(shown);
    module->Close();
}

}  // namespace
}  // namespace tarvo::connection
