// The registry: hives HKEY_CLASSES_ROOT and HKEY_CURRENT_USER, each an SQLite database in the
// registry directory ($KORVA_REGISTRY, else $XDG_CONFIG_HOME/korva/registry, else
// ~/.config/korva/registry). Key names are case-insensitive and case-preserving, values typed,
// and access rights real: a key may refuse full access while allowing reading. Several
// processes may use a hive at once. Names and texts are UTF-8.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/kernel/wintypes.h"

enum class HKEY : uintptr_t {
    ClassesRoot = 0x80000000,
    CurrentUser = 0x80000001,
};
constexpr HKEY HKEY_CLASSES_ROOT = HKEY::ClassesRoot;
constexpr HKEY HKEY_CURRENT_USER = HKEY::CurrentUser;

enum RegType : DWORD {
    REG_NONE = 0,
    REG_SZ = 1,
    REG_EXPAND_SZ = 2,
    REG_BINARY = 3,
    REG_DWORD = 4,
    REG_MULTI_SZ = 7,
    REG_QWORD = 11,
};

using REGSAM = DWORD;
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

// Per-key rights as stored: Full allows everything, ReadOnly refuses any opening that asks for
// more than KEY_READ.
enum class KeyAccess { Full, ReadOnly };

// A typed value. REG_SZ/REG_EXPAND_SZ hold UTF-8 text in `text`; REG_DWORD/REG_QWORD the number
// in `number`; REG_BINARY/REG_MULTI_SZ/REG_NONE the raw bytes in `data`.
// REG_MULTI_SZ data is UTF-8: each string followed by a NUL byte, then one more NUL byte (see
// MultiStringData). Types other than the listed ones keep their raw bytes in `data` as well.
struct RegValue {
    RegType type = REG_NONE;
    std::string text;
    uint64_t number = 0;
    std::vector<uint8_t> data;
};

// REG_MULTI_SZ data of `strings`, and the strings of such data (a missing final NUL is
// tolerated; an empty string ends the list, as the platform's lists do).
std::vector<uint8_t> MultiStringData(const std::vector<std::string>& strings);
std::vector<std::string> MultiStringList(const std::vector<uint8_t>& data);

// "HKEY_CLASSES_ROOT" / "HKCR", "HKEY_CURRENT_USER" / "HKCU" (any case).
std::optional<HKEY> ParseRootKeyName(std::string_view name);
const char* RootKeyName(HKEY root);
// The directory that holds the hives, read from the environment at each call; empty when
// neither KORVA_REGISTRY, XDG_CONFIG_HOME nor a home directory is known.
std::string RegistryDirectory();

// A TRegistry-style handle on one open key at a time. Key names are relative to the open key
// or, when they start with "\\" or no key is open, to the root; "" names the root (or the open
// key). Operations that need a key answer false or nothing while none is open. An object is used
// by one thread at a time; separate objects may be used on separate threads and processes.
// Rights: an opened key grants the access asked for; reading values needs KEY_QUERY_VALUE,
// listing sub-keys KEY_ENUMERATE_SUB_KEYS, writing or deleting values KEY_SET_VALUE, and
// creating a sub-key below the open key KEY_CREATE_SUB_KEY. A read-only key refuses any
// opening that asks for more than KEY_READ, any change of its values, sub-keys created in it
// and the deletion of it or of a key above it. SetKeyAccess is the administrator's way to
// change that and is not itself restricted.
class TRegistry {
  public:
    explicit TRegistry(REGSAM access = KEY_ALL_ACCESS);
    ~TRegistry();
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    HKEY RootKey() const;        // HKEY_CURRENT_USER until set
    void SetRootKey(HKEY root);  // closes the current key
    REGSAM Access() const;
    void SetAccess(REGSAM access);

    // Connects to the registry of another machine ("\\name"); fails cleanly while remote
    // registries are not reachable. An empty name or this computer's name connects locally.
    bool RegistryConnect(std::string_view machine);

    // Opens `key` (relative to the open key, or to the root when it starts with "\" or no key is
    // open) with the handle's access rights; creates missing keys when `canCreate`.
    bool OpenKey(std::string_view key, bool canCreate);
    bool OpenKeyReadOnly(std::string_view key);
    void CloseKey();
    bool HasOpenKey() const;
    std::string CurrentPath() const;

    bool KeyExists(std::string_view key) const;
    bool ValueExists(std::string_view name) const;  // "" is the default value
    // Sub-key names of the open key, in case-insensitive alphabetical order.
    std::vector<std::string> GetKeyNames() const;
    std::vector<std::string> GetValueNames() const;

    // The value's text when it is a string value; nothing when it is missing or of another type.
    std::optional<std::string> ReadString(std::string_view name) const;
    std::optional<RegValue> ReadValue(std::string_view name) const;

    bool WriteString(std::string_view name, std::string_view text);
    bool WriteInteger(std::string_view name, uint32_t value);
    bool WriteValue(std::string_view name, const RegValue& value);
    bool DeleteValue(std::string_view name);  // false when it does not exist
    // Deletes `key` below the open key (or root) with all its sub-keys.
    bool DeleteKey(std::string_view key);
    bool CreateKey(std::string_view key);
    // Sets the stored rights of `key` (relative as in OpenKey).
    bool SetKeyAccess(std::string_view key, KeyAccess access);
    // The stored rights of `key`; nothing when it does not exist.
    std::optional<KeyAccess> GetKeyAccess(std::string_view key) const;
    // Why the last failed operation failed (e.g. "access denied", "key not found"), for tools
    // and logs.
    const std::string& LastError() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
