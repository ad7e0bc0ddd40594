// A split-set part as it arrives from the air: the header reader, the parser
// and the CRC checks must refuse what is broken without reading past the data,
// and what they accept must be a part with a slot in its set, which the send
// side's header writer writes back the same.
#include <cstdint>
#include <string>

#include "connection/BinSplitPartU.h"
#include "connection/CrcU.h"
#include "core/DebOutU.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tarvo;
    core::TMemoryStream stream(std::string(reinterpret_cast<const char*>(data), size));
    connection::TBinSplitPart part(stream);
    if (!part.ReadHeader()) {
        fuzz::Check(part.DataOffset() == -1);
        return 0;
    }
    fuzz::Check(part.Header().size() <= connection::TBinSplitPart::kMaxHeader);
    fuzz::Check(part.Header().back() == '\0');
    if (!part.Parse()) return 0;
    fuzz::Check(part.Part() >= 1 && part.Part() <= part.Parts() && part.Parts() <= 255);
    fuzz::Check(part.DataLength() >= 1 && part.DataLength() <= part.PartSize());
    fuzz::Check(part.DataOffset() + part.DataLength() + 18 <= static_cast<std::int64_t>(size));
    // What the send side writes from these fields reads back as the same part.
    const std::string header =
        connection::MakeBinSplitHeader(part.Part(), part.Parts(), part.PartSize(), part.FileSize(),
                                       part.FileName(), part.DateText(), "Tarvo");
    core::TMemoryStream rewritten(header + std::string(part.DataLength() + 18, '0'));
    connection::TBinSplitPart again(rewritten);
    fuzz::Check(again.ReadHeader() && again.Parse());
    fuzz::Check(again.Part() == part.Part() && again.Parts() == part.Parts() &&
                again.PartSize() == part.PartSize() && again.FileSize() == part.FileSize() &&
                again.FileName() == part.FileName() && again.DateText() == part.DateText());
    part.CheckPartCRC();
    std::uint32_t running = connection::kCrc32Start;
    part.CheckAccumulatedCRC(running);
    core::TMemoryStream out;
    part.CopyData(out);
    fuzz::Check(out.GetSize() == part.DataLength());
    return 0;
}
