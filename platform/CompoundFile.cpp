#include "platform/CompoundFile.h"

#include <gsf/gsf.h>

#include <algorithm>
#include <mutex>

#include "platform/Files.h"

namespace tarvo::platform {

namespace {

// Deeper nesting than this is no station database; it only costs stack.
constexpr int kMaxDepth = 16;

template <typename T>
struct GUnref {
    void operator()(T* p) const {
        if (p) g_object_unref(p);
    }
};
template <typename T>
using GPtr = std::unique_ptr<T, GUnref<T>>;

void Quiet(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

void InitGsf() {
    static std::once_flag once;
    std::call_once(once, [] {
        gsf_init();
        // Damaged files make the reader warn on stderr; we count what it skipped instead.
        const auto levels = static_cast<GLogLevelFlags>(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE |
                                                        G_LOG_LEVEL_INFO | G_LOG_LEVEL_DEBUG |
                                                        G_LOG_LEVEL_CRITICAL);
        for (const char* domain : {"libgsf:msole", "libgsf", "GLib-GObject"})
            g_log_set_handler(domain, levels, Quiet, nullptr);
    });
}

// UTF-16 units of a UTF-8 name; -1 when it is not valid UTF-8.
long Utf16Units(std::string_view s) {
    long units = 0;
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t len = c < 0x80           ? 1
                          : (c >> 5) == 0x6  ? 2
                          : (c >> 4) == 0xE  ? 3
                          : (c >> 3) == 0x1E ? 4
                                             : 0;
        if (len == 0 || i + len > s.size()) return -1;
        for (std::size_t k = 1; k < len; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return -1;
        units += len == 4 ? 2 : 1;
        i += len;
    }
    return units;
}

void ReadStorage(GsfInfile* in, CompoundStorage& into, std::size_t limit, int depth,
                 CompoundRead& result) {
    const int n = gsf_infile_num_children(in);
    for (int i = 0; i < n; ++i) {
        const char* rawName = gsf_infile_name_by_index(in, i);
        const std::string name = rawName ? rawName : "";
        if (!CompoundStorage::ValidName(name) || into.Contains(name)) {
            ++result.skipped;
            continue;
        }
        GPtr<GsfInput> child(gsf_infile_child_by_index(in, i));
        if (!child) {
            ++result.skipped;
            continue;
        }
        if (GSF_IS_INFILE(child.get()) && gsf_infile_num_children(GSF_INFILE(child.get())) >= 0) {
            if (depth >= kMaxDepth) {
                ++result.skipped;
                continue;
            }
            CompoundStorage sub;
            ReadStorage(GSF_INFILE(child.get()), sub, limit, depth + 1, result);
            into.PutStorage(name, std::move(sub));
            continue;
        }
        const gsf_off_t size = gsf_input_size(child.get());
        if (size < 0) {
            ++result.skipped;
            continue;
        }
        const auto want = static_cast<std::size_t>(
            std::min<std::uint64_t>(static_cast<std::uint64_t>(size), limit));
        std::string data(want, '\0');
        if (want > 0 &&
            !gsf_input_read(child.get(), want, reinterpret_cast<guint8*>(data.data()))) {
            ++result.skipped;
            continue;
        }
        if (static_cast<std::uint64_t>(size) > limit) ++result.truncated;
        into.SetStream(name, std::move(data));
    }
}

// The directory order of the format: shorter names first, then by upper case.
bool DirectoryOrder(const std::string& a, const std::string& b) {
    const long la = Utf16Units(a), lb = Utf16Units(b);
    if (la != lb) return la < lb;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        const auto ca = static_cast<unsigned char>(g_ascii_toupper(a[i]));
        const auto cb = static_cast<unsigned char>(g_ascii_toupper(b[i]));
        if (ca != cb) return ca < cb;
    }
    return a.size() < b.size();
}

bool WriteStorage(GsfOutfile* out, const CompoundStorage& storage) {
    // The writer keeps its children in a sorted list; added last-first, each
    // goes to the front and a storage of 10,000 stations costs no quadratic time.
    std::vector<std::string> names = storage.Names();
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return DirectoryOrder(b, a); });
    for (const std::string& name : names) {
        if (const CompoundStorage* sub = storage.Storage(name)) {
            GPtr<GsfOutput> child(gsf_outfile_new_child(out, name.c_str(), TRUE));
            if (!child) return false;
            const bool ok = WriteStorage(GSF_OUTFILE(child.get()), *sub);
            if (!gsf_output_close(child.get()) || !ok) return false;
            continue;
        }
        const std::string* data = storage.Stream(name);
        GPtr<GsfOutput> child(gsf_outfile_new_child(out, name.c_str(), FALSE));
        if (!child) return false;
        const bool ok =
            data->empty() || gsf_output_write(child.get(), data->size(),
                                              reinterpret_cast<const guint8*>(data->data()));
        if (!gsf_output_close(child.get()) || !ok) return false;
    }
    return true;
}

}  // namespace

