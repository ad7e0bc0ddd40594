#include "platform/RegistryFormat.h"

#include <algorithm>
#include <cstdio>

#include "platform/CodePage.h"

namespace tarvo::platform::regfile {

namespace {

constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr std::size_t kMaxNameLength = 16383;
constexpr std::size_t kMaxKeyDepth = 512;
constexpr std::size_t kMaxJoinedLines = 10000;

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Decodes one UTF-8 sequence at i; false (and i past one byte) when invalid.
bool NextUtf8(std::string_view s, std::size_t& i, char32_t& c) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        c = b0;
        ++i;
        return true;
    }
    std::size_t len = b0 >= 0xF0 && b0 <= 0xF4  ? 4
                      : b0 >= 0xE0              ? 3
                      : b0 >= 0xC2 && b0 < 0xE0 ? 2
                                                : 0;
    if (len == 0 || i + len > s.size()) {
        ++i;
        return false;
    }
    char32_t v = b0 & (0x7F >> len);
    for (std::size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return false;
        }
        v = (v << 6) | (b & 0x3F);
    }
    const char32_t minimum = len == 2 ? 0x80 : len == 3 ? 0x800 : 0x10000;
    if (v < minimum || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) {
        ++i;
        return false;
    }
    c = v;
    i += len;
    return true;
}

bool ValidUtf8(std::string_view s) {
    char32_t c;
    for (std::size_t i = 0; i < s.size();)
        if (!NextUtf8(s, i, c)) return false;
    return true;
}

// UTF-16 to UTF-8. Unpaired surrogates become U+FFFD; ok is false for an odd
// byte count or unpaired surrogates.
std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian, bool& ok) {
    ok = bytes.size() % 2 == 0;
    std::string out;
    out.reserve(bytes.size());
    auto unit = [&](std::size_t i) -> char32_t {
        const auto a = static_cast<unsigned char>(bytes[i]);
        const auto b = static_cast<unsigned char>(bytes[i + 1]);
        return bigEndian ? (a << 8 | b) : (b << 8 | a);
    };
    const std::size_t n = bytes.size() / 2 * 2;
    for (std::size_t i = 0; i < n; i += 2) {
        char32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 2 < n) {
            const char32_t lo = unit(i + 2);
            if (lo >= 0xDC00 && lo <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
                i += 2;
                continue;
            }
        }
        if (u >= 0xD800 && u <= 0xDFFF) {
            ok = false;
            u = 0xFFFD;
        }
        AppendUtf8(out, u);
    }
    return out;
}

void AppendUtf16Le(std::vector<std::uint8_t>& out, std::string_view utf8) {
    auto put = [&](char32_t u) {
        out.push_back(static_cast<std::uint8_t>(u & 0xFF));
        out.push_back(static_cast<std::uint8_t>(u >> 8));
    };
    char32_t c;
    for (std::size_t i = 0; i < utf8.size();) {
        if (!NextUtf8(utf8, i, c)) c = 0xFFFD;
        if (c >= 0x10000) {
            c -= 0x10000;
            put(0xD800 + (c >> 10));
            put(0xDC00 + (c & 0x3FF));
        } else {
            put(c);
        }
    }
}

bool HasControl(std::string_view s) {
    return std::any_of(s.begin(), s.end(), [](char ch) {
        const auto c = static_cast<unsigned char>(ch);
        return c < 0x20 || c == 0x7F;
    });
}

bool IsDigits(std::string_view s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char ch) {
                   return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch + 32) : ch;
               };
               return lower(x) == lower(y);
           });
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

std::string_view TrimRight(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

std::string_view TrimLeft(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    return s;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Parses 1 to `maxDigits` hex digits filling all of s.
bool ParseHex(std::string_view s, std::size_t maxDigits, std::uint32_t& value) {
    if (s.empty() || s.size() > maxDigits) return false;
    value = 0;
    for (char c : s) {
        const int d = HexDigit(c);
        if (d < 0) return false;
        value = value << 4 | static_cast<std::uint32_t>(d);
    }
    return true;
}

// A quoted string starting at s[0] == '"', with \\ and \" escaped. On success
// `end` is the index after the closing quote.
bool ParseQuoted(std::string_view s, std::string& out, std::size_t& end) {
    out.clear();
    for (std::size_t i = 1; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '"') {
            end = i + 1;
            return true;
        }
        if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) {
            out += s[++i];
            continue;
        }
        out += c;
    }
    return false;
}

