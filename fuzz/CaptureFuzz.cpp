// Any start line and received items through the 7Plus and GoText capture on a
// fake connection: no crash, the line buffer stays under its cap, the file
// lies in the receive folder under a name that is neither hidden nor a path,
// and a capture that did not end by its stop line leaves no file behind.
//
// Input: byte 0 ends each item (kept in it); byte 1 picks the start line
// (0 " go_7+. ", 1 " go_text. ", 2 " go_info. ", 3 none: the first item is
// the whole start line); the first item follows the start word, the rest are
// received items. Then the link ends.
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "connection/Verbindung7PlusReceiveU.h"
#include "connection/VerbindungGoTextReceiveU.h"
#include "fuzz/FuzzSupport.h"
#include "tests/support/FakeModulConnection.h"

using namespace tarvo;
using namespace tarvo::connection;
using fuzz::Check;
namespace fs = std::filesystem;

namespace {

const fs::path& Folder() {
    static const fs::path folder = [] {
        const fs::path p =
            fs::temp_directory_path() / ("tarvo-fuzz-capture-" + std::to_string(::getpid()));
        fs::create_directories(p / "Empfang");
        return p;
    }();
    return folder;
}

std::size_t Files(const fs::path& folder) {
    std::size_t n = 0;
    for (const auto& e : fs::directory_iterator(folder)) {
        (void)e;
        ++n;
    }
    return n;
}

void CheckName(const std::string& name) {
    Check(name.find('/') == std::string::npos);
    Check(name.empty() || name[0] != '.');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const char split = static_cast<char>(data[0]);
    const std::uint8_t flags = data[1];
    const std::string input(reinterpret_cast<const char*>(data + 2), size - 2);

    const std::vector<std::string> items = fuzz::SplitItems(input, split);
    if (items.empty()) return 0;

    CheckName(CaptureName(items[0]));
    CheckName(SevenPlusFileName(Parse7PlusHeader(items[0]), items[0]));

    static const std::string_view kStarts[] = {k7PlusHeader, kGoTextHeader, kGoInfoHeader, ""};
    const std::string_view header = kStarts[flags & 3];
    const fs::path receive = Folder() / "Empfang";
    TTextTransferContext context;
    context.receiveFolder = [receive] { return receive; };

    auto fake = std::make_shared<test::FakeModulConnection>();
    fake->countShownOnly = true;
    fake->receiveQueue.PushString(std::string(header) + items[0]);
    std::shared_ptr<TVerbindungCapture> module;
    if (header == k7PlusHeader)
        module = TVerbindungAbstract::Create<TVerbindung7PlusReceive>(nullptr, fake, context);
    else
        module = TVerbindungAbstract::Create<TVerbindungGoTextReceive>(nullptr, fake, context);
    if (!module->Target().empty()) {
        Check(module->Target().parent_path() == receive);
        CheckName(module->Target().filename().string());
    }
    for (std::size_t i = 1; i < items.size(); ++i) {
        fake->receiveQueue.PushString(items[i]);
        module->OnReceive();
        Check(module->LineBufferSize() < kMaxCaptureLine);
    }
    // A capture still running ends with the link.
    fake->endEvent.Set();
    module->EventLoop();
    module->Close();
    // One file at most, and only when the operator was told where it is.
    const std::size_t left = Files(receive);
    Check(left <= 1);
    if (left == 1) Check(fake->Prompts().size() == 1);
    for (const auto& e : fs::directory_iterator(receive)) fs::remove(e.path());
    return 0;
}
