// The terminal text module: turns received data into lines, shows them, and
// reacts on its own to station IDs, connect texts, password prompts, onward
// connects, remote commands and transfer headers; forwards typed text and
// starts the send module of each queued send job.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <string_view>

#include "connection/PGPCheckU.h"
#include "connection/VerbindungAbstractU.h"
#include "platform/Pattern.h"

namespace tarvo::connection {

// Longest line kept whole; a longer line is handled in pieces of this size.
inline constexpr std::size_t kMaxLineLength = 8 * 1024;
// Longest candidate that can be a station ID.
inline constexpr std::size_t kMaxStationIdLength = 78;

// The random numbers of the password noise.
class IRandom {
  public:
    virtual ~IRandom() = default;
    // A number in [0, n); n > 0.
    virtual std::uint32_t Below(std::uint32_t n) = 0;
};

class TDefaultRandom final : public IRandom {
  public:
    TDefaultRandom() : engine_(std::random_device{}()) {}
    std::uint32_t Below(std::uint32_t n) override {
        return std::uniform_int_distribution<std::uint32_t>(0, n - 1)(engine_);
    }

  private:
    std::mt19937 engine_;
};

// A search in received text; a search that gives up under its limits counts
// as no match.
std::optional<platform::Match> SearchReceived(const platform::Pattern& pattern,
                                              std::string_view text);

// "Automatisch" .. "Cluster"; "[undef]" outside 0..5.
std::string_view StationTypeLogName(std::int32_t type);

// --- Station ID ---------------------------------------------------------------

// "{a-b-c}": 6 to 78 characters, braces at the ends, exactly two "-", neither
// adjacent nor second nor second-to-last.
bool IsStationId(std::string_view candidate);
// The third field of a station ID holds "D".
bool StationIdAnnouncesDidadit(std::string_view stationId);

// --- Connect text -------------------------------------------------------------

struct TStationKeyword {
    std::string_view keyword;
    std::int32_t type;
};
extern const std::array<TStationKeyword, 38> kStationKeywords;

// The keyword found at the smallest position of the line (trimmed, case
// ignored; equal positions: the earlier row); null when none.
const TStationKeyword* DetectStationKeyword(std::string_view line);
// The identifier a mailbox sends first, "[NAME-VERSION-FEATURES$]" (the line
// trimmed): it marks a mailbox whatever keyword its name holds.
bool IsMailboxIdentifier(std::string_view line);

// --- Password prompts ---------------------------------------------------------

enum class TPromptKind { None, NumberPositions, Challenge };

struct TPasswordPrompt {
    TPromptKind kind = TPromptKind::None;
    std::string text;  // the positions, or the 10-character challenge
};

// A complete line (with or without its final CR) as a password prompt of the
// remote station call.
TPasswordPrompt RecognizePasswordPrompt(std::string_view line, std::string_view remoteCall);

enum class TPasswordError { None, InvalidChars, TooManyPositions, PasswordTooShort, WrongLength };

// The operator's message for an error (empty for None).
std::string_view PasswordErrorText(TPasswordError error);

struct TNumberPositionsAnswer {
    TPasswordError error = TPasswordError::None;
    std::string answer;     // the password characters asked for
    std::string text;       // what is sent: noise with the answer inside
    std::size_t split = 0;  // noise characters before the answer, 1..67
};

inline constexpr std::size_t kNoiseLength = 67;

// The noise alphabet: the distinct password characters in order of first
// appearance, then at most (their count / 3 + 2) of "!".."~" not among them.
std::string NumberNoiseAlphabet(std::string_view password, IRandom& random);
TNumberPositionsAnswer AnswerNumberPositions(std::string_view prompt, std::string_view password,
                                             IRandom& random);

// 32 lower-case hex digits of MD5(challenge + password).
std::string AnswerChallenge(std::string_view challenge, std::string_view password);

struct TLoginTime {
    int day = 0, month = 0, year = 0, hour = 0, minute = 0;
};

inline constexpr std::size_t kDatePasswordLength = 1620;

// "Login: dd.mm.yy hh:mm" anywhere in the line (without its final CR).
std::optional<TLoginTime> ParseLoginLine(std::string_view line);
// The letters and digits of the password.
std::string DatePasswordCharacters(std::string_view password);
// The five answer characters; WrongLength unless the password has exactly 1620
// letters and digits.
struct TDateAnswer {
    TPasswordError error = TPasswordError::None;
    std::string answer;
};
TDateAnswer AnswerDateLogin(const TLoginTime& time, std::string_view password);
// 67 characters from random positions of the (filtered) password.
std::string DateLoginNoise(std::string_view password, IRandom& random);
// "PRIV " + the noise with the answer inserted before insertPosition (1..67).
std::string DateLoginText(std::string_view noise, std::size_t insertPosition,
                          std::string_view answer);

// --- Lines --------------------------------------------------------------------

// "//" followed by a character that is neither "/" nor a blank.
bool IsRemoteCommandLine(std::string_view line);

struct TOnwardConnect {
    std::string call;
    bool reconnect = false;
};
// A "... CONNECTED TO call" or "... RECONNECTED TO call" line of a digipeater.
std::optional<TOnwardConnect> ParseOnwardConnect(std::string_view line);

// The headers that start a receive module, in the order they are compared.
inline constexpr std::array<std::string_view, 5> kTransferHeaders{"#BIN#", "#DIDADIT#", " go_7+. ",
                                                                  " go_text. ", " go_info. "};

// Modules that do not exist yet register here. A header without a module is
// plain text; a send job without one only beeps. False for a prefix that is
// not one of kTransferHeaders. Thread-safe.
bool RegisterReceiveModule(std::string_view prefix, TVerbindungAbstract::TModuleFactory factory);
void RegisterSendModule(std::int32_t protocol, TVerbindungAbstract::TModuleFactory factory);
void ClearModuleRegistry();

// --- The module ---------------------------------------------------------------

class TVerbindungStandard : public TVerbindungAbstract {
  public:
    TVerbindungStandard(TVerbindungAbstract* parent,
                        std::shared_ptr<core::IVerbindungFuerModul> connection);
    ~TVerbindungStandard() override;

