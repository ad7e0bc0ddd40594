// A main thread, settings, a clock and a buffer folder for channel tests.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "channels/KanalU.h"
#include "core/ConfigU.h"
#include "platform/Clock.h"
#include "platform/Dispatcher.h"
#include "platform/Registry.h"
#include "tests/support/FakeChannel.h"

namespace tarvo::test {

class CountingKlaenge : public core::IKlaenge {
  public:
    bool Play(int event, const std::shared_ptr<core::IVerbindung>&) override {
        std::lock_guard lock(mutex);
        events.push_back(event);
        return true;
    }
    std::vector<int> Events() {
        std::lock_guard lock(mutex);
        return events;
    }
    std::mutex mutex;
    std::vector<int> events;
};

struct SentData {
    std::string text;
    bool echo, expand, wrap, userQueue;
};

// A connection that keeps what the channel sends on it.
class RecordingVerbindung : public FakeVerbindung {
  public:
    void SendData(std::string_view text, bool echo, bool expand, bool wrap,
                  bool userQueue) override {
        calls.push_back({std::string(text), echo, expand, wrap, userQueue});
    }
    std::vector<SentData> calls;
};

class ChannelFixture : public ::testing::Test {
  protected:
    ChannelFixture() {
        dir_ = std::filesystem::temp_directory_path() /
               ("tarvo-channel-" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(dir_);
        config_ = std::make_unique<core::TConfig>(registry_, "0.01.000");
        config_->SetConsoleRows(core::TConfig::kMinConsoleRows);
        ctx_.dispatcher = &dispatcher_;
        ctx_.config = config_.get();
        ctx_.clock = &clock_;
        ctx_.klaenge = &klaenge_;
        ctx_.bufferFolder = dir_ / "Text Buffers";
        std::filesystem::create_directories(ctx_.bufferFolder);
    }
    ~ChannelFixture() override {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    // A channel whose view the test reads through view().
    std::shared_ptr<channels::TKanal> MakeKanal(int number, FakeKanalView** view = nullptr) {
        FakeKanalView* made = nullptr;
        auto k = channels::TKanal::Create(number, ctx_, [&](channels::TKanal&) {
            auto v = std::make_unique<FakeKanalView>();
            made = v.get();
            return v;
        });
        if (view) *view = made;
        return k;
    }

    // The text of the console's used rows, joined with "|".
    static std::string ConsoleText(const channels::TConsole& c) {
        int start = c.WriteRow();
        for (int r = 0; r <= c.WriteRow(); ++r) {
            if (c.GetLine(r).serial != 0) {
                start = r > 0 ? r - 1 : 0;
                break;
            }
        }
        std::string out;
        for (int r = start; r <= c.WriteRow(); ++r) {
            const auto l = c.GetLine(r);
            if (r > start) out += '|';
            out.append(l.chars.substr(0, static_cast<std::size_t>(l.length)));
        }
        return out;
    }

    std::filesystem::path dir_;
    platform::FileRegistry registry_;
    std::unique_ptr<core::TConfig> config_;
    platform::FakeClock clock_{0, 1'735'047'907};  // 24.12.2024 13:45:07 UTC
    platform::LoopDispatcher dispatcher_;
    CountingKlaenge klaenge_;
    channels::TKanalContext ctx_;
};

}  // namespace tarvo::test
