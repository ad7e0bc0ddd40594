#include "platform/Sound.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "tests/support/FakeSoundOutput.h"

namespace fs = std::filesystem;
using namespace tarvo::platform;

namespace {

void PutLe(std::string& out, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A plain 16-bit PCM RIFF file, written by hand.
std::string WaveBytes(int rate, int channels, const std::vector<std::int16_t>& samples) {
    const auto dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
    std::string w = "RIFF";
    PutLe(w, 36 + dataBytes, 4);
    w += "WAVEfmt ";
    PutLe(w, 16, 4);
    PutLe(w, 1, 2);
    PutLe(w, static_cast<std::uint32_t>(channels), 2);
    PutLe(w, static_cast<std::uint32_t>(rate), 4);
    PutLe(w, static_cast<std::uint32_t>(rate * channels * 2), 4);
    PutLe(w, static_cast<std::uint32_t>(channels * 2), 2);
    PutLe(w, 16, 2);
    w += "data";
    PutLe(w, dataBytes, 4);
    for (std::int16_t s : samples) PutLe(w, static_cast<std::uint16_t>(s), 2);
    return w;
}

class SoundTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("tarvo-sound-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path Write(const std::string& name, const std::string& bytes) {
        const fs::path p = dir_ / name;
        std::ofstream(p, std::ios::binary) << bytes;
        return p;
    }
    fs::path dir_;
};

TEST_F(SoundTest, WaveFilePlaysItsDecodedSamples) {
    std::vector<std::int16_t> samples;
    for (int i = 0; i < 3000; ++i) samples.push_back(static_cast<std::int16_t>(i * 7 - 10000));
    const fs::path file = Write("stereo.wav", WaveBytes(8000, 2, samples));
    std::string error;
    const auto pcm = DecodeWaveFile(file, error);
    ASSERT_TRUE(pcm) << error;
    auto shared = std::make_shared<tarvo::test::FakeSoundOutput::Shared>();
    tarvo::test::FakeSoundOutput out(shared);
    const std::atomic<bool> stop{false};
    EXPECT_TRUE(PlayPcm(out, *pcm, stop));
    EXPECT_EQ(shared->rate, 8000);
    EXPECT_EQ(shared->channels, 2);
    EXPECT_EQ(shared->samples, samples);
    EXPECT_EQ(shared->ends, 1);
}

TEST_F(SoundTest, LongWaveIsCut) {
    const int rate = 1000;
    const std::vector<std::int16_t> samples(static_cast<std::size_t>(rate * (kMaxWaveSeconds + 5)),
                                            100);
    std::string error;
    const auto pcm = DecodeWaveFile(Write("long.wav", WaveBytes(rate, 1, samples)), error);
    ASSERT_TRUE(pcm) << error;
    EXPECT_EQ(pcm->samples.size(), static_cast<std::size_t>(rate * kMaxWaveSeconds));
}

TEST_F(SoundTest, OnlyRegularSoundFilesDecode) {
    const fs::path fifo = dir_ / "fifo.wav";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const fs::path& p : {fifo, dir_, dir_ / "missing.wav", Write("text.wav", "not a sound")}) {
        SCOPED_TRACE(p.string());
        std::string error;
        EXPECT_FALSE(DecodeWaveFile(p, error));
        EXPECT_FALSE(error.empty());
    }
}

TEST(SynthesiseTones, SquareWaveAtTheFrequency) {
    struct Case {
        Tone tone;
        int signChanges;  // in the samples
    };
    const Case cases[] = {{{1000, 1000}, 1999}, {{441, 1000}, 881}, {{18, 1000}, 0}, {{0, 500}, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tone.frequency);
        const Pcm pcm = SynthesiseTones(std::span(&c.tone, 1));
        EXPECT_EQ(pcm.samples.size(),
                  static_cast<std::size_t>(kToneRate * c.tone.milliseconds / 1000));
        int changes = 0;
        for (std::size_t i = 1; i < pcm.samples.size(); ++i)
            changes += (pcm.samples[i] > 0) != (pcm.samples[i - 1] > 0);
        EXPECT_EQ(changes, c.signChanges);
    }
}

}  // namespace
