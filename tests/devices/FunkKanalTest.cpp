#include "devices/FunkKanalU.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "channels/KanaeleU.h"
#include "devices/GeraetU.h"
#include "tests/channels/ChannelFixture.h"

using tarvo::channels::TKanaele;
using tarvo::core::IFunkKanal;
using tarvo::core::IKanal;
using tarvo::core::IVerbindung;
using tarvo::devices::TFunkKanal;
using tarvo::devices::TGeraet;
using tarvo::devices::TGeraetContext;

namespace {

constexpr std::uint8_t kThrow = 0xFF;

// Records what the radio channel hands on; Verbinde answers result (or throws).
class FakeGeraet final : public TGeraet {
  public:
    explicit FakeGeraet(std::string className = "TGeraetHostmodeSerial")
        : TGeraet(TGeraetContext{}), className_(std::move(className)) {}

    std::string ClassName() const override { return className_; }
    std::string GetBezeichnung() const override { return "Fake"; }
    void Run() override {}
    void Restore() override {}
    void EinstellungenVerwerfen() override {}
    void EinstellungenUebernehmen() override {}
    std::vector<std::shared_ptr<IFunkKanal>> GetFunkKanaele(int) override { return {}; }
    void Trenne(const std::shared_ptr<IVerbindung>&) override {}

    using TGeraet::Verbinde;
    std::uint8_t Verbinde(IFunkKanal& funkkanal, std::string& ziel, std::shared_ptr<IVerbindung>&,
                          const std::shared_ptr<IKanal>& kanal, std::string& mycall) override {
        ++connects;
        lastFunkKanal = &funkkanal;
        lastKanal = kanal;
        lastZiel = ziel;
        lastMyCall = mycall;
        if (result == kThrow) throw std::runtime_error("device failed");
        mycall = "DL1XYZ-1";  // the device may replace it
        return result;
    }
    std::string SendUI(IFunkKanal& funkkanal, std::string_view ziel, std::string_view data,
                       std::string_view mycall) override {
        lastFunkKanal = &funkkanal;
        lastZiel = ziel;
        lastMyCall = mycall;
        pieces.emplace_back(data);
        return {};
    }

    std::uint8_t result = 0;
    int connects = 0;
    IFunkKanal* lastFunkKanal = nullptr;
    std::shared_ptr<IKanal> lastKanal;
    std::string lastZiel, lastMyCall;
    std::vector<std::string> pieces;

  private:
    std::string className_;
};

class FunkKanalTest : public tarvo::test::ChannelFixture {
  protected:
    FunkKanalTest()
        : kanaele(std::make_unique<TKanaele>(ctx_, nullptr)),
          geraet(std::make_shared<FakeGeraet>()),
          funk(TFunkKanal::Create(geraet, kanaele.get())) {}

    std::uint8_t Connect(std::shared_ptr<IKanal>& kanal) {
        std::string ziel = "DB0ABC";
        std::string mycall = "DL1XYZ";
        std::shared_ptr<IVerbindung> verbindung;
        return funk->Verbinde(ziel, mycall, verbindung, kanal);
    }

    int ReservedCount() const {
        int n = 0;
        for (int i = 1; i <= kanaele->Count(); ++i) n += kanaele->GetKanal(i)->GetReserved();
        return n;
    }

    std::unique_ptr<TKanaele> kanaele;
    std::shared_ptr<FakeGeraet> geraet;
    std::shared_ptr<TFunkKanal> funk;
};

}  // namespace

