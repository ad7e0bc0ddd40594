// The PGP component on a real GnuPG in key rings of the test's own: result
// texts, line ends from the air, key import and its bound, our signatures.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "connection/PGPCheckU.h"
#include "connection/PGPClassU.h"
#include "core/GlobalU.h"
#include "platform/Clock.h"
#include "tests/channels/ChannelFixture.h"
#include "tests/support/GnupgHome.h"

namespace tarvo::connection {
namespace {

using testing::HasSubstr;
using testing::Not;
using testing::StartsWith;

std::string Replace(std::string s, std::string_view from, std::string_view to) {
    const std::size_t at = s.find(from);
    if (at != std::string::npos) s.replace(at, from.size(), to);
    return s;
}

// Keys are made once per test program: our ring holds Alice (no passphrase)
// and Bob (passphrase "Geheim-2026!"); a stranger's ring holds five keys of others.
class PGP : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        stranger = new test::GnupgHome;
        for (int i = 1; i <= 5; ++i)
            others.push_back(stranger->GenerateKey("Key " + std::to_string(i) + " <k" +
                                                   std::to_string(i) + "@example.org>"));
        own = new test::GnupgHome;
        alice = own->GenerateKey("Alice <alice@example.org>");
        bob = own->GenerateKey("Bob <bob@example.org>", "Geheim-2026!");
    }
    static void TearDownTestSuite() {
        delete own;
        delete stranger;
        own = stranger = nullptr;
        others.clear();
    }
    void TearDown() override { UninstallPGP(); }

    TPGPOptions Options(bool detailed = false) {
        TPGPOptions o;
        o.homeDir = own->Path();
        o.versionText = "0.01.000";
        o.detailedOutput = [detailed] { return detailed; };
        o.klaenge = &klaenge;
        o.budget = budget;
        return o;
    }
    // Lines as the text module hands them over: cut after each CR.
    static std::vector<std::string> AirLines(const std::string& text) {
        std::vector<std::string> lines;
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t cr = text.find('\r', start);
            if (cr == std::string::npos) cr = text.size() - 1;
            lines.push_back(text.substr(start, cr + 1 - start));
            start = cr + 1;
        }
        return lines;
    }
    std::vector<std::string> FeedCheck(TPGPCheck& check, const std::string& text) {
        std::vector<std::string> shown;
        for (const auto& line : AirLines(text))
            if (auto r = check.Receive(line, "DL1ABC-2")) shown.push_back(*r);
        return shown;
    }

    static inline test::GnupgHome* own = nullptr;
    static inline test::GnupgHome* stranger = nullptr;
    static inline std::string alice, bob;
    static inline std::vector<std::string> others;

    test::CountingKlaenge klaenge;
    platform::FakeClock clock{1000, 1'800'000'000};
    std::shared_ptr<TKeyImportBudget> budget = std::make_shared<TKeyImportBudget>(clock);
};