std::string Quote(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

// A registry string ends at its first NUL, as Windows reads it.
std::string CutAtNul(std::string s) {
    const std::size_t nul = s.find('\0');
    if (nul != std::string::npos) s.resize(nul);
    return s;
}

class Parser {
  public:
    explicit Parser(std::string_view bytes) : raw_(bytes) {}

    ParseResult Run() {
        if (raw_.size() > kMaxFileSize) {
            Problem("the file is larger than " + std::to_string(kMaxFileSize) + " bytes");
            return std::move(result_);
        }
        Decode();
        SplitLines();
        CheckHeader();
        for (line_ = first_; line_ < lines_.size(); ++line_) ParseLine();
        return std::move(result_);
    }

  private:
    void Problem(const std::string& what) { result_.problems.push_back(what); }
    void LineProblem(const std::string& what) {
        Problem("line " + std::to_string(line_ + 1) + ": " + what);
    }

    void Decode() {
        auto starts = [&](std::string_view p) { return raw_.substr(0, p.size()) == p; };
        bool ok = true;
        if (starts("\xFF\xFE")) {
            text_ = Utf16ToUtf8(raw_.substr(2), false, ok);
        } else if (starts("\xFE\xFF")) {
            text_ = Utf16ToUtf8(raw_.substr(2), true, ok);
        } else {
            std::string_view body = starts("\xEF\xBB\xBF") ? raw_.substr(3) : raw_;
            if (StartsWithNoCase(TrimLeft(body), kHeader4)) {
                version4_ = true;
                text_ = Cp1252ToUtf8(std::string(body));
            } else if (ValidUtf8(body)) {
                text_.assign(body);
            } else {
                // Damage, or a file saved in the wrong code page: keep every byte.
                ok = false;
                text_ = Cp1252ToUtf8(std::string(body));
            }
        }
        if (!ok) Problem("the file is not correctly encoded (damaged or cut short)");
    }

    void SplitLines() {
        std::string_view t = text_;
        while (!t.empty()) {
            const std::size_t nl = t.find('\n');
            std::string_view l = t.substr(0, nl);
            if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
            lines_.push_back(l);
            if (nl == std::string_view::npos) break;
            t.remove_prefix(nl + 1);
        }
    }

    void CheckHeader() {
        std::size_t i = 0;
        while (i < lines_.size() && TrimRight(TrimLeft(lines_[i])).empty()) ++i;
        if (i == lines_.size()) return;  // an empty file is a sound empty store
        const std::string_view h = TrimRight(TrimLeft(lines_[i]));
        if (h == kHeader5) {
            version4_ = false;
            first_ = i + 1;
        } else if (EqualsNoCase(h, kHeader4)) {
            version4_ = true;
            first_ = i + 1;
        } else {
            Problem("the file does not start with a registry header");
            first_ = i;
        }
    }

    void ParseLine() {
        const std::string_view l = TrimLeft(lines_[line_]);
        if (TrimRight(l).empty() || l.front() == ';') return;
        if (l.front() == '[') return ParseSection(TrimRight(l));
        if (l.front() == '"' || l.front() == '@') return ParseValue(l);
        LineProblem("unreadable text");
    }

    void ParseSection(std::string_view l) {
        current_ = nullptr;
        ignoring_ = true;
        if (l.back() != ']') return LineProblem("key without closing bracket");
        std::string_view inner = l.substr(1, l.size() - 2);
        const bool remove = !inner.empty() && inner.front() == '-';
        if (remove) inner.remove_prefix(1);
        const std::string_view hiveName = inner.substr(0, inner.find('\\'));
        const std::string_view rest =
            hiveName.size() < inner.size() ? inner.substr(hiveName.size()) : "";
        Key* root = nullptr;
        if (EqualsNoCase(hiveName, "HKEY_CURRENT_USER") || EqualsNoCase(hiveName, "HKCU"))
            root = &result_.tree.currentUser;
        else if (EqualsNoCase(hiveName, "HKEY_LOCAL_MACHINE") || EqualsNoCase(hiveName, "HKLM"))
            root = &result_.tree.localMachine;
        if (!root) {
            result_.otherHives.emplace_back(inner);
            return;
        }
        std::vector<std::string> parts;
        if (!SplitKeyPath(rest, parts)) return LineProblem("invalid key name");
        if (remove) {
            if (parts.empty()) return LineProblem("a whole hive cannot be deleted");
            Key* parent = root;
            for (std::size_t k = 0; parent && k + 1 < parts.size(); ++k)
                parent = parent->Child(parts[k]);
            if (parent) parent->RemoveChild(parts.back());
            return;
        }
        Key* key = root;
        for (const std::string& p : parts) key = key->ChildOrCreate(p);
        current_ = key;
        ignoring_ = false;
    }

    void ParseValue(std::string_view l) {
        if (!current_) {
            if (!ignoring_) LineProblem("value outside of a key");
            return;
        }
        std::string name;
        std::size_t pos = 1;
        if (l.front() == '"' && !ParseQuoted(l, name, pos))
            return LineProblem("value name without closing quote");
        std::string_view rest = TrimLeft(l.substr(pos));
        if (rest.empty() || rest.front() != '=') return LineProblem("value without '='");
        rest = TrimLeft(rest.substr(1));
        if (!ValidValueName(name)) return LineProblem("invalid value name");

        if (TrimRight(rest) == "-") {
            current_->RemoveValue(name);
        } else if (!rest.empty() && rest.front() == '"') {
            ParseStringValue(name, rest);
        } else if (StartsWithNoCase(rest, "dword:")) {
            std::uint32_t n;
            if (!ParseHex(TrimRight(rest.substr(6)), 8, n))
                return LineProblem("invalid dword value");
            current_->SetValue(name, RegValue::DWord(n));
        } else if (StartsWithNoCase(rest, "hex")) {
            ParseHexValue(name, rest);
        } else {
            LineProblem("unknown value type");
        }
    }

    void ParseStringValue(const std::string& name, std::string_view rest) {
        std::string text;
        std::size_t end = 0;
        if (ParseQuoted(rest, text, end)) {
            if (!TrimRight(rest.substr(end)).empty())
                return LineProblem("text after the closing quote");
            current_->SetValue(name, RegValue::String(CutAtNul(std::move(text))));
            return;
        }
        // Windows exports a string with line breaks as it is, over several lines.
        std::string joined(rest);
        for (std::size_t next = line_ + 1; next < lines_.size() && next - line_ <= kMaxJoinedLines;
             ++next) {
            joined += "\r\n";
            joined += lines_[next];
            if (!ParseQuoted(joined, text, end)) continue;
            if (!TrimRight(std::string_view(joined).substr(end)).empty()) break;
            current_->SetValue(name, RegValue::String(CutAtNul(std::move(text))));
            line_ = next;
            return;
        }
        LineProblem("text value without closing quote");
    }

    void ParseHexValue(const std::string& name, std::string_view rest) {
        std::uint32_t type = kRegBinary;
        std::string_view form = rest.substr(3);
        if (!form.empty() && form.front() == '(') {
            const std::size_t close = form.find(')');
            if (close == std::string_view::npos || !ParseHex(form.substr(1, close - 1), 8, type))
                return LineProblem("invalid hex value type");
            form.remove_prefix(close + 1);
        }
        if (form.empty() || form.front() != ':') return LineProblem("invalid hex value");
        form.remove_prefix(1);

        // The byte list goes on while a line ends with a backslash.
        std::string list;
        const std::size_t startLine = line_;
        for (std::string_view part = TrimRight(form);;) {
            const bool more = !part.empty() && part.back() == '\\';
            if (more) part.remove_suffix(1);
            list += part;
            if (!more) break;
            if (line_ + 1 >= lines_.size()) {
                line_ = startLine;
                return LineProblem("hex value cut short at the end of the file");
            }
            part = TrimRight(TrimLeft(lines_[++line_]));
        }
        std::vector<std::uint8_t> bytes;
        std::string_view items = list;
        while (!items.empty()) {
            const std::size_t comma = items.find(',');
            const std::string_view item = TrimRight(TrimLeft(items.substr(0, comma)));
            std::uint32_t b;
            const bool lastEmpty = item.empty() && comma == std::string_view::npos;
            if (!lastEmpty && !ParseHex(item, 2, b)) {
                const std::size_t bad = line_;
                line_ = startLine;
                LineProblem("invalid byte in hex value");
                line_ = bad;
                return;
            }
            if (!lastEmpty) bytes.push_back(static_cast<std::uint8_t>(b));
            if (comma == std::string_view::npos) break;
            items.remove_prefix(comma + 1);
        }
        StoreTyped(name, type, std::move(bytes), startLine);
    }

    void StoreTyped(const std::string& name, std::uint32_t type, std::vector<std::uint8_t> bytes,
                    std::size_t startLine) {
        const std::string_view view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        RegValue v;
        v.type = type;
        if (type == kRegSz || type == kRegExpandSz) {
            bool ok = true;
            v.text = version4_ ? Cp1252ToUtf8(CutAtNul(std::string(view)))
                               : CutAtNul(Utf16ToUtf8(view, false, ok));
            if (!ok) {
                const std::size_t here = line_;
                line_ = startLine;
                LineProblem("invalid text in hex value");
                line_ = here;
                return;
            }
        } else if (type == kRegDword) {
            if (bytes.size() != 4) {
                const std::size_t here = line_;
                line_ = startLine;
                LineProblem("integer value of the wrong size");
                line_ = here;
                return;
            }
            v.number = bytes[0] | bytes[1] << 8 | bytes[2] << 16 |
                       static_cast<std::uint32_t>(bytes[3]) << 24;
        } else if (type == kRegMultiSz && version4_) {
            AppendUtf16Le(v.bytes, Cp1252ToUtf8(std::string(view)));
        } else {
            v.bytes = std::move(bytes);
        }
        current_->SetValue(name, std::move(v));
    }

    std::string_view raw_;
    std::string text_;
    std::vector<std::string_view> lines_;
    std::size_t first_ = 0;
    std::size_t line_ = 0;
    bool version4_ = false;
    Key* current_ = nullptr;
    bool ignoring_ = false;
    ParseResult result_;
};

void AppendHex(std::string& out, std::string_view prefix, const std::vector<std::uint8_t>& bytes) {
    out += prefix;
    std::size_t column = prefix.size();
    char buf[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0) {
            out += ',';
            ++column;
            if (column > 76) {
                out += "\\\n  ";
                column = 2;
            }
        }
        std::snprintf(buf, sizeof buf, "%02x", bytes[i]);
        out += buf;
        column += 2;
    }
    out += '\n';
}

