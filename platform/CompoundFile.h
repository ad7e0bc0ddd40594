// Compound files (storages holding streams and further storages), as the
// station database keeps them: read whole into a tree in memory, written whole.
#pragma once

#include <cstddef>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace tarvo::platform {

// One storage: named streams (bytes) and sub-storages. Names are UTF-8, at
// most 31 UTF-16 units, without '/', '\\', ':' and '!', unique without regard
// to ASCII case. Not thread-safe: its owner locks.
class CompoundStorage {
  public:
    CompoundStorage() = default;
    CompoundStorage(CompoundStorage&&) noexcept = default;
    CompoundStorage& operator=(CompoundStorage&&) noexcept = default;
    CompoundStorage(const CompoundStorage&) = delete;
    CompoundStorage& operator=(const CompoundStorage&) = delete;
    ~CompoundStorage();

    static constexpr std::size_t kMaxNameUnits = 31;
    static bool ValidName(std::string_view name);

    // Null when there is no storage of that name.
    CompoundStorage* Storage(std::string_view name);
    const CompoundStorage* Storage(std::string_view name) const;
    // A new empty storage, replacing any element of that name; null for an invalid name.
    CompoundStorage* CreateStorage(std::string_view name);
    // Adds a storage that was built elsewhere (replacing); false for an invalid name.
    bool PutStorage(std::string_view name, CompoundStorage storage);

    // Null when there is no stream of that name.
    const std::string* Stream(std::string_view name) const;
    // Creates or replaces the stream; false for an invalid name.
    bool SetStream(std::string_view name, std::string data);

    // Removes the element (stream or storage); false when there is none.
    bool Remove(std::string_view name);
    bool Contains(std::string_view name) const;
    // The element names as written, in ascending order without regard to case.
    std::vector<std::string> Names() const;
    std::size_t Size() const { return elements_.size(); }
    bool Empty() const { return elements_.empty(); }

  private:
    struct Element {
        std::string name;
        std::string data;
        std::unique_ptr<CompoundStorage> storage;  // set for a storage
    };
    static std::string Fold(std::string_view name);
    std::map<std::string, Element> elements_;  // by folded name
};

struct CompoundRead {
    CompoundStorage root;
    bool readable = false;      // the bytes were a compound file
    std::size_t skipped = 0;    // elements that could not be read and were left out
    std::size_t truncated = 0;  // streams cut at the limit
};

// Everything readable from the bytes of a compound file; streams longer than
// streamLimit are cut. Hostile input gives what can be read, never more.
CompoundRead ReadCompound(std::string_view bytes, std::size_t streamLimit);

// The compound file of the tree; empty when it cannot be built.
std::string WriteCompound(const CompoundStorage& root);

// Writes the tree atomically (temporary file of the mode, fsync, rename).
std::error_code SaveCompoundFile(const std::filesystem::path& p, const CompoundStorage& root,
                                 int mode = 0600);

}  // namespace tarvo::platform
