// The program's own message window: a title, a text and a row of buttons the
// caller picks by a bit set. This is the part of it that needs no widgets: which
// buttons, which one Enter and Esc press, and where they sit.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "core/TrU.h"

namespace tarvo::core {

// Modal results. Callers compare with mrYes for a "yes" answer.
inline constexpr int mrNone = 0;
inline constexpr int mrOk = 1;
inline constexpr int mrCancel = 2;
inline constexpr int mrAbort = 3;
inline constexpr int mrRetry = 4;
inline constexpr int mrIgnore = 5;
inline constexpr int mrYes = 6;
inline constexpr int mrNo = 7;
inline constexpr int mrAll = 8;

struct MessageButton {
    const char* caption;  // German (ASCII), translated where shown; '&' marks the accelerator
    int result;           // mrNone: the button does not end the window
};

// Bit i of a button set asks for entry i.
inline constexpr std::array<MessageButton, 9> kMessageButtons{{
    {TARVO_TR_NOOP("TDlgMessage", "&Ja"), mrYes},
    {TARVO_TR_NOOP("TDlgMessage", "&Nein"), mrNo},
    {TARVO_TR_NOOP("TDlgMessage", "&Ok"), mrOk},
    {TARVO_TR_NOOP("TDlgMessage", "Abbrechen"), mrCancel},
    {TARVO_TR_NOOP("TDlgMessage", "Abbruch"), mrAbort},
    {TARVO_TR_NOOP("TDlgMessage", "&Wiederholen"), mrRetry},
    {TARVO_TR_NOOP("TDlgMessage", "&Ignorieren"), mrIgnore},
    {TARVO_TR_NOOP("TDlgMessage", "&Alle"), mrAll},
    {TARVO_TR_NOOP("TDlgMessage", "&Hilfe"), mrNone},
}};

inline constexpr int kBitJa = 0;
inline constexpr int kBitNein = 1;
inline constexpr int kBitOk = 2;
inline constexpr int kBitAbbrechen = 3;
inline constexpr int kBitWiederholen = 5;

// Bits above the table mean nothing and are dropped.
inline constexpr unsigned kMessageButtonMask = (1u << kMessageButtons.size()) - 1;

inline constexpr int kMessageButtonWidth = 79;
inline constexpr int kMessageButtonHeight = 23;
inline constexpr int kMessageButtonPitch = 85;  // 6 pixels between two buttons

constexpr bool HasMessageButton(unsigned buttons, int bit) {
    return bit >= 0 && bit < static_cast<int>(kMessageButtons.size()) && (buttons >> bit) & 1u;
}

// The button Enter presses, as a bit number, or -1 when the set has none of them.
constexpr int DefaultMessageButton(unsigned buttons) {
    if (HasMessageButton(buttons, kBitOk)) return kBitOk;
    if (HasMessageButton(buttons, kBitJa)) return kBitJa;
    if (HasMessageButton(buttons, kBitWiederholen)) return kBitWiederholen;
    return -1;
}

// The button Esc presses: "Abbrechen", else "&Nein", else "&Ok". When the pick is
// not in the set there is no cancel button (-1) and Esc does nothing.
constexpr int CancelMessageButton(unsigned buttons) {
    const int pick = HasMessageButton(buttons, kBitAbbrechen) ? kBitAbbrechen
                     : HasMessageButton(buttons, kBitNein)    ? kBitNein
                                                              : kBitOk;
    return HasMessageButton(buttons, pick) ? pick : -1;
}

// What the window answers when it is closed without a button: the cancel
// button's result, or mrCancel for a set without one.
constexpr int MessageCancelResult(unsigned buttons) {
    const int bit = CancelMessageButton(buttons);
    return bit < 0 ? mrCancel : kMessageButtons[static_cast<std::size_t>(bit)].result;
}

struct MessageButtonRow {
    std::vector<int> bits;  // the buttons to create, in bit order
    int defaultBit = -1;    // DefaultMessageButton
    int cancelBit = -1;     // CancelMessageButton
    int closeResult = mrCancel;
};

MessageButtonRow MessageButtonsFor(unsigned buttons);

// Left edges of a centred row of count buttons in a panel of the given width.
// A panel too narrow for the row keeps the first button whole.
std::vector<int> MessageButtonLefts(std::size_t count, int panelWidth);

// Asks the operator; title and text are code page 1252. Returns the modal result.
class IMessageWindow {
  public:
    virtual ~IMessageWindow() = default;
    virtual int Run(const std::string& title, const std::string& text, unsigned buttons) = 0;
};

}  // namespace tarvo::core
