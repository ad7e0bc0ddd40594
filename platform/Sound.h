// Sound output: 16-bit PCM to the sound device, wave files decoded to PCM and
// tone sequences synthesised as square waves.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tarvo::platform {

// Interleaved signed 16-bit samples.
struct Pcm {
    int rate = 0;
    int channels = 0;
    std::vector<std::int16_t> samples;
    bool operator==(const Pcm&) const = default;
};

// Where PCM goes. One thread plays through it; Abort may come from any other.
class ISoundOutput {
  public:
    virtual ~ISoundOutput() = default;
    // Starts a stream of that format; false when there is no device.
    virtual bool Begin(int rate, int channels) = 0;
    // Blocks until the samples are taken; false on a device failure.
    virtual bool Write(std::span<const std::int16_t> interleaved) = 0;
    // Ends the stream: plays what is left when drain, else drops it.
    virtual void End(bool drain) = 0;
    // Any thread: a blocked Write returns soon and the next ones do nothing.
    virtual void Abort() = 0;
};

// The system's sound device (ALSA "default"), opened at each Begin. Its
// errors are never printed to the terminal.
std::unique_ptr<ISoundOutput> MakeSystemSoundOutput();

// Wave files longer than this are cut; larger files are not read.
inline constexpr int kMaxWaveSeconds = 30;
inline constexpr std::uintmax_t kMaxWaveFileBytes = 64u << 20;

// The file decoded to 16-bit PCM (at most kMaxWaveSeconds). nullopt, with the
// reason in error, for anything but a regular file of a readable sound format.
std::optional<Pcm> DecodeWaveFile(const std::filesystem::path& file, std::string& error);

// One tone of a sequence; a frequency of 0 is a pause.
struct Tone {
    int frequency = 0;
    int milliseconds = 0;
};
inline constexpr int kToneRate = 22050;
// Square waves at a modest level, mono at kToneRate; frequencies of 18 Hz or
// less are silence.
Pcm SynthesiseTones(std::span<const Tone> tones);

// Writes the PCM in short pieces so that stop is seen within a piece; false
// when the device failed or there is none.
bool PlayPcm(ISoundOutput& out, const Pcm& pcm, const std::atomic<bool>& stop);

}  // namespace tarvo::platform
