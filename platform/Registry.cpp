#include "platform/Registry.h"

#include <algorithm>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <thread>

#include "platform/CodePage.h"
#include "platform/Files.h"
#include "platform/RegistryFormat.h"

namespace tarvo::platform {

using regfile::Key;

// ---- typed helpers ---------------------------------------------------------

std::optional<std::string> IRegistry::ReadUtf8(Hive hive, std::string_view key,
                                               std::string_view name) const {
    auto v = GetValue(hive, key, name);
    if (!v || !v->IsString()) return std::nullopt;
    return std::move(v->text);
}

bool IRegistry::WriteUtf8(Hive hive, std::string_view key, std::string_view name,
                          std::string_view utf8) {
    return SetValue(hive, key, name, RegValue::String(std::string(utf8)));
}

std::optional<std::string> IRegistry::ReadText(Hive hive, std::string_view key,
                                               std::string_view name) const {
    auto v = ReadUtf8(hive, key, name);
    if (!v) return std::nullopt;
    return Utf8ToCp1252(*v);
}

bool IRegistry::WriteText(Hive hive, std::string_view key, std::string_view name,
                          std::string_view cp1252) {
    return WriteUtf8(hive, key, name, Cp1252ToUtf8(std::string(cp1252)));
}

std::optional<std::uint32_t> IRegistry::ReadDWord(Hive hive, std::string_view key,
                                                  std::string_view name) const {
    auto v = GetValue(hive, key, name);
    if (!v || v->type != kRegDword) return std::nullopt;
    return v->number;
}

bool IRegistry::WriteDWord(Hive hive, std::string_view key, std::string_view name,
                           std::uint32_t n) {
    return SetValue(hive, key, name, RegValue::DWord(n));
}

std::optional<std::vector<std::uint8_t>> IRegistry::ReadBinary(Hive hive, std::string_view key,
                                                               std::string_view name) const {
    auto v = GetValue(hive, key, name);
    if (!v || v->type != kRegBinary) return std::nullopt;
    return std::move(v->bytes);
}

bool IRegistry::WriteBinary(Hive hive, std::string_view key, std::string_view name,
                            std::vector<std::uint8_t> bytes) {
    return SetValue(hive, key, name, RegValue::Binary(std::move(bytes)));
}

// ---- the file-backed store ---------------------------------------------------

namespace {
// A change is on disk at most this long after it was made; changes in between
// are written together.
constexpr auto kWriteDelay = std::chrono::milliseconds(50);
}  // namespace

struct FileRegistry::Impl {
    std::filesystem::path file;  // empty: memory only

    mutable std::mutex mutex;  // the tree and the generation counters
    regfile::Tree tree;
    std::uint64_t changed = 0;  // bumped by every change
    std::uint64_t written = 0;  // the change count that is on disk
    std::error_code lastError;
    bool stopping = false;
    std::condition_variable wake;

    std::mutex writeMutex;  // one file write at a time
    std::thread writer;

    std::vector<std::string> problems;
    std::filesystem::path badCopy;

    const Key* Find(Hive hive, std::string_view path) const {
        std::vector<std::string> parts;
        if (!regfile::SplitKeyPath(path, parts)) return nullptr;
        const Key* k = &tree.Root(hive);
        for (const auto& p : parts)
            if (!(k = k->Child(p))) return nullptr;
        return k;
    }

    Key* Create(Hive hive, std::string_view path) {
        std::vector<std::string> parts;
        if (!regfile::SplitKeyPath(path, parts)) return nullptr;
        Key* k = &tree.Root(hive);
        for (const auto& p : parts) k = k->ChildOrCreate(p);
        return k;
    }

    // Call with the lock held.
    void Changed() {
        ++changed;
        wake.notify_all();
    }

    std::error_code WriteNow() {
        if (file.empty()) return {};
        std::lock_guard writing(writeMutex);
        std::string text;
        std::uint64_t generation;
        {
            std::lock_guard lock(mutex);
            std::error_code ec;
            if (written == changed && std::filesystem::exists(file, ec)) return {};
            generation = changed;
            text = regfile::Serialize(tree);
        }
        const std::error_code ec = WriteFileAtomic(file, text, 0600);
        std::lock_guard lock(mutex);
        lastError = ec;
        if (!ec && generation > written) written = generation;
        return ec;
    }

    void WriterLoop() {
        std::unique_lock lock(mutex);
        for (;;) {
            wake.wait(lock, [&] { return stopping || changed != written; });
            if (stopping) return;
            // Let a burst of changes settle, then write them in one go.
            wake.wait_for(lock, kWriteDelay, [&] { return stopping; });
            lock.unlock();
            const std::error_code ec = WriteNow();
            lock.lock();
            if (ec && !stopping) {
                // Disk full or read-only: try again later instead of spinning.
                wake.wait_for(lock, std::chrono::seconds(1), [&] { return stopping; });
            }
        }
    }