TEST_F(FunkKanalTest, SendUICutsDataInto256BytePieces) {
    struct Case {
        std::size_t size;
        std::vector<std::size_t> pieces;
    };
    const Case cases[] = {
        {600, {256, 256, 88}}, {256, {256}}, {257, {256, 1}}, {1, {1}}, {0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        geraet->pieces.clear();
        std::string data;
        for (std::size_t i = 0; i < c.size; ++i) data += static_cast<char>(i % 251);
        EXPECT_TRUE(funk->SendUI("CQ", "DL1XYZ", data));

        std::vector<std::size_t> sizes;
        std::string joined;
        for (const auto& p : geraet->pieces) {
            sizes.push_back(p.size());
            joined += p;
        }
        EXPECT_EQ(sizes, c.pieces);
        EXPECT_EQ(joined, data);
        if (c.size > 0) {
            EXPECT_EQ(geraet->lastFunkKanal, funk.get());
            EXPECT_EQ(geraet->lastZiel, "CQ");
            EXPECT_EQ(geraet->lastMyCall, "DL1XYZ");
        }
    }
}

TEST_F(FunkKanalTest, AllChannelsBusyGives7WithoutAskingTheDevice) {
    while (kanaele->FindFreeChannel()) {
    }
    std::shared_ptr<IKanal> kanal;
    EXPECT_EQ(Connect(kanal), tarvo::devices::kConnectAllChannelsBusy);
    EXPECT_EQ(kanal, nullptr);
    EXPECT_EQ(geraet->connects, 0);
}

TEST_F(FunkKanalTest, ReservationIsReleasedOnlyWhenMadeHereAndTheDeviceFails) {
    struct Case {
        const char* name;
        bool bringChannel;
        std::uint8_t result;
        bool reservedAfter;
    };
    const Case cases[] = {
        {"found here, accepted", false, 0, true},
        {"found here, refused", false, tarvo::devices::kConnectNoFreeSsid, false},
        {"found here, device threw", false, kThrow, false},
        {"brought, accepted", true, 0, true},
        {"brought, refused", true, tarvo::devices::kConnectNoFreeSsid, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (int i = 1; i <= kanaele->Count(); ++i) kanaele->GetKanal(i)->SetReserved(false);
        geraet->result = c.result;
        // The caller's own reservation does not stop the channel taking the connection.
        std::shared_ptr<IKanal> brought = c.bringChannel ? kanaele->FindFreeChannel() : nullptr;
        std::shared_ptr<IKanal> kanal = brought;

        if (c.result == kThrow) {
            EXPECT_THROW(Connect(kanal), std::runtime_error);
        } else {
            EXPECT_EQ(Connect(kanal), c.result);
        }
        ASSERT_NE(kanal, nullptr);
        EXPECT_EQ(geraet->lastKanal, kanal);
        EXPECT_EQ(kanal->GetNummer(), 1);  // the lowest free one
        EXPECT_EQ(kanal->GetReserved(), c.reservedAfter);
        EXPECT_EQ(ReservedCount(), c.reservedAfter ? 1 : 0);
    }
}

TEST_F(FunkKanalTest, ChannelThatCannotTakeAConnectionIsReplaced) {
    // Found through the channel set that exists, when none was given.
    auto viaInstance = TFunkKanal::Create(geraet);
    std::shared_ptr<IKanal> kanal = kanaele->GetKanal(0);  // the monitor
    std::string ziel = "DB0ABC", mycall = "DL1XYZ";
    EXPECT_EQ(viaInstance->Verbinde(ziel, mycall, kanal), 0);
    ASSERT_NE(kanal, nullptr);
    EXPECT_EQ(kanal->GetNummer(), 1);
    EXPECT_TRUE(kanal->GetReserved());
    EXPECT_EQ(geraet->lastZiel, "DB0ABC");
    EXPECT_EQ(mycall, "DL1XYZ-1");  // as the device used it
}

TEST_F(FunkKanalTest, DeviceGoneOrDetachedGives3AndNoUI) {
    for (bool detach : {false, true}) {
        SCOPED_TRACE(detach ? "detached" : "destroyed");
        auto own = std::make_shared<FakeGeraet>("TGeraetFlexnet");
        auto radio = TFunkKanal::Create(own, kanaele.get());
        EXPECT_TRUE(radio->IsFlexnet());
        if (detach)
            radio->DetachGeraet();
        else
            own.reset();

        std::shared_ptr<IKanal> kanal;
        std::string ziel = "DB0ABC", mycall = "DL1XYZ";
        std::shared_ptr<IVerbindung> verbindung;
        EXPECT_EQ(radio->Verbinde(ziel, mycall, verbindung, kanal),
                  tarvo::devices::kConnectNoDevice);
        EXPECT_EQ(kanal, nullptr);
        EXPECT_EQ(ReservedCount(), 0);
        EXPECT_FALSE(radio->SendUI("CQ", "DL1XYZ", "hello"));
        EXPECT_FALSE(radio->SendUI("CQ", "DL1XYZ", ""));
        EXPECT_FALSE(radio->IsFlexnet());
        if (own) {
            EXPECT_EQ(own->connects, 0);
        }
    }
}

TEST_F(FunkKanalTest, IsFlexnetByDeviceClass) {
    EXPECT_FALSE(funk->IsFlexnet());
    auto flex = std::make_shared<FakeGeraet>("TGeraetFlexnet");
    EXPECT_TRUE(TFunkKanal::Create(flex)->IsFlexnet());
}