TEST_F(PGP, SignatureResultsInBothForms) {
    const std::string good = LineEndsToCr(own->ClearSign(alice, "Hallo Welt\nZeile zwei\n"));
    ASSERT_THAT(good, StartsWith("-----BEGIN PGP SIGNED MESSAGE-----\r"));
    const std::string tampered = Replace(good, "Hallo Welt", "Hallo Welf");
    const std::string unknown = LineEndsToCr(stranger->ClearSign(others[0], "Hallo\n"));
    struct Case {
        const char* what;
        const std::string& text;
        bool detailed;
        std::vector<std::string> lines;
        int sound;
    };
    const Case cases[] = {
        {"good",
         good,
         false,
         {"Unterzeichner: \"Alice <alice@example.org>\"\r", "Die Unterschrift ist g\xFCltig.\r",
          "Unterzeichnet am "},
         kSoundPGPValid},
        {"tampered",
         tampered,
         false,
         {"Unterzeichner: \"Alice <alice@example.org>\"\r",
          "Die Unterschrift ist ung\xFCltig, die Nachricht wurde ver\xE4ndert.\r"},
         kSoundPGPChanged},
        {"unknown key",
         unknown,
         false,
         // Wrapped to fit behind the reply prefix.
         {"Unterzeichner: Unbekannt\r               (ID=" + others[0] + ")\r",
          "Die Unterschrift wurde nicht \xFC"
          "berpr\xFC"
          "ft.\r"},
         kSoundPGPUnknown},
        {"good, detailed",
         good,
         true,
         {"Signer: \"Alice <alice@example.org>\"\r", "Checked: true.\r", "Verified: true.\r",
          "KeyValidity: complete.\r", "Date/Time: ", "KeyRevoked: false.\r"},
         kSoundPGPValid},
        {"tampered, detailed",
         tampered,
         true,
         {"Checked: true.\r", "Verified: false.\r"},
         kSoundPGPChanged},
        {"unknown key, detailed",
         unknown,
         true,
         {"Signer: Unknown, ID=" + others[0] + "\r", "Checked: false.\r", "Verified: false.\r"},
         kSoundPGPUnknown},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::CountingKlaenge sounds;
        TPGPOptions options = Options(c.detailed);
        options.klaenge = &sounds;
        TPGP pgp(options);
        const std::string result = pgp.Decode(c.text);
        for (const auto& line : c.lines) EXPECT_THAT(result, HasSubstr(line));
        EXPECT_THAT(result, Not(HasSubstr("\n")));
        EXPECT_EQ(sounds.Events(), std::vector<int>{c.sound});
    }
}