    void StartWriter() {
        writer = std::thread([this] { WriterLoop(); });
    }
};

FileRegistry::FileRegistry() : impl_(std::make_unique<Impl>()) {}

std::unique_ptr<FileRegistry> FileRegistry::Open(const std::filesystem::path& file,
                                                 std::error_code& ec) {
    ec.clear();
    auto reg = std::unique_ptr<FileRegistry>(new FileRegistry());
    Impl& impl = *reg->impl_;
    impl.file = file;

    std::error_code existsError;
    if (std::filesystem::exists(file, existsError)) {
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            ec = std::make_error_code(std::errc::permission_denied);
            return nullptr;
        }
        // In pieces: a buffer of the largest allowed size would touch 64 MiB on
        // every start, doubling the program's peak memory for a file of a few KB.
        // Reading one piece past the limit lets the parser report a file too large.
        std::string bytes;
        char piece[64 * 1024];
        while (bytes.size() <= regfile::kMaxFileSize && in.read(piece, sizeof piece).gcount() > 0)
            bytes.append(piece, static_cast<std::size_t>(in.gcount()));
        if (in.bad()) {
            ec = std::make_error_code(std::errc::io_error);
            return nullptr;
        }
        regfile::ParseResult parsed = regfile::Parse(bytes);
        impl.tree = std::move(parsed.tree);
        impl.problems = std::move(parsed.problems);
        for (const std::string& key : parsed.otherHives)
            impl.problems.push_back("key of another hive not taken over: " + key);
        if (!impl.problems.empty()) {
            // Keep the damaged original untouched beside the file, then write what
            // was readable at once so that the next start finds it.
            std::filesystem::path bad = file;
            bad += ".bad";
            bad = UniqueFileName(bad);
            ec = bad.empty() ? std::make_error_code(std::errc::file_exists)
                             : MoveNoReplace(file, bad);
            if (ec) return nullptr;
            impl.badCopy = bad;
            impl.problems.push_back("the damaged file was kept as " + bad.string());
            impl.changed = 1;
            if ((ec = impl.WriteNow())) return nullptr;
        }
    } else if (existsError) {
        ec = existsError;
        return nullptr;
    }
    impl.StartWriter();
    return reg;
}

FileRegistry::~FileRegistry() {
    if (impl_->writer.joinable()) {
        {
            std::lock_guard lock(impl_->mutex);
            impl_->stopping = true;
        }
        impl_->wake.notify_all();
        impl_->writer.join();
        impl_->WriteNow();
    }
}

bool FileRegistry::KeyExists(Hive hive, std::string_view key) const {
    std::lock_guard lock(impl_->mutex);
    return impl_->Find(hive, key) != nullptr;
}

bool FileRegistry::CreateKey(Hive hive, std::string_view key) {
    std::lock_guard lock(impl_->mutex);
    if (impl_->Find(hive, key)) return true;
    if (!impl_->Create(hive, key)) return false;
    impl_->Changed();
    return true;
}

bool FileRegistry::DeleteKey(Hive hive, std::string_view key) {
    std::vector<std::string> parts;
    if (!regfile::SplitKeyPath(key, parts) || parts.empty()) return false;
    const std::string last = parts.back();
    parts.pop_back();
    std::lock_guard lock(impl_->mutex);
    Key* parent = &impl_->tree.Root(hive);
    for (const auto& p : parts)
        if (!(parent = parent->Child(p))) return false;
    if (!parent->RemoveChild(last)) return false;
    impl_->Changed();
    return true;
}

std::vector<std::string> FileRegistry::SubKeyNames(Hive hive, std::string_view key) const {
    std::vector<std::string> names;
    {
        std::lock_guard lock(impl_->mutex);
        const Key* k = impl_->Find(hive, key);
        if (!k) return names;
        for (const auto& [folded, child] : k->children) names.push_back(child->name);
    }
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return regfile::NameLess(a, b); });
    return names;
}

std::vector<std::string> FileRegistry::ValueNames(Hive hive, std::string_view key) const {
    std::vector<std::string> names;
    std::lock_guard lock(impl_->mutex);
    if (const Key* k = impl_->Find(hive, key))
        for (const auto& [name, value] : k->values) names.push_back(name);
    return names;
}

std::optional<RegValue> FileRegistry::GetValue(Hive hive, std::string_view key,
                                               std::string_view name) const {
    std::lock_guard lock(impl_->mutex);
    const Key* k = impl_->Find(hive, key);
    if (!k) return std::nullopt;
    const RegValue* v = k->Value(name);
    if (!v) return std::nullopt;
    return *v;
}

bool FileRegistry::SetValue(Hive hive, std::string_view key, std::string_view name,
                            RegValue value) {
    if (!regfile::ValidValueName(name)) return false;
    if (value.IsString() && !regfile::ValidText(value.text)) return false;
    std::lock_guard lock(impl_->mutex);
    Key* k = impl_->Create(hive, key);
    if (!k) return false;
    if (const RegValue* old = k->Value(name); old && *old == value) return true;
    k->SetValue(name, std::move(value));
    impl_->Changed();
    return true;
}

bool FileRegistry::DeleteValue(Hive hive, std::string_view key, std::string_view name) {
    std::lock_guard lock(impl_->mutex);
    Key* k = const_cast<Key*>(impl_->Find(hive, key));
    if (!k || !k->RemoveValue(name)) return false;
    impl_->Changed();
    return true;
}

std::error_code FileRegistry::Flush() {
    return impl_->WriteNow();
}

const std::vector<std::string>& FileRegistry::LoadProblems() const {
    return impl_->problems;
}

const std::filesystem::path& FileRegistry::BadCopy() const {
    return impl_->badCopy;
}

std::error_code FileRegistry::LastWriteError() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->lastError;
}

std::string FileRegistry::Serialize() const {
    std::lock_guard lock(impl_->mutex);
    return regfile::Serialize(impl_->tree);
}

}  // namespace tarvo::platform
