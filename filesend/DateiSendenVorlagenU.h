// Mailbox text templates of the send dialog: one list for the text before a
// file (the mailbox's send command) and one for the text after it (its end
// mark), kept in the settings and merged with the built-in templates.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::platform {
class IRegistry;
}

namespace tarvo::filesend {

inline constexpr std::string_view kVorlagenVorherKey =
    "\\Software\\Morvane\\Tarvo\\Vorlagen\\Senden Text Vorher";
inline constexpr std::string_view kVorlagenNachherKey =
    "\\Software\\Morvane\\Tarvo\\Vorlagen\\Senden Text Nachher";
// Raised whenever the built-in templates change, so that existing lists get
// the new ones once (and keep what the operator deleted).
inline constexpr int kVorlagenVersion = 1;

// The built-in templates (code page 1252, CR LF line ends).
const std::vector<std::string>& BuiltInVorher();
const std::vector<std::string>& BuiltInNachher();

// Width of code page 1252 text in pixels, in the font of the menu that shows it.
using TTextWidth = std::function<int(std::string_view)>;

// A template on one line of at most `width` pixels: letters and digits kept,
// line breaks and runs of blanks as one blank, at most three other characters
// in a row, control characters dropped; too wide, shortened in the middle
// with "...".
std::string TemplateCaption(std::string_view text, int width, const TTextWidth& measure);

class TDateiSendenVorlagen {
  public:
    // Reads the list under keyPath (current user) and, when the built-ins of
    // this version were not merged yet, appends those it lacks and saves.
    TDateiSendenVorlagen(platform::IRegistry& registry, std::string keyPath, int builtInVersion,
                         const std::vector<std::string>& builtIns);
    static TDateiSendenVorlagen Vorher(platform::IRegistry& registry);
    static TDateiSendenVorlagen Nachher(platform::IRegistry& registry);

    int GetCount() const { return static_cast<int>(items_.size()); }
    // New templates are empty; a negative count is 0.
    void SetCount(int count);
    // Out of range: std::out_of_range.
    const std::string& GetItem(int index) const;
    // Line ends from widgets (LF) become CR LF; CR LF and CR stay.
    void SetItem(int index, std::string_view text);
    const std::string& KeyPath() const { return keyPath_; }

    // Copies the key path and the templates.
    void Assign(const TDateiSendenVorlagen& other);
    // Writes the non-empty templates as "00", "01", ... in order; the stored
    // list loses its gaps and the values of deleted templates.
    void Save();
    std::string GetCaption(int index, int width, const TTextWidth& measure) const;

  private:
    platform::IRegistry* registry_;
    std::string keyPath_;
    std::vector<std::string> items_;
};

}  // namespace tarvo::filesend
