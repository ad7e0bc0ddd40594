// A device kind for tests: its worker, status and radio channels are what the
// test sets; it stores one value "Name" so tests can follow it through the
// settings.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "devices/GeraetU.h"

namespace tarvo::test {

class FakeFunkKanal final : public core::IFunkKanal {
  public:
    explicit FakeFunkKanal(std::string name) : name_(std::move(name)) {}
    std::string GetName() const override { return name_; }
    void SetName(std::string_view name) override { name_ = name; }
    void SetPort(std::int32_t port) override { port_ = port; }
    std::int32_t GetPort() const override { return port_; }
    std::uint8_t Verbinde(std::string&, std::string&, std::shared_ptr<core::IVerbindung>&,
                          std::shared_ptr<core::IKanal>&) override {
        return devices::kConnectUnknownError;
    }
    bool IsFlexnet() const override { return false; }
    std::string GetKennung() const override { return name_; }
    void SetKennung(std::string_view) override {}
    bool SendUI(std::string_view, std::string_view, std::string_view) override { return true; }

  private:
    std::string name_;
    std::int32_t port_ = -1;
};

class FakeGeraet : public devices::TGeraet {
  public:
    FakeGeraet(const devices::TGeraetContext& ctx, std::string className)
        : TGeraet(ctx), className_(std::move(className)) {}

    static devices::TGeraetKind Kind(const std::string& className,
                                     const std::string& bezeichnung = "Fake") {
        return {className, bezeichnung, [className](const devices::TGeraetContext& ctx) {
                    return std::shared_ptr<devices::TGeraet>(
                        std::make_shared<FakeGeraet>(ctx, className));
                }};
    }

    // What runs on the worker; by default it waits until asked to end.
    std::function<void(FakeGeraet&)> run;
    // Without a worker Init only sets this status.
    bool threaded = false;
    devices::TGeraetStatus statusAfterInit = devices::TGeraetStatus::Bereit;
    int channels = 0;
    bool offerMoreThanAsked = false;
    std::string name;  // read from and written to "Name"
    std::atomic<int> applied{0}, discarded{0}, restored{0};

    std::string ClassName() const override { return className_; }
    std::string GetBezeichnung() const override { return "Fake"; }
    void Run() override {
        if (run) return run(*this);
        while (!IsTerminated()) StopEvent().Wait(std::chrono::milliseconds(100));
    }
    void Init() override {
        const std::string key = RegKey();
        if (!key.empty() && Context().registry)
            name = Context()
                       .registry->ReadText(platform::Hive::LocalMachine, key, "Name")
                       .value_or(std::string());
        if (threaded) {
            TGeraet::Init();
        } else {
            SetStatus(statusAfterInit);
        }
    }
    void Save() override {
        TGeraet::Save();
        Context().registry->WriteText(platform::Hive::LocalMachine, RegKey(), "Name", name);
    }
    void Restore() override { ++restored; }
    void EinstellungenVerwerfen() override { ++discarded; }
    void EinstellungenUebernehmen() override {
        ++applied;
        if (Status() == devices::TGeraetStatus::Inaktiv) Init();
    }
    std::vector<std::shared_ptr<core::IFunkKanal>> GetFunkKanaele(int max) override {
        std::vector<std::shared_ptr<core::IFunkKanal>> list;
        for (int i = 0; i < channels && (offerMoreThanAsked || i < max); ++i)
            list.push_back(std::make_shared<FakeFunkKanal>(name + ":" + std::to_string(i)));
        return list;
    }
    std::uint8_t Verbinde(core::IFunkKanal&, std::string&, std::shared_ptr<core::IVerbindung>&,
                          const std::shared_ptr<core::IKanal>&, std::string&) override {
        return devices::kConnectNoAnswer;
    }
    using TGeraet::Verbinde;
    std::string SendUI(core::IFunkKanal&, std::string_view, std::string_view,
                       std::string_view) override {
        return {};
    }
    void Trenne(const std::shared_ptr<core::IVerbindung>&) override {}

  private:
    std::string className_;
};

}  // namespace tarvo::test
