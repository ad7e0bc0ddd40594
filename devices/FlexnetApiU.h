// The FlexNet packet driver's library, loaded at run time and bound by name.
// The driver hands out records in its own memory; this layer copies what the
// device needs into values, bounding every count and length the driver gives.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "channels/KanaeleU.h"

namespace tarvo::platform {
class SharedLibrary;
}

namespace tarvo::devices::flexnet {

inline constexpr const char* kLibraryFile = "libflxapi.so";
inline constexpr const char* kDllFile = "flxapi32.dll";
inline constexpr const char* kHomeKey = "Software\\FlexNet";
inline constexpr const char* kEnvironment = "flexnet";
inline constexpr const char* kDllNichtGefunden = "DLL nicht gefunden";
inline constexpr const char* kNichtInDll = "Nicht in DLL: ";

// The names the library must export.
inline constexpr std::array<const char*, 44> kNames = {
    "ax_init",        "ax_exit",        "l2_version",     "l2_connect",     "l2_check_path",
    "l2_get_sabm",    "l2_send_ui",     "l2_get_ui",      "l2_ialloc",      "l2_printf",
    "l2_puts",        "l2_send_char",   "l2_get_i",       "l2_get_f",       "get_tic",
    "appl_watchdog",  "l2_set_monitor", "l2_clr_monitor", "l2_chk_monitor", "l2_get_monitor",
    "l2_ack_monitor", "strcall",        "strpath",        "build_call",     "build_frame",
    "l2_send_f",      "l2_fconnect",    "l2_send_frame",  "l2_get_qnum",    "l2_bef",
    "l2_stat",        "l2_set_pid",     "ch_state",       "ch_active",      "set_chmode",
    "set_txdelay",    "calibrate",      "get_chbaud",     "get_chmode",     "get_txdelay",
    "get_ident",      "get_stat",       "set_debug_mode", "flxdbg"};

// Optional extras for waiting on the driver's named events.
inline constexpr const char* kOpenEvent = "flx_open_event";
inline constexpr const char* kWaitEvents = "flx_wait_events";
inline constexpr const char* kCloseEvent = "flx_close_event";
inline constexpr const char* kEventQsoData = "FlexNet QSO Data";
inline constexpr const char* kEventQsoState = "FlexNet QSO State Change";
inline constexpr const char* kEventNodeFrame = "FlexNet Node Frame";
inline constexpr const char* kEventConnectRequest = "FlexNet Connect Request";
inline constexpr const char* kEventUnproto = "FlexNet Unproto Received";
inline constexpr const char* kEventChannelState = "FlexNet Channel State";
inline constexpr const char* kEventTrace = "FlexNet Trace Data";

// Records: 7-byte AX.25 addresses.
inline constexpr std::size_t kAddressSize = 7;
inline constexpr std::size_t kMaxDigis = 8;
inline constexpr std::size_t kMaxInfo = 256;
// Path record: remote station, own station, port byte; the rest is the driver's.
inline constexpr std::size_t kPathRemote = 0;
inline constexpr std::size_t kPathOwn = 7;
inline constexpr std::size_t kPathDigiCount = 14;
inline constexpr std::size_t kPathPort = 16;
inline constexpr std::size_t kPathDigis = 17;
inline constexpr std::size_t kPathRecordSize = 128;
inline constexpr std::size_t kCallBuffer = 16;
inline constexpr std::size_t kPathBuffer = 131;
// Frame record: 16-bit length, PID, data.
inline constexpr std::size_t kFramePid = 2;
inline constexpr std::size_t kFrameData = 3;
inline constexpr std::size_t kFrameRecordSize = kFrameData + kMaxInfo;
// Monitored frame record.
inline constexpr std::size_t kMonDest = 0;
inline constexpr std::size_t kMonSource = 7;
inline constexpr std::size_t kMonDigiCount = 14;
inline constexpr std::size_t kMonDigiPassed = 15;
inline constexpr std::size_t kMonPort = 16;
inline constexpr std::size_t kMonPid = 18;
inline constexpr std::size_t kMonType = 19;
inline constexpr std::size_t kMonHoch = 20;
inline constexpr std::size_t kMonVorzeichen = 21;
inline constexpr std::size_t kMonNR = 22;
inline constexpr std::size_t kMonNS = 23;
inline constexpr std::size_t kMonDama = 24;
inline constexpr std::size_t kMonReserve = 25;
inline constexpr std::size_t kMonLength = 30;
inline constexpr std::size_t kMonData = 32;
inline constexpr std::size_t kMonDigis = 40;
inline constexpr std::size_t kMonRecordSize = kMonDigis + kMaxDigis * kAddressSize;

// Little-endian 16-bit value at `at`.
inline std::uint16_t ReadU16(const std::uint8_t* record, std::size_t at) {
    return static_cast<std::uint16_t>(record[at] | (record[at + 1] << 8));
}

// A monitored frame record, read with its data (through the record's
// pointer): counts clamped to the digipeater room, the length to kMaxInfo.
// Geraet and Daten are the caller's to settle.
struct TMonitorRecord {
    channels::TMonitorFrame frame;
    std::string data;
};
TMonitorRecord DecodeMonitorRecord(const std::uint8_t* record);
// The data of a frame record, its length clamped to kMaxInfo.
std::string DecodeFrameRecord(const std::uint8_t* record);

// Which monitored frames are shown, and with their data, for the monitor
// options (bits 2 supervisory, 4 I frames, 8 their data, 16 UI frames).
struct TMonitorShow {
    bool show = false;
    bool data = false;
};
TMonitorShow MonitorFilter(std::uint8_t type, std::int32_t options);
// Whether the driver's monitor is needed at all for these options.
bool MonitorWanted(std::int32_t options);

// A path record as the driver built or reported it.
struct TPath {
    std::array<std::uint8_t, kPathRecordSize> bytes{};
    std::string remote;  // callsign texts as the driver writes them
    std::string own;
    std::string digis;
};

// The files to try, in order: the folder (registry or environment) first,
// then the library search path.
std::vector<std::string> Candidates(const std::string& folder);

class TFlexnetApi {
  public:
    // Tries the files in order; null with `error` set to the message the device
    // shows when none loads or one lacks names.
    static std::unique_ptr<TFlexnetApi> Load(const std::vector<std::string>& files,
                                             std::string& error);
    ~TFlexnetApi();
    TFlexnetApi(const TFlexnetApi&) = delete;
    TFlexnetApi& operator=(const TFlexnetApi&) = delete;