    // Worker thread. Public so that tests can drive one step at a time.
    void OnReceive() override;
    void OnUserSend() override;
    void OnSendJob() override;

    // Installs the random source of the password noise.
    void SetRandom(std::shared_ptr<IRandom> random);

    std::size_t LineBufferSize() const { return lineBuffer_.size(); }
    std::size_t StationIdBufferSize() const { return stationIdBuffer_.size(); }
    std::int32_t ConnectTextCountdown() const { return countdown_; }

  protected:
    void Init() override;

  private:
    void HandleItem(std::string item);
    // True when the item was used up as a station ID.
    bool CollectStationId(core::IVerbindungFuerModul& connection, std::string& item);
    void HandleLine(core::IVerbindungFuerModul& connection, bool piece);
    void DateLogin(core::IVerbindungFuerModul& connection, std::string_view line);
    bool PasswordPrompt(core::IVerbindungFuerModul& connection, std::string_view line);
    void ConnectText(core::IVerbindungFuerModul& connection, std::string_view line, bool prompt);
    // True when the line went to a receive module.
    bool StartReceiveModule(core::IVerbindungFuerModul& connection, const std::string& line);
    void OtherLine(core::IVerbindungFuerModul& connection, std::string_view line);
    void StationTypeFromDatabase(core::IVerbindungFuerModul& connection);
    std::shared_ptr<core::IStationenDatenbankEintrag> RemoteEntry(
        core::IVerbindungFuerModul& connection) const;
    void SetType(core::IVerbindungFuerModul& connection, std::int32_t type);
    void CountDown();

    std::string lineBuffer_;
    std::int32_t countdown_ = 3;
    std::int32_t savedStationType_ = 0;
    bool stationIdDone_ = false;
    bool hideStationId_ = false;
    bool collectingStationId_ = false;
    std::string stationIdBuffer_;
    std::int32_t passwordLines_ = 0;
    std::int64_t lineSerial_ = -1;  // console line the current line began in
    std::string unreadHeader_;      // a header a receive module left in the queue
    std::unique_ptr<TPGPCheck> pgpCheck_;

    std::shared_ptr<IRandom> random_;
    // Noise of the last date-based answer, kept while the password stays the same.
    std::string datePassword_;
    std::string dateNoise_;
    std::size_t dateInsert_ = 1;
};

}  // namespace tarvo::connection