CompoundStorage::~CompoundStorage() = default;

bool CompoundStorage::ValidName(std::string_view name) {
    if (name.empty()) return false;
    for (char c : name) {
        if (c == '/' || c == '\\' || c == ':' || c == '!' || static_cast<unsigned char>(c) < 0x20)
            return false;
    }
    const long units = Utf16Units(name);
    return units > 0 && static_cast<std::size_t>(units) <= kMaxNameUnits;
}

std::string CompoundStorage::Fold(std::string_view name) {
    std::string s(name);
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

CompoundStorage* CompoundStorage::Storage(std::string_view name) {
    auto it = elements_.find(Fold(name));
    return it == elements_.end() ? nullptr : it->second.storage.get();
}

const CompoundStorage* CompoundStorage::Storage(std::string_view name) const {
    auto it = elements_.find(Fold(name));
    return it == elements_.end() ? nullptr : it->second.storage.get();
}

CompoundStorage* CompoundStorage::CreateStorage(std::string_view name) {
    if (!PutStorage(name, CompoundStorage())) return nullptr;
    return Storage(name);
}

bool CompoundStorage::PutStorage(std::string_view name, CompoundStorage storage) {
    if (!ValidName(name)) return false;
    Element& e = elements_[Fold(name)];
    e.name = std::string(name);
    e.data.clear();
    e.storage = std::make_unique<CompoundStorage>(std::move(storage));
    return true;
}

const std::string* CompoundStorage::Stream(std::string_view name) const {
    auto it = elements_.find(Fold(name));
    if (it == elements_.end() || it->second.storage) return nullptr;
    return &it->second.data;
}

bool CompoundStorage::SetStream(std::string_view name, std::string data) {
    if (!ValidName(name)) return false;
    Element& e = elements_[Fold(name)];
    e.name = std::string(name);
    e.data = std::move(data);
    e.storage.reset();
    return true;
}

bool CompoundStorage::Remove(std::string_view name) {
    return elements_.erase(Fold(name)) > 0;
}

bool CompoundStorage::Contains(std::string_view name) const {
    return elements_.contains(Fold(name));
}

std::vector<std::string> CompoundStorage::Names() const {
    std::vector<std::string> names;
    names.reserve(elements_.size());
    for (const auto& [folded, e] : elements_) names.push_back(e.name);
    return names;
}

CompoundRead ReadCompound(std::string_view bytes, std::size_t streamLimit) {
    InitGsf();
    CompoundRead result;
    if (bytes.empty()) return result;
    GPtr<GsfInput> input(gsf_input_memory_new(reinterpret_cast<const guint8*>(bytes.data()),
                                              static_cast<gsf_off_t>(bytes.size()), FALSE));
    if (!input) return result;
    GError* err = nullptr;
    GPtr<GsfInfile> root(gsf_infile_msole_new(input.get(), &err));
    if (err) g_error_free(err);
    if (!root) return result;
    result.readable = true;
    ReadStorage(root.get(), result.root, streamLimit, 0, result);
    return result;
}

std::string WriteCompound(const CompoundStorage& root) {
    InitGsf();
    GPtr<GsfOutput> sink(gsf_output_memory_new());
    if (!sink) return {};
    bool ok = false;
    {
        GPtr<GsfOutfile> out(gsf_outfile_msole_new(sink.get()));
        if (!out) return {};
        ok = WriteStorage(out.get(), root);
        ok = gsf_output_close(GSF_OUTPUT(out.get())) && ok;
    }
    if (!ok) return {};
    const gsf_off_t size = gsf_output_size(sink.get());
    const guint8* data = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(sink.get()));
    if (size <= 0 || !data) return {};
    return std::string(reinterpret_cast<const char*>(data), static_cast<std::size_t>(size));
}

std::error_code SaveCompoundFile(const std::filesystem::path& p, const CompoundStorage& root,
                                 int mode) {
    const std::string bytes = WriteCompound(root);
    if (bytes.empty()) return std::make_error_code(std::errc::io_error);
    return WriteFileAtomic(p, bytes, mode);
}

}  // namespace tarvo::platform
