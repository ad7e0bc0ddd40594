// The settings store: a registry of keys and typed values, kept in one file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace tarvo::platform {

enum class Hive { CurrentUser, LocalMachine };

// Registry value types by their registry numbers.
enum RegType : std::uint32_t {
    kRegNone = 0,
    kRegSz = 1,
    kRegExpandSz = 2,
    kRegBinary = 3,
    kRegDword = 4,
    kRegMultiSz = 7,
    kRegQword = 11,
};

struct RegValue {
    std::uint32_t type = kRegSz;
    std::string text;                 // kRegSz, kRegExpandSz: UTF-8
    std::uint32_t number = 0;         // kRegDword
    std::vector<std::uint8_t> bytes;  // every other type, as stored

    static RegValue String(std::string utf8) { return {kRegSz, std::move(utf8), 0, {}}; }
    static RegValue DWord(std::uint32_t n) { return {kRegDword, {}, n, {}}; }
    static RegValue Binary(std::vector<std::uint8_t> b) {
        return {kRegBinary, {}, 0, std::move(b)};
    }
    bool IsString() const { return type == kRegSz || type == kRegExpandSz; }
    bool operator==(const RegValue&) const = default;
};

// Key paths are written as on Windows, "\Software\Morvane\Tarvo\Geraete"; the
// leading backslash is optional. Key and value names compare without case and
// keep the case they were first written in. The value name "" is the key's
// default value. Every operation is safe from any thread.
class IRegistry {
  public:
    virtual ~IRegistry() = default;

    virtual bool KeyExists(Hive hive, std::string_view key) const = 0;
    // Creates the key and its missing parents. False for an invalid path.
    virtual bool CreateKey(Hive hive, std::string_view key) = 0;
    // Deletes the key with all its subkeys. False when it did not exist.
    virtual bool DeleteKey(Hive hive, std::string_view key) = 0;
    // Names of the direct subkeys: alphabetical without case, except that names
    // of digits only come first, in numeric order ("2" before "10").
    virtual std::vector<std::string> SubKeyNames(Hive hive, std::string_view key) const = 0;
    // Names of the values, in the order they were first written.
    virtual std::vector<std::string> ValueNames(Hive hive, std::string_view key) const = 0;
    virtual std::optional<RegValue> GetValue(Hive hive, std::string_view key,
                                             std::string_view name) const = 0;
    // Creates the key when missing. False for an invalid key path or a name with
    // control characters.
    virtual bool SetValue(Hive hive, std::string_view key, std::string_view name,
                          RegValue value) = 0;
    virtual bool DeleteValue(Hive hive, std::string_view key, std::string_view name) = 0;
    // Makes every change so far durable before it returns.
    virtual std::error_code Flush() = 0;

    // Typed helpers. Text is in code page 1252 like all text of the logic; the
    // Utf8 variants pass the stored text unchanged (file names).
    std::optional<std::string> ReadText(Hive hive, std::string_view key,
                                        std::string_view name) const;
    bool WriteText(Hive hive, std::string_view key, std::string_view name, std::string_view cp1252);
    std::optional<std::string> ReadUtf8(Hive hive, std::string_view key,
                                        std::string_view name) const;
    bool WriteUtf8(Hive hive, std::string_view key, std::string_view name, std::string_view utf8);
    // Only a stored integer (kRegDword) reads; anything else is nullopt.
    std::optional<std::uint32_t> ReadDWord(Hive hive, std::string_view key,
                                           std::string_view name) const;
    bool WriteDWord(Hive hive, std::string_view key, std::string_view name, std::uint32_t n);
    std::optional<std::vector<std::uint8_t>> ReadBinary(Hive hive, std::string_view key,
                                                        std::string_view name) const;
    bool WriteBinary(Hive hive, std::string_view key, std::string_view name,
                     std::vector<std::uint8_t> bytes);
};

// The registry kept in memory and written to one file in registry-export syntax.
// Changes reach the disk atomically within a fraction of a second; Flush makes
// them durable at once. Without a file it is a plain in-memory store (tests).
class FileRegistry final : public IRegistry {
  public:
    // Memory only.
    FileRegistry();
    // Reads the file when it exists. A damaged file keeps what was readable; the
    // original is copied beside it (".bad") before anything overwrites it, and the
    // problems are in LoadProblems(). Fails only when the file exists but cannot
    // be read, or the damaged original cannot be preserved.
    static std::unique_ptr<FileRegistry> Open(const std::filesystem::path& file,
                                              std::error_code& ec);
    ~FileRegistry() override;  // writes what is pending

    FileRegistry(const FileRegistry&) = delete;
    FileRegistry& operator=(const FileRegistry&) = delete;

    bool KeyExists(Hive hive, std::string_view key) const override;
    bool CreateKey(Hive hive, std::string_view key) override;
    bool DeleteKey(Hive hive, std::string_view key) override;
    std::vector<std::string> SubKeyNames(Hive hive, std::string_view key) const override;
    std::vector<std::string> ValueNames(Hive hive, std::string_view key) const override;
    std::optional<RegValue> GetValue(Hive hive, std::string_view key,
                                     std::string_view name) const override;
    bool SetValue(Hive hive, std::string_view key, std::string_view name, RegValue value) override;
    bool DeleteValue(Hive hive, std::string_view key, std::string_view name) override;
    std::error_code Flush() override;

    const std::vector<std::string>& LoadProblems() const;
    // Where the damaged original was preserved; empty when it was not damaged.
    const std::filesystem::path& BadCopy() const;
    // The error of the last background write, cleared by the next good one.
    std::error_code LastWriteError() const;
    // The whole store in file syntax (what the file holds after a Flush).
    std::string Serialize() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace tarvo::platform