void WriteValue(std::string& out, const std::string& name, const RegValue& v) {
    std::string prefix = name.empty() ? "@=" : Quote(name) + "=";
    char buf[32];
    switch (v.type) {
        case kRegSz:
            if (!HasControl(v.text)) {
                out += prefix + Quote(v.text) + "\n";
                return;
            }
            [[fallthrough]];  // line breaks cannot stand in a quoted string
        case kRegExpandSz: {
            std::vector<std::uint8_t> utf16;
            AppendUtf16Le(utf16, v.text);
            utf16.push_back(0);
            utf16.push_back(0);
            std::snprintf(buf, sizeof buf, "hex(%x):", static_cast<unsigned>(v.type));
            AppendHex(out, prefix + buf, utf16);
            return;
        }
        case kRegDword:
            std::snprintf(buf, sizeof buf, "dword:%08x", static_cast<unsigned>(v.number));
            out += prefix + buf + "\n";
            return;
        case kRegBinary:
            AppendHex(out, prefix + "hex:", v.bytes);
            return;
        default:
            std::snprintf(buf, sizeof buf, "hex(%x):", static_cast<unsigned>(v.type));
            AppendHex(out, prefix + buf, v.bytes);
    }
}

void WriteKey(std::string& out, const Key& key, const std::string& path, bool isRoot) {
    if (!isRoot || !key.values.empty()) {
        out += "\n[" + path + "]\n";
        for (const auto& [name, value] : key.values) WriteValue(out, name, value);
    }
    std::vector<const Key*> children;
    for (const auto& [folded, child] : key.children) children.push_back(child.get());
    std::sort(children.begin(), children.end(),
              [](const Key* a, const Key* b) { return NameLess(a->name, b->name); });
    for (const Key* child : children) WriteKey(out, *child, path + "\\" + child->name, false);
}

}  // namespace

