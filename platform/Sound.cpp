#include "platform/Sound.h"

#include <alsa/asoundlib.h>
#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>

namespace tarvo::platform {

namespace {

// ALSA reports its errors on standard error unless told otherwise.
void SilentAlsaErrors(const char*, int, const char*, int, const char*, ...) {}

class AlsaSoundOutput final : public ISoundOutput {
  public:
    AlsaSoundOutput() {
        static std::once_flag once;
        std::call_once(once, [] { snd_lib_error_set_handler(SilentAlsaErrors); });
    }
    ~AlsaSoundOutput() override { Close(); }

    bool Begin(int rate, int channels) override {
        Close();
        if (aborted_.load() || rate <= 0 || channels <= 0) return false;
        // Opened without blocking: a busy or missing device must not hang the player.
        if (snd_pcm_open(&pcm_, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) {
            pcm_ = nullptr;
            return false;
        }
        if (snd_pcm_nonblock(pcm_, 0) < 0 ||
            snd_pcm_set_params(pcm_, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED,
                               static_cast<unsigned>(channels), static_cast<unsigned>(rate), 1,
                               100000) < 0) {
            Close();
            return false;
        }
        channels_ = channels;
        return true;
    }

    bool Write(std::span<const std::int16_t> data) override {
        if (!pcm_ || aborted_.load()) return false;
        auto frames =
            static_cast<snd_pcm_uframes_t>(data.size() / static_cast<std::size_t>(channels_));
        const std::int16_t* p = data.data();
        while (frames > 0 && !aborted_.load()) {
            snd_pcm_sframes_t n = snd_pcm_writei(pcm_, p, frames);
            if (n < 0) n = snd_pcm_recover(pcm_, static_cast<int>(n), 1);
            if (n < 0) return false;
            frames -= static_cast<snd_pcm_uframes_t>(n);
            p += n * channels_;
        }
        return !aborted_.load();
    }

    void End(bool drain) override {
        if (!pcm_) return;
        if (drain && !aborted_.load()) {
            snd_pcm_drain(pcm_);
        } else {
            snd_pcm_drop(pcm_);
        }
        Close();
    }

    void Abort() override { aborted_.store(true); }

  private:
    void Close() {
        if (pcm_) snd_pcm_close(pcm_);
        pcm_ = nullptr;
    }

    snd_pcm_t* pcm_ = nullptr;
    int channels_ = 1;
    std::atomic<bool> aborted_{false};
};

struct SndFileCloser {
    void operator()(SNDFILE* f) const { sf_close(f); }
};

}  // namespace

std::unique_ptr<ISoundOutput> MakeSystemSoundOutput() {
    return std::make_unique<AlsaSoundOutput>();
}

std::optional<Pcm> DecodeWaveFile(const std::filesystem::path& file, std::string& error) {
    // Devices, pipes and folders could block the player or never end; the
    // descriptor is checked, so nothing can be swapped in after the check.
    struct Fd {
        int fd;
        ~Fd() {
            if (fd >= 0) ::close(fd);
        }
    } fd{::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY)};
    if (fd.fd < 0) {
        error = "cannot be opened";
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd.fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = "not a regular file";
        return std::nullopt;
    }
    if (static_cast<std::uintmax_t>(st.st_size) > kMaxWaveFileBytes) {
        error = "file too large";
        return std::nullopt;
    }
    SF_INFO info{};
    // The descriptor stays ours: it outlives the decoder.
    std::unique_ptr<SNDFILE, SndFileCloser> f(sf_open_fd(fd.fd, SFM_READ, &info, SF_FALSE));
    if (!f) {
        error = sf_strerror(nullptr);
        return std::nullopt;
    }
    if (info.channels <= 0 || info.channels > 8 || info.samplerate < 1000 ||
        info.samplerate > 384000) {
        error = "unsupported format";
        return std::nullopt;
    }
    const sf_count_t maxFrames = static_cast<sf_count_t>(info.samplerate) * kMaxWaveSeconds;
    const sf_count_t frames = std::clamp<sf_count_t>(info.frames, 0, maxFrames);
    Pcm pcm;
    pcm.rate = info.samplerate;
    pcm.channels = info.channels;
    pcm.samples.resize(static_cast<std::size_t>(frames) * static_cast<std::size_t>(info.channels));
    const sf_count_t got = sf_readf_short(f.get(), pcm.samples.data(), frames);
    pcm.samples.resize(static_cast<std::size_t>(std::max<sf_count_t>(got, 0)) *
                       static_cast<std::size_t>(info.channels));
    return pcm;
}

Pcm SynthesiseTones(std::span<const Tone> tones) {
    constexpr std::int16_t kLevel = 6000;
    Pcm pcm;
    pcm.rate = kToneRate;
    pcm.channels = 1;
    for (const Tone& t : tones) {
        const long count =
            static_cast<long>(std::clamp(t.milliseconds, 0, 10000)) * kToneRate / 1000;
        if (t.frequency <= 18) {
            pcm.samples.insert(pcm.samples.end(), static_cast<std::size_t>(count), 0);
            continue;
        }
        // Half a period in samples, kept as a fraction so the pitch stays exact.
        const long twice = 2L * t.frequency;
        for (long i = 0; i < count; ++i) {
            const bool high = ((i * twice) / kToneRate) % 2 == 0;
            pcm.samples.push_back(high ? kLevel : static_cast<std::int16_t>(-kLevel));
        }
    }
    return pcm;
}

bool PlayPcm(ISoundOutput& out, const Pcm& pcm, const std::atomic<bool>& stop) {
    if (pcm.samples.empty() || pcm.channels <= 0) return true;
    if (!out.Begin(pcm.rate, pcm.channels)) return false;
    // About 20 ms a piece.
    const std::size_t piece = std::max<std::size_t>(1, static_cast<std::size_t>(pcm.rate / 50)) *
                              static_cast<std::size_t>(pcm.channels);
    std::span<const std::int16_t> rest(pcm.samples);
    bool ok = true;
    while (!rest.empty() && !stop.load()) {
        const std::size_t n = std::min(piece, rest.size());
        if (!out.Write(rest.first(n))) {
            ok = false;
            break;
        }
        rest = rest.subspan(n);
    }
    out.End(ok && !stop.load());
    return ok;
}

}  // namespace tarvo::platform