    int AxInit();
    void AxExit();
    std::optional<std::string> Version();
    bool ChActive(int port);
    std::optional<std::string> Ident(int port);
    int Stat(int selector, int channel);
    int Bef(int command, int channel);
    std::optional<TPath> GetF(int channel);
    // The next received frame's data, left in the driver until Bef(15).
    std::optional<std::string> GetI(int channel);
    bool IAlloc(int channel, std::size_t length);
    bool SendFrame(int channel, std::uint8_t pid, std::string_view data);
    int GetSabm(const std::string& call);
    std::optional<TPath> BuildFrame(const std::string& myCall, const std::string& path, int port);
    int GetQnum(const TPath& path);
    int FConnect(const TPath& path);
    bool SendUI(const std::string& myCall, const std::string& destination, std::uint8_t pid,
                std::string_view data);
    void SetMonitor();
    bool ChkMonitor();
    void ClrMonitor();
    // The next monitored frame, copied; Ack releases it in the driver.
    std::optional<TMonitorRecord> GetMonitor();
    void AckMonitor();

    // The named events, when the library offers them; a set of them to wait on.
    class Events {
      public:
        ~Events();
        Events(const Events&) = delete;
        Events& operator=(const Events&) = delete;
        // False on time-out.
        bool Wait(int milliseconds);

      private:
        friend class TFlexnetApi;
        Events() = default;
        const TFlexnetApi* api_ = nullptr;
        std::vector<void*> handles_;
    };
    // Null when the library has no events or one of them cannot be opened.
    std::unique_ptr<Events> OpenEvents(const std::vector<const char*>& names) const;

  private:
    struct Table;
    TFlexnetApi() = default;
    std::string CallText(const std::uint8_t* address);
    std::string PathText(const std::uint8_t* path);
    TPath FillPath(const std::uint8_t* record);

    std::unique_ptr<platform::SharedLibrary> library_;
    std::unique_ptr<Table> t_;
    // The driver hands out pointers into its memory: a call and the copy of
    // what it returned go together.
    std::mutex mutex_;
};

}  // namespace tarvo::devices::flexnet
