// The channel set: channels 0 (the monitor) to N, which one is selected, which
// one is handed to the next connection, and the monitor's line format. Beside
// it the list of all live connections.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "channels/KanalU.h"
#include "core/InterfacesU.h"

namespace tarvo::channels {

// One overheard frame as a device fills it.
struct TMonitorFrame {
    std::int32_t Geraet = 0;
    std::int32_t Port = 0;
    std::string Von;
    std::string An;
    std::string Via;
    std::uint8_t PID = 0;
    std::uint8_t Typ = 0;  // 1 I, 2 RR, 3 RNR, 4 REJ, 5 SABM, 6 DISC, 7 DM, 8 UA, 9 FRMR, 10 UI
    std::uint8_t NR = 0;
    std::uint8_t NS = 0;
    bool Hoch = false;
    bool Vorzeichenform = false;
    bool DAMA = false;
    std::uint8_t Reserve = 0;
    std::uint8_t Darstellung = 0;
    std::string Daten;
};

// Frame types of TMonitorFrame::Typ.
enum TFrameType : std::uint8_t {
    kFrameI = 1,
    kFrameRR = 2,
    kFrameRNR = 3,
    kFrameREJ = 4,
    kFrameSABM = 5,
    kFrameDISC = 6,
    kFrameDM = 7,
    kFrameUA = 8,
    kFrameFRMR = 9,
    kFrameUI = 10,
};

// Character classes used to tell binary information from text.
const std::array<std::uint8_t, 256>& MonitorCharClasses();
// Whether an I frame's information counts as binary.
bool MonitorIsBinary(std::uint8_t pid, std::string_view information);

struct TMonitorLines {
    std::string header;
    std::string information;  // empty when none is shown
};
// The monitor header and the information to show, for the monitor flags given.
TMonitorLines FormatMonitorFrame(const TMonitorFrame& frame, std::int32_t monitorFlags);

// The main window's side of the channel set.
class IKanaeleView {
  public:
    virtual ~IKanaeleView() = default;
    // Makes the view of a new channel (its console widget, input and button).
    virtual std::unique_ptr<IKanalView> CreateKanalView(TKanal& kanal) = 0;
    // One toolbar update around creating several channels.
    virtual void BeginToolbarUpdate() = 0;
    virtual void EndToolbarUpdate() = 0;
    virtual void RefreshToolbar() = 0;
    // "Trennen", "Senden" and "Abbrechen" are usable exactly on channels 1..N.
    virtual void SetConnectionCommandsEnabled(bool enabled) = 0;
};

class TKanaele {
  public:
    // Main thread. Creates the buffer folder and channels 0..Channels; the view
    // may be null (no window). Throws TKanalBufferError like a channel.
    TKanaele(const TKanalContext& ctx, IKanaeleView* view);
    ~TKanaele();
    TKanaele(const TKanaele&) = delete;
    TKanaele& operator=(const TKanaele&) = delete;

    // The one channel set while it exists, else null.
    static TKanaele* Instance();

    int Count() const;  // N: channels 0..N exist
    int AktuellNr() const { return aktuellNr_; }
    void SetAktuellNr(int n);
    std::shared_ptr<TKanal> GetAktuell() const;
    // The channel last activated or right-clicked, else the active one.
    std::shared_ptr<TKanal> GetFokussiert() const;
    void SetFokussiert(const std::shared_ptr<core::IKanal>& kanal);
    // Null outside 0..N.
    std::shared_ptr<TKanal> GetKanal(int n) const;
    // Reserves and returns the lowest free channel, or null when all are busy.
    std::shared_ptr<TKanal> FindFreeChannel();

    // From device threads.
    void MonitorFrame(const TMonitorFrame& frame);
    void MonitorText(std::string_view first, std::string_view second);

    // Main thread.
    void SetCount(int m);
    void SetFont(const core::TFontFace& font);
    const core::TFontFace& Font() const { return font_; }
    void ApplyColours();
    void SetConsoleRows(int rows);

  private:
    std::shared_ptr<TKanal> MakeKanal(int n);
    void ReleaseAll();

    TKanalContext ctx_;
    IKanaeleView* view_;
    core::TFontFace font_;
    int aktuellNr_ = 1;

    // Guards the channel array, N, reservations and the focused channel.
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<TKanal>> kanaele_;
    std::weak_ptr<core::IKanal> fokussiert_;
};

// All live connections, on a channel or not.
class TConnectionsList {
  public:
    TConnectionsList();
    ~TConnectionsList();
    TConnectionsList(const TConnectionsList&) = delete;
    TConnectionsList& operator=(const TConnectionsList&) = delete;

    static TConnectionsList* Instance();

    void Add(const std::shared_ptr<core::IVerbindung>& verbindung);
    void Remove(const core::IVerbindung* verbindung);
    int Count() const;
    // Null outside 0..Count-1.
    std::shared_ptr<core::IVerbindung> Get(int index) const;
    // Held by a caller that takes a connection from a channel and uses it, so
    // that it cannot end in between. May be taken again on the same thread.
    void Lock() { mutex_.lock(); }
    void Unlock() { mutex_.unlock(); }

  private:
    mutable std::recursive_mutex mutex_;
    std::vector<std::shared_ptr<core::IVerbindung>> list_;
};

}  // namespace tarvo::channels