TEST_F(PGP, LineEndsOfTheAirVerify) {
    const std::string signedLf = own->ClearSign(alice, "Erste Zeile\n\nDritte Zeile\n");
    TPGP pgp(Options());
    for (const std::string& text :
         {LineEndsToCr(signedLf), Replace(LineEndsToCr(signedLf), "\r", "\r\n"), [&] {
              std::string crlf;
              for (char c : signedLf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
              return crlf;
          }()}) {
        EXPECT_THAT(pgp.Decode(text), HasSubstr("Die Unterschrift ist g\xFCltig."));
    }
}

TEST_F(PGP, CheckOnTheRealEngineTakesCrLfText) {
    ASSERT_TRUE(InstallPGP(Options()));
    std::string crlf;
    for (char c : own->ClearSign(alice, "Text vom Funk\n"))
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    TPGPCheck check;
    const auto shown = FeedCheck(check, crlf);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_THAT(shown[0], HasSubstr("Die Unterschrift ist g\xFCltig."));
}

TEST_F(PGP, KeyImportOnAndOff) {
    ASSERT_TRUE(InstallPGP(Options()));
    const std::string block = LineEndsToCr(stranger->Export(others[1]));
    ASSERT_FALSE(own->HasKey(others[1]));

    TPGPCheck off([] { return false; });
    const auto refused = FeedCheck(off, block);
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_THAT(refused[0], HasSubstr("ist ausgeschaltet."));
    EXPECT_FALSE(own->HasKey(others[1]));

    TPGPCheck on([] { return true; });
    EXPECT_EQ(FeedCheck(on, block),
              std::vector<std::string>{"Folgende Schl\xFCssel wurden dem Schl\xFCsselring "
                                       "hinzugef\xFCgt:\r\"Key 2 <k2@example.org>\"\r"});
    EXPECT_TRUE(own->HasKey(others[1]));
    // A message of that key is now checked.
    TPGP pgp(Options());
    EXPECT_THAT(pgp.Decode(LineEndsToCr(stranger->ClearSign(others[1], "Hallo\n"))),
                HasSubstr("Unterzeichner: \"Key 2 <k2@example.org>\""));
}

TEST_F(PGP, KeyImportIsBounded) {
    TPGP pgp(Options());
    // Too many keys in one block: none is taken.
    const std::string five = stranger->Export(others[0] + " " + others[1] + " " + others[2] + " " +
                                              others[3] + " " + others[4]);
    EXPECT_EQ(pgp.DecodeFrom("DL1ABC", five),
              "Der Block enth\xE4lt 5 Schl\xFCssel (h\xF6"
              "chstens 4); keiner wurde hinzugef\xFCgt.\r");
    // A station past its allowance: none is taken.
    budget->Add("DL1ABC-7", kMaxKeysPerStationHour);
    EXPECT_THAT(pgp.DecodeFrom("DL1ABC-1", stranger->Export(others[2])),
                StartsWith("Von dieser Station wurden in der letzten Stunde schon 8"));
    for (const auto& key : {others[0], others[2], others[3], others[4]})
        EXPECT_FALSE(own->HasKey(key)) << key;
    // An hour later it may again.
    clock.AdvanceMs(60 * 60 * 1000);
    EXPECT_THAT(pgp.DecodeFrom("DL1ABC-1", stranger->Export(others[2])),
                HasSubstr("\"Key 3 <k3@example.org>\""));
    EXPECT_TRUE(own->HasKey(others[2]));
}

TEST(PGPBudget, CountsPerStationAndInAll) {
    platform::FakeClock clock(0, 0);
    TKeyImportBudget budget(clock);
    EXPECT_EQ(budget.Refusal("DL1ABC", kMaxKeysPerStationHour), "");
    EXPECT_NE(budget.Refusal("DL1ABC", kMaxKeysPerStationHour + 1), "");
    budget.Add("DL1ABC-1", 5);
    budget.Add("dl1abc-2", 3);  // the same station with another SSID
    EXPECT_NE(budget.Refusal("DL1ABC", 1), "");
    EXPECT_EQ(budget.Refusal("DL2XYZ", 1), "");
    for (int i = 0; i < 3; ++i) budget.Add("DB" + std::to_string(i) + "AA", 8);
    EXPECT_THAT(budget.Refusal("DL3NEW", 1), StartsWith("In der letzten Stunde wurden schon 32"));
    clock.AdvanceMs(60 * 60 * 1000 - 1);
    EXPECT_NE(budget.Refusal("DL3NEW", 1), "");
    clock.AdvanceMs(1);
    EXPECT_EQ(budget.Refusal("DL1ABC", kMaxKeysPerStationHour), "");
}

TEST_F(PGP, OwnSignaturePassesGpg) {
    TPGP pgp(Options());
    const std::string text =
        "Hallo Welt\rGr\xFC\xDF"
        "e aus Tarvo\r-- mit Strichen\r";
    const std::string signedText =
        pgp.Sign(alice, "", "Test\r\nComment: eingeschleust", text + std::string(1, '\0'));
    EXPECT_EQ(signedText.find('\n'), std::string::npos);
    EXPECT_THAT(signedText, HasSubstr("-----BEGIN PGP SIGNATURE-----\rVersion: Tarvo 0.01.000\r"
                                      "Comment: Test  Comment: eingeschleust\r\r"));
    const std::string lf = LineEndsToLf(signedText);
    EXPECT_TRUE(own->Verify(lf));
    EXPECT_FALSE(own->Verify(Replace(lf, "Hallo Welt", "Hallo Welf")));
    // And our own check agrees.
    EXPECT_THAT(pgp.Decode(signedText), HasSubstr("Die Unterschrift ist g\xFCltig."));

    // A key with a passphrase signs only with the right one.
    // The send dialog tells a wrong password from other failures by its type.
    EXPECT_THROW(pgp.Sign(bob, "falsch", "", "Text\r"), platform::PgpBadPassphrase);
    EXPECT_TRUE(own->Verify(LineEndsToLf(pgp.Sign(bob, "Geheim-2026!", "", "Text\r"))));
    EXPECT_THROW(pgp.Sign("not a fingerprint", "", "", "Text\r"), platform::PgpError);
    try {
        pgp.Sign("not a fingerprint", "", "", "Text\r");
    } catch (const platform::PgpBadPassphrase&) {
        ADD_FAILURE() << "a missing key is no wrong password";
    } catch (const platform::PgpError&) {
    }
}

TEST_F(PGP, PrivateKeysAreListedByFingerprint) {
    TPGP pgp(Options());
    auto keys = pgp.GetPrivateKeys();
    std::sort(keys.begin(), keys.end(),
              [](const auto& a, const auto& b) { return a.caption < b.caption; });
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0].fingerprint, alice);
    EXPECT_EQ(keys[0].caption, "Alice <alice@example.org> [EdDSA]");
    EXPECT_EQ(keys[1].fingerprint, bob);
}

