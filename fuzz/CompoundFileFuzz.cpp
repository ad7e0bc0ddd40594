// The station database file: whatever a compound file holds is read without
// reading past its end, nothing longer than the limit comes out, and what was
// read writes out to a file that reads back to the same tree. Then the
// permission list of a station, which is comma text from the same file.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzSupport.h"
#include "platform/CompoundFile.h"
#include "stations/StationenDatenbankEintragU.h"

namespace {

using tarvo::platform::CompoundStorage;

constexpr std::size_t kLimit = 4096;

bool Same(const CompoundStorage& a, const CompoundStorage& b) {
    if (a.Names() != b.Names()) return false;
    for (const std::string& name : a.Names()) {
        const CompoundStorage* sa = a.Storage(name);
        const CompoundStorage* sb = b.Storage(name);
        if ((sa == nullptr) != (sb == nullptr)) return false;
        if (sa ? !Same(*sa, *sb) : *a.Stream(name) != *b.Stream(name)) return false;
    }
    return true;
}

void CheckLimits(const CompoundStorage& s) {
    for (const std::string& name : s.Names()) {
        tarvo::fuzz::Check(CompoundStorage::ValidName(name));
        if (const CompoundStorage* sub = s.Storage(name)) {
            CheckLimits(*sub);
        } else {
            const std::string& data = *s.Stream(name);
            tarvo::fuzz::Check(data.size() <= kLimit);
            if (name == "R") {
                const auto list = tarvo::stations::ParseRemoteCommands(data);
                const std::string written = tarvo::stations::WriteRemoteCommands(list);
                tarvo::fuzz::Check(tarvo::stations::ParseRemoteCommands(written) == list);
            }
        }
    }
}

}  // namespace

// The reader library loses a directory entry of some damaged files (a few
// bytes, once per opening of such a file); its stacks end in the C libraries.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libgsf-1.so\nleak:libglib-2.0.so\n";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const tarvo::platform::CompoundRead read = tarvo::platform::ReadCompound(bytes, kLimit);
    if (!read.readable) return 0;
    CheckLimits(read.root);
    const std::string written = tarvo::platform::WriteCompound(read.root);
    tarvo::fuzz::Check(!written.empty());
    const tarvo::platform::CompoundRead again = tarvo::platform::ReadCompound(written, kLimit);
    tarvo::fuzz::Check(again.readable && again.skipped == 0 && again.truncated == 0);
    tarvo::fuzz::Check(Same(read.root, again.root));
    return 0;
}
