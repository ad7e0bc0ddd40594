// An AutoBIN header line as it arrives from the air: the length stays within
// 31 bits, a date is always a real one, and the stored name is one harmless
// file name; what the sender writes reads back the same.
#include <cstdint>
#include <string>

#include "connection/VerbindungAutobinU.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tarvo;
    const std::string line(reinterpret_cast<const char*>(data), size);
    const auto header = connection::ParseAutobinHeader(line);
    if (!header) return 0;
    fuzz::Check(header->length >= -1 && header->length <= connection::kAutobinMaxLength);
    fuzz::Check(!header->crc || *header->crc != 0);
    if (header->date) fuzz::Check(connection::FromDosDateTime(*header->date).has_value());
    const std::string name = connection::AutobinStoreName(header->name, "N0CALL");
    fuzz::Check(!name.empty() && name != "." && name != "..");
    fuzz::Check(name.find('/') == std::string::npos && name.find('\0') == std::string::npos);
    if (header->length >= 0 && header->name.find_first_of("#\r") == std::string::npos) {
        const auto back = connection::ParseAutobinHeader(connection::AutobinHeaderLine(
            header->length, header->crc.value_or(0), header->date.value_or(0), header->name));
        fuzz::Check(back && back->length == header->length && back->name == header->name);
    }
    return 0;
}