Key* Key::Child(std::string_view n) const {
    auto it = children.find(FoldName(n));
    return it == children.end() ? nullptr : it->second.get();
}

Key* Key::ChildOrCreate(std::string_view n) {
    auto& slot = children[FoldName(n)];
    if (!slot) slot = std::make_unique<Key>(Key{std::string(n), {}, {}});
    return slot.get();
}

bool Key::RemoveChild(std::string_view n) {
    return children.erase(FoldName(n)) > 0;
}

const RegValue* Key::Value(std::string_view n) const {
    const std::string folded = FoldName(n);
    for (const auto& [name, value] : values)
        if (FoldName(name) == folded) return &value;
    return nullptr;
}

void Key::SetValue(std::string_view n, RegValue value) {
    const std::string folded = FoldName(n);
    for (auto& [name, v] : values)
        if (FoldName(name) == folded) {
            v = std::move(value);
            return;
        }
    values.emplace_back(std::string(n), std::move(value));
}

bool Key::RemoveValue(std::string_view n) {
    const std::string folded = FoldName(n);
    auto it = std::find_if(values.begin(), values.end(),
                           [&](const auto& p) { return FoldName(p.first) == folded; });
    if (it == values.end()) return false;
    values.erase(it);
    return true;
}

std::string FoldName(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t start = i;
        char32_t c;
        if (!NextUtf8(s, i, c)) {
            out += s[start];
            continue;
        }
        if (c >= 'A' && c <= 'Z')
            c += 32;
        else if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
            c += 32;
        AppendUtf8(out, c);
    }
    return out;
}

