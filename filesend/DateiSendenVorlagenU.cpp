#include "filesend/DateiSendenVorlagenU.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "core/DebOutU.h"
#include "core/GlobalU.h"
#include "platform/Registry.h"

namespace tarvo::filesend {

namespace {

constexpr const char* kClass = "TDateiSendenVorlagen";
constexpr platform::Hive kHive = platform::Hive::CurrentUser;

// Letters and digits of code page 1252 (the Western European locale).
bool IsLetterOrDigit(char ch) {
    const auto c = static_cast<unsigned char>(ch);
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) return true;
    switch (c) {
        case 0x8A:
        case 0x8C:
        case 0x8E:
        case 0x9A:
        case 0x9C:
        case 0x9E:
        case 0x9F:
        case 0xAA:
        case 0xB5:
        case 0xBA:
            return true;
        default:
            return c >= 0xC0 && c != 0xD7 && c != 0xF7;
    }
}

std::string PositionName(std::size_t position) {
    std::string name = std::to_string(position);
    return name.size() < 2 ? "0" + name : name;
}

}  // namespace

const std::vector<std::string>& BuiltInVorher() {
    static const std::vector<std::string> list = {
        "s rubrik@dl #10 Titel\r\n",
        "s rubrik@dl #10 %n (%p/%q)\r\n",
        "s tarvo@n0call Tarvo\r\nBei mir l\xE4uft Tarvo.\r\n\r\n",
    };
    return list;
}

const std::vector<std::string>& BuiltInNachher() {
    // "^Z" stays two characters; it becomes the control character when sent.
    static const std::vector<std::string> list = {"***end\r\n", "NNNN\r\n", "/EX\r\n", "^Z\r\n"};
    return list;
}

std::string TemplateCaption(std::string_view text, int width, const TTextWidth& measure) {
    std::string caption;
    bool blank = false;  // the last thing copied was a blank
    int others = 0;      // other characters copied since the last letter, digit or CR
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (IsLetterOrDigit(ch)) {
            caption += ch;
            blank = false;
            others = 0;
            continue;
        }
        if (c == '\r') others = 0;
        if (c == '\r' || c == ' ') {
            if (!caption.empty() && !blank) {
                caption += ' ';
                blank = true;
            }
            continue;
        }
        if (c < 33 || others >= 3) continue;
        caption += ch;
        ++others;
        blank = false;
    }

    int available = width;
    bool cut = false;
    // Stops at an empty caption, which may still be "too wide" for a width
    // below that of the dots.
    while (!caption.empty() && measure(caption) > available) {
        if (!cut) available -= measure("...");
        cut = true;
        caption.erase(caption.size() / 2, 1);
    }
    if (cut) caption.insert(caption.size() / 2, "...");
    return caption;
}

// ---- TDateiSendenVorlagen ---------------------------------------------------------

TDateiSendenVorlagen::TDateiSendenVorlagen(platform::IRegistry& registry, std::string keyPath,
                                           int builtInVersion,
                                           const std::vector<std::string>& builtIns)
    : registry_(&registry), keyPath_(std::move(keyPath)) {
    registry_->CreateKey(kHive, keyPath_);
    for (const std::string& name : registry_->ValueNames(kHive, keyPath_)) {
        if (name.empty()) continue;
        auto text = registry_->ReadText(kHive, keyPath_, name);
        if (text && !text->empty()) items_.push_back(std::move(*text));
    }
    const std::string version = std::to_string(builtInVersion);
    if (registry_->ReadText(kHive, keyPath_, "").value_or("") == version) return;
    registry_->WriteText(kHive, keyPath_, "", version);
    for (const std::string& builtIn : builtIns) {
        const std::string lower = core::AsciiLower(builtIn);
        const bool present = std::any_of(items_.begin(), items_.end(), [&](const std::string& t) {
            return core::AsciiLower(t) == lower;
        });
        if (!present) items_.push_back(builtIn);
    }
    Save();
}

TDateiSendenVorlagen TDateiSendenVorlagen::Vorher(platform::IRegistry& registry) {
    return TDateiSendenVorlagen(registry, std::string(kVorlagenVorherKey), kVorlagenVersion,
                                BuiltInVorher());
}

TDateiSendenVorlagen TDateiSendenVorlagen::Nachher(platform::IRegistry& registry) {
    return TDateiSendenVorlagen(registry, std::string(kVorlagenNachherKey), kVorlagenVersion,
                                BuiltInNachher());
}

void TDateiSendenVorlagen::SetCount(int count) {
    items_.resize(static_cast<std::size_t>(std::max(count, 0)));
}

const std::string& TDateiSendenVorlagen::GetItem(int index) const {
    if (index < 0) throw std::out_of_range("template index");
    return items_.at(static_cast<std::size_t>(index));
}

void TDateiSendenVorlagen::SetItem(int index, std::string_view text) {
    if (index < 0) throw std::out_of_range("template index");
    std::string& item = items_.at(static_cast<std::size_t>(index));
    item.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) item += '\r';
        item += text[i];
    }
}

void TDateiSendenVorlagen::Assign(const TDateiSendenVorlagen& other) {
    if (this == &other) return;
    registry_ = other.registry_;
    keyPath_ = other.keyPath_;
    items_ = other.items_;
}

void TDateiSendenVorlagen::Save() {
    for (const std::string& name : registry_->ValueNames(kHive, keyPath_)) {
        if (!name.empty()) registry_->DeleteValue(kHive, keyPath_, name);
    }
    std::size_t position = 0;
    for (const std::string& item : items_) {
        if (item.empty()) continue;
        if (registry_->WriteText(kHive, keyPath_, PositionName(position), item))
            ++position;
        else
            core::DebOutObj(kClass, "Save", "a template could not be written");
    }
}

std::string TDateiSendenVorlagen::GetCaption(int index, int width,
                                             const TTextWidth& measure) const {
    return TemplateCaption(GetItem(index), width, measure);
}

}  // namespace tarvo::filesend
