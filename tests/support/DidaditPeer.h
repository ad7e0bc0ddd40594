// A scripted remote for one transfer module: the module runs its event loop on
// a worker thread over a fake connection; the script reads the blocks it puts
// on the link and answers with blocks or text of its own.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "connection/VerbindungDidaditU.h"
#include "core/GlobalU.h"
#include "platform/Event.h"
#include "tests/support/FakeModulConnection.h"

namespace tarvo::test {

class DidaditScript {
  public:
    static constexpr std::chrono::seconds kBound{20};

    explicit DidaditScript(std::shared_ptr<FakeModulConnection> fake) : fake_(std::move(fake)) {}
    ~DidaditScript() { Stop(); }

    template <class TModule>
    std::shared_ptr<TModule> Start(connection::TDidaditContext context = {}) {
        auto module = connection::TVerbindungAbstract::Create<TModule>(nullptr, fake_, context);
        module_ = module;
        worker_ = std::thread([this, module] {
            try {
                module->EventLoop();
            } catch (...) {
            }
            module->Close();
            ended_.Set();
        });
        return module;
    }

    // Waits (bounded) for the module's loop to end; false when it did not.
    bool WaitEnd() {
        const bool ended = ended_.Wait(kBound);
        if (ended && worker_.joinable()) worker_.join();
        return ended;
    }
    // Ends the link when the module still runs, and waits for it.
    void Stop() {
        if (!worker_.joinable()) return;
        fake_->endEvent.Set();
        WaitEnd();
        if (worker_.joinable()) worker_.detach();  // a hung module: let the test fail, not hang
    }

    // Raw bytes the module sent, as far as they are there after a bounded wait
    // for at least one item.
    std::string TakeText() {
        fake_->linkSendQueue.NotEmptyEvent().Wait(kBound);
        std::string text;
        while (auto item = fake_->linkSendQueue.Pop()) text += *item;
        return text;
    }
    // The next block the module sent; nullopt when none came in time. Text in
    // front of it (the "#DIDADIT#" or "#OK#" line) goes to text.
    std::optional<connection::TDidaditBlock> NextBlock(std::string* text = nullptr) {
        const auto until = std::chrono::steady_clock::now() + kBound;
        for (;;) {
            if (auto body = splitter_.Next()) {
                auto block = connection::DecodeDidaditBlock(*body);
                if (block) return block;
                if (text) *text += std::string(*body);
                continue;
            }
            if (ended_.IsSet() && fake_->linkSendQueue.IsEmpty()) return std::nullopt;
            if (std::chrono::steady_clock::now() > until) return std::nullopt;
            fake_->linkSendQueue.NotEmptyEvent().Wait(std::chrono::milliseconds(50));
            while (auto item = fake_->linkSendQueue.Pop()) splitter_.Append(*item);
        }
    }
    // The next block of that type, skipping others; nullopt when none came.
    std::optional<connection::TDidaditBlock> Expect(std::uint16_t type) {
        while (auto block = NextBlock())
            if (block->type == type) return block;
        return std::nullopt;
    }

    void SendText(const std::string& text) { fake_->receiveQueue.PushString(text); }
    void SendBlock(std::uint16_t type, const connection::MD5Digest& identity,
                   std::string_view payload) {
        fake_->receiveQueue.PushString(connection::EncodeDidaditBlock(type, identity, payload));
    }
    bool Ended() const { return ended_.IsSet(); }

  private:
    std::shared_ptr<FakeModulConnection> fake_;
    std::shared_ptr<connection::TVerbindungAbstract> module_;
    std::thread worker_;
    platform::Event ended_{platform::Event::Manual, false};
    connection::TDidaditSplitter splitter_;
};

// A private application-data folder for the test, gone afterwards.
class ScopedDataFolder {
  public:
    ScopedDataFolder() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = std::filesystem::temp_directory_path() /
               ("tarvo-didadit-" + std::string(info->test_suite_name()) + "-" + info->name() + "-" +
                std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_ / "data");
        previous_ = core::ApplicationDataFolder();
        core::SetApplicationDataFolder(dir_ / "data");
    }
    ~ScopedDataFolder() {
        core::SetApplicationDataFolder(previous_);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    const std::filesystem::path& Dir() const { return dir_; }
    std::filesystem::path Incomplete() const { return dir_ / "data" / "Incomplete Files"; }

  private:
    std::filesystem::path dir_, previous_;
};

}  // namespace tarvo::test