TEST_F(PGP, UsedOnlyOnItsThread) {
    TPGP pgp(Options());
    bool asserted = false;
    std::thread other([&] {
        try {
            pgp.Decode("-----BEGIN PGP SIGNED MESSAGE-----\r");
        } catch (const core::TarvoAssertion&) {
            asserted = true;
        }
    });
    other.join();
    EXPECT_TRUE(asserted);
}

TEST(PGPText, SignatureTextTable) {
    platform::PgpSignature s;
    s.checked = s.verified = s.keyKnown = true;
    s.signer = "J\xC3\xBCrgen \x1b[31m <dl1abc@example.org>";  // UTF-8 with an escape
    s.validity = platform::PgpValidity::Marginal;
    s.time = 1'700'000'000;  // 2023-11-14 22:13:20 UTC
    EXPECT_EQ(SignatureText(s, false),
              "Unterzeichner: \"J\xFCrgen  [31m <dl1abc@example.org>\"\r"
              "Die Unterschrift ist g\xFCltig.\r"
              "Unterzeichnet am 14.11.2023 um 22:13:20 utc.\r");
    EXPECT_EQ(SignatureSound(s), kSoundPGPValid);

    s.validity = platform::PgpValidity::Unknown;
    s.revoked = s.expired = s.disabled = true;
    EXPECT_EQ(
        SignatureText(s, false),
        "Unterzeichner: \"J\xFCrgen  [31m <dl1abc@example.org>\"\r"
        "Die Echtheit des Unterzeichnerschl\xFCssels ist unbekannt.\r"
        "Die Unterschrift ist g\xFCltig.\r"
        "Unterzeichnet am 14.11.2023 um 22:13:20 utc.\r"
        "Der Schl\xFCssel wurde zur\xFC"
        "ckgezogen.\rDer Schl\xFCssel wurde deaktiviert.\rDer Schl\xFCssel ist abgelaufen.\r");
    EXPECT_EQ(SignatureSound(s), kSoundPGPUnknown);
    EXPECT_EQ(SignatureText(s, true),
              "Signer: \"J\xFCrgen  [31m <dl1abc@example.org>\"\r"
              "Checked: true.\rVerified: true.\rKeyValidity: unknown.\r"
              "Date/Time: 2023-11-14 22:13:20 utc.\r"
              "KeyRevoked: true.\rKeyDisabled: true.\rKeyExpired: true.\r");

    // A long signer wraps under itself.
    platform::PgpSignature lng;
    lng.keyKnown = true;
    lng.signer = "Sehr langer Name mit vielen Teilen und noch mehr Teilen <x@example.org>";
    const std::string text = SignatureText(lng, false);
    EXPECT_THAT(text, StartsWith("Unterzeichner: \"Sehr langer Name mit vielen Teilen und noch\r"
                                 "               mehr Teilen <x@example.org>\"\r"));
}

TEST(PGPText, LineEndsAndArmourHeaders) {
    EXPECT_EQ(LineEndsToLf("a\rb\r\nc\n\r\r"), "a\nb\nc\n\n\n");
    EXPECT_EQ(LineEndsToCr("a\nb\n"), "a\rb\r");
    const std::string armour =
        "-----BEGIN PGP SIGNED MESSAGE-----\nHash: SHA256\n\nText\n"
        "-----BEGIN PGP SIGNATURE-----\n\nabc\n-----END PGP SIGNATURE-----\n";
    EXPECT_EQ(AddArmourHeaders(armour, "Tarvo 1", ""),
              Replace(armour, "SIGNATURE-----\n\n", "SIGNATURE-----\nVersion: Tarvo 1\n\n"));
    EXPECT_EQ(
        AddArmourHeaders(armour, "Tarvo 1", "Hi"),
        Replace(armour, "SIGNATURE-----\n\n", "SIGNATURE-----\nVersion: Tarvo 1\nComment: Hi\n\n"));
}

}  // namespace
}  // namespace tarvo::connection
