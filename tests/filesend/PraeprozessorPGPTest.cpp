// A typed text signed on its way to the send queue, checked by gpg itself.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "connection/PGPClassU.h"
#include "core/StreamU.h"
#include "filesend/DateiSendenPraeprozessorU.h"
#include "filesend/DateiSendenQueueU.h"
#include "filesend/DateiSendenU.h"
#include "tests/support/FakeChannel.h"
#include "tests/support/GnupgHome.h"

namespace tarvo::filesend {
namespace {

TEST(PraeprozessorPGP, SignedTextJobVerifiesWithGpg) {
    test::GnupgHome home;
    const std::string key = home.GenerateKey("Alice <alice@example.org>");
    connection::TPGPOptions options;
    options.homeDir = home.Path();
    options.versionText = "0.01.000";
    ASSERT_TRUE(connection::InstallPGP(options));

    auto connection = std::make_shared<test::FakeVerbindung>();
    connection->sendQueue = std::make_shared<TDateiSendenQueue>(3);
    TDateiSendenPraeprozessor p;
    p.SetStream(std::make_unique<core::TMemoryStream>("Hallo Mailbox\rZweite Zeile\r"));
    p.SetFileName("???");
    p.SetVerbindung(connection);
    p.SetProtokoll(kProtokollText);
    p.SetSign(true);
    p.SetPGPKey(key);
    p.SetPGPComment("Test");
    const TPraeprozessorErgebnis result = p.Run();
    connection::UninstallPGP();
    EXPECT_EQ(result.error, "");
    ASSERT_EQ(result.queued, 1);

    const auto items = connection->sendQueue->Items();
    ASSERT_EQ(items.size(), 1u);
    core::TStream* stream = items[0]->GetStream();
    ASSERT_NE(stream, nullptr);
    std::string text(static_cast<std::size_t>(stream->GetSize()), '\0');
    stream->SetPosition(0);
    stream->ReadBuffer(text.data(), text.size());
    EXPECT_EQ(text.find('\n'), std::string::npos);  // CR line ends on the air
    EXPECT_NE(text.find("\rHallo Mailbox\rZweite Zeile\r"), std::string::npos);
    EXPECT_TRUE(home.Verify(connection::LineEndsToLf(text)));
}

}  // namespace
}  // namespace tarvo::filesend