bool NameLess(std::string_view a, std::string_view b) {
    const bool da = IsDigits(a), db = IsDigits(b);
    if (da != db) return da;
    if (da) {
        auto strip = [](std::string_view s) {
            const std::size_t nz = s.find_first_not_of('0');
            return nz == std::string_view::npos ? std::string_view("0") : s.substr(nz);
        };
        const std::string_view na = strip(a), nb = strip(b);
        if (na.size() != nb.size()) return na.size() < nb.size();
        if (na != nb) return na < nb;
        return a < b;
    }
    const std::string fa = FoldName(a), fb = FoldName(b);
    if (fa != fb) return fa < fb;
    return a < b;
}

bool SplitKeyPath(std::string_view path, std::vector<std::string>& parts) {
    parts.clear();
    while (!path.empty()) {
        const std::size_t sep = path.find('\\');
        const std::string_view part = path.substr(0, sep);
        if (!part.empty()) {
            if (HasControl(part) || part.size() > 255 || !ValidUtf8(part)) return false;
            parts.emplace_back(part);
            if (parts.size() > kMaxKeyDepth) return false;
        }
        if (sep == std::string_view::npos) break;
        path.remove_prefix(sep + 1);
    }
    return true;
}

bool ValidValueName(std::string_view name) {
    return name.size() <= kMaxNameLength && !HasControl(name) && ValidUtf8(name);
}

ParseResult Parse(std::string_view fileBytes) {
    return Parser(fileBytes).Run();
}

std::string Serialize(const Tree& tree) {
    std::string out(kHeader5);
    out += '\n';
    WriteKey(out, tree.currentUser, tree.currentUser.name, true);
    WriteKey(out, tree.localMachine, tree.localMachine.name, true);
    return out;
}

bool ValidText(std::string_view utf8) {
    return ValidUtf8(utf8) && utf8.find('\0') == std::string_view::npos;
}

}  // namespace tarvo::platform::regfile
