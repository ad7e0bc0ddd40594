// The settings file: a registry export ("Windows Registry Editor Version 5.00" in
// UTF-8). Reads our own files and files exported on Windows (REGEDIT4 in code
// page 1252, version 5 in UTF-16 with a byte-order mark).
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Registry.h"

namespace tarvo::platform::regfile {

struct Key {
    std::string name;                                      // in the case first written
    std::map<std::string, std::unique_ptr<Key>> children;  // by folded name
    std::vector<std::pair<std::string, RegValue>> values;  // in the order first written

    Key* Child(std::string_view name) const;
    Key* ChildOrCreate(std::string_view name);
    bool RemoveChild(std::string_view name);
    const RegValue* Value(std::string_view name) const;
    void SetValue(std::string_view name, RegValue value);
    bool RemoveValue(std::string_view name);
    bool Empty() const { return children.empty() && values.empty(); }
};

struct Tree {
    Key currentUser{"HKEY_CURRENT_USER", {}, {}};
    Key localMachine{"HKEY_LOCAL_MACHINE", {}, {}};
    Key& Root(Hive hive) { return hive == Hive::CurrentUser ? currentUser : localMachine; }
    const Key& Root(Hive hive) const {
        return hive == Hive::CurrentUser ? currentUser : localMachine;
    }
};

struct ParseResult {
    Tree tree;
    // One line per problem found; empty for a sound file. Anything listed here
    // was not taken over into the tree.
    std::vector<std::string> problems;
    // Keys of hives other than the two kept ("HKEY_CLASSES_ROOT\Software"); not
    // taken over, and not counted as damage.
    std::vector<std::string> otherHives;
};

// Files larger than this are refused as damaged.
inline constexpr std::size_t kMaxFileSize = 64u << 20;

ParseResult Parse(std::string_view fileBytes);
std::string Serialize(const Tree& tree);

// Name comparison: case folded (ASCII and Latin-1 letters).
std::string FoldName(std::string_view utf8);
// Subkey order: names of digits only first and numerically, then alphabetical
// without case.
bool NameLess(std::string_view a, std::string_view b);
// Splits "\A\B" into {"A", "B"}; empty components are dropped. Fails for
// components with control characters.
bool SplitKeyPath(std::string_view path, std::vector<std::string>& parts);
bool ValidValueName(std::string_view name);
bool ValidText(std::string_view utf8);

}  // namespace tarvo::platform::regfile
