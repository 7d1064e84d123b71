#include "platform/registry/registry.h"

#include <pwd.h>
#include <strings.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/registry/detail/hive_store.h"
#include "platform/registry/detail/key_name.h"
#include "platform/registry/detail/value_codec.h"

using korva::registry::HiveStore;
using korva::registry::KeyId;
using korva::registry::kRootKeyId;
using korva::registry::StoredKey;

namespace {

// Bits of an access mask that say nothing about rights (the 32/64-bit view selectors).
constexpr REGSAM kViewBits = 0x0300;

const char* kAccessDenied = "access denied";
const char* kKeyNotFound = "key not found";
const char* kNoOpenKey = "no key is open";
const char* kBadKeyName = "invalid key name";

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

bool IsThisComputer(std::string_view name) {
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0)
        return false;
    const std::string_view full(host);
    const std::string_view shortName = full.substr(0, full.find('.'));
    return EqualsIgnoringAsciiCase(name, full) || EqualsIgnoringAsciiCase(name, shortName);
}

std::string JoinPath(const std::string& base, std::string_view name) {
    return base.empty() ? std::string(name) : base + "\\" + std::string(name);
}

}  // namespace

std::string RegistryDirectory() {
    if (const char* own = std::getenv("KORVA_REGISTRY"); own && *own)
        return own;
    // XDG: a relative XDG_CONFIG_HOME is invalid and ignored.
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/')
        return std::string(config) + "/korva/registry";
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        const passwd* user = getpwuid(getuid());
        home = user ? user->pw_dir : nullptr;
    }
    if (!home || !*home)
        return {};
    return std::string(home) + "/.config/korva/registry";
}

std::vector<uint8_t> MultiStringData(const std::vector<std::string>& strings) {
    std::vector<uint8_t> data;
    for (const std::string& text : strings) {
        data.insert(data.end(), text.begin(), text.end());
        data.push_back(0);
    }
    data.push_back(0);
    return data;
}

std::vector<std::string> MultiStringList(const std::vector<uint8_t>& data) {
    std::vector<std::string> strings;
    size_t start = 0;
    while (start < data.size()) {
        size_t end = start;
        while (end < data.size() && data[end] != 0)
            ++end;
        if (end == start)
            break;
        strings.emplace_back(data.begin() + static_cast<ptrdiff_t>(start),
                             data.begin() + static_cast<ptrdiff_t>(end));
        start = end + 1;
    }
    return strings;
}

struct TRegistry::Impl {
    HKEY root = HKEY_CURRENT_USER;
    REGSAM access = KEY_ALL_ACCESS;
    // The open key: its hive's store (kept even if the registry directory changes meanwhile),
    // its id, the rights it was opened with and its path below the root.
    std::shared_ptr<HiveStore> store;
    KeyId key = kRootKeyId;
    REGSAM granted = 0;
    std::string path;
    mutable std::string lastError;

    // Where a key name leads: the store, the key it is relative to and the names below it.
    struct Target {
        std::shared_ptr<HiveStore> store;
        KeyId base = kRootKeyId;
        std::string basePath;
        bool relativeToOpenKey = false;
        std::vector<std::string_view> names;
    };

    bool Fail(const std::string& why) const {
        lastError = why;
        return false;
    }

    bool Resolve(std::string_view name, Target& target) const {
        if (!korva::registry::SplitKeyPath(name, target.names))
            return Fail(kBadKeyName);
        if (store && !(!name.empty() && name.front() == '\\')) {
            target.store = store;
            target.base = key;
            target.basePath = path;
            target.relativeToOpenKey = true;
            return true;
        }
        std::string error;
        target.store = HiveStore::Get(root, &error);
        if (!target.store)
            return Fail(error);
        return true;
    }

    // Follows the names from the base without creating anything.
    std::optional<StoredKey> Walk(const Target& target, std::string* walkedPath) const {
        // The base itself is looked up only when no name follows: a deleted key's sub-keys are
        // deleted with it and ids are never reused, so a child found below the base proves
        // that the base still exists. This saves a query per relative open.
        std::optional<StoredKey> current = StoredKey{target.base, {}, KeyAccess::Full};
        if (target.names.empty())
            current = target.store->FindKey(target.base);
        if (!current) {
            Fail(kKeyNotFound);
            return std::nullopt;
        }
        std::string walked = target.basePath;
        for (std::string_view name : target.names) {
            current = target.store->FindChild(current->id, name);
            if (!current) {
                Fail(kKeyNotFound);
                return std::nullopt;
            }
            walked = JoinPath(walked, current->name);
        }
        if (walkedPath)
            *walkedPath = std::move(walked);
        return current;
    }

    // Follows the names, creating missing keys, all in one write transaction.
    std::optional<StoredKey> WalkCreating(const Target& target, std::string* walkedPath) const {
        HiveStore& hive = *target.store;
        HiveStore::Transaction transaction(hive, HiveStore::Transaction::Write);
        if (!transaction.ok()) {
            Fail(hive.lastError());
            return std::nullopt;
        }
        std::optional<StoredKey> current = hive.FindKey(target.base);
        if (!current) {
            Fail(kKeyNotFound);
            return std::nullopt;
        }
        // The open key's handle needs the right to create below it; from the root, anyone may.
        const bool handleMayCreate =
            !target.relativeToOpenKey || (granted & KEY_CREATE_SUB_KEY) != 0;
        std::string walked = target.basePath;
        bool created = false;
        for (std::string_view name : target.names) {
            std::optional<StoredKey> child = hive.FindChild(current->id, name);
            if (!child) {
                if (current->access == KeyAccess::ReadOnly || (!created && !handleMayCreate)) {
                    Fail(kAccessDenied);
                    return std::nullopt;
                }
                child = hive.CreateChild(current->id, name);
                if (!child) {
                    Fail(hive.lastError());
                    return std::nullopt;
                }
                created = true;
            }
            current = std::move(child);
            walked = JoinPath(walked, current->name);
        }
        if (!transaction.Commit()) {
            Fail(hive.lastError());
            return std::nullopt;
        }
        if (walkedPath)
            *walkedPath = std::move(walked);
        return current;
    }

    bool Open(std::string_view name, bool canCreate, REGSAM wanted) {
        Target target;
        if (!Resolve(name, target))
            return false;
        std::string newPath;
        std::optional<StoredKey> found = Walk(target, &newPath);
        if (!found && canCreate)
            found = WalkCreating(target, &newPath);
        if (!found)
            return false;
        if (found->access == KeyAccess::ReadOnly && ((wanted & ~kViewBits) & ~KEY_READ) != 0)
            return Fail(kAccessDenied);
        store = std::move(target.store);
        key = found->id;
        granted = wanted;
        path = std::move(newPath);
        return true;
    }

    void Close() {
        store.reset();
        key = kRootKeyId;
        granted = 0;
        path.clear();
    }

    // The open key when the handle holds `right`.
    bool Check(REGSAM right) const {
        if (!store)
            return Fail(kNoOpenKey);
        if ((granted & right) != right)
            return Fail(kAccessDenied);
        return true;
    }

    // Runs `change` on the open key inside a write transaction, after making sure that the key
    // still exists and is not read-only.
    template <typename Change>
    bool ChangeOpenKey(Change change) {
        if (!Check(KEY_SET_VALUE))
            return false;
        HiveStore::Transaction transaction(*store, HiveStore::Transaction::Write);
        if (!transaction.ok())
            return Fail(store->lastError());
        const std::optional<StoredKey> current = store->FindKey(key);
        if (!current)
            return Fail(kKeyNotFound);
        if (current->access == KeyAccess::ReadOnly)
            return Fail(kAccessDenied);
        if (!change())
            return false;
        if (!transaction.Commit())
            return Fail(store->lastError());
        return true;
    }
};

TRegistry::TRegistry(REGSAM access) : impl_(std::make_unique<Impl>()) {
    impl_->access = access;
}

TRegistry::~TRegistry() = default;

HKEY TRegistry::RootKey() const {
    return impl_->root;
}

void TRegistry::SetRootKey(HKEY root) {
    impl_->Close();
    impl_->root = root;
}

REGSAM TRegistry::Access() const {
    return impl_->access;
}

void TRegistry::SetAccess(REGSAM access) {
    impl_->access = access;
}

bool TRegistry::RegistryConnect(std::string_view machine) {
    impl_->Close();
    std::string_view name = machine;
    if (name.substr(0, 2) == "\\\\")
        name.remove_prefix(2);
    if (name.empty() || IsThisComputer(name))
        return true;
    // Remote registries are not reachable yet; the handle stays on this computer's registry.
    return impl_->Fail("the registry of " + std::string(name) + " cannot be reached");
}

bool TRegistry::OpenKey(std::string_view key, bool canCreate) {
    return impl_->Open(key, canCreate, impl_->access);
}

bool TRegistry::OpenKeyReadOnly(std::string_view key) {
    return impl_->Open(key, false, KEY_READ);
}

void TRegistry::CloseKey() {
    impl_->Close();
}

bool TRegistry::HasOpenKey() const {
    return impl_->store != nullptr;
}

std::string TRegistry::CurrentPath() const {
    return impl_->path;
}

bool TRegistry::KeyExists(std::string_view key) const {
    Impl::Target target;
    return impl_->Resolve(key, target) && impl_->Walk(target, nullptr).has_value();
}

bool TRegistry::ValueExists(std::string_view name) const {
    if (!impl_->Check(KEY_QUERY_VALUE))
        return false;
    return impl_->store->GetValue(impl_->key, name).has_value() || impl_->Fail("value not found");
}

std::vector<std::string> TRegistry::GetKeyNames() const {
    if (!impl_->Check(KEY_ENUMERATE_SUB_KEYS))
        return {};
    return impl_->store->ChildNames(impl_->key);
}

std::vector<std::string> TRegistry::GetValueNames() const {
    if (!impl_->Check(KEY_QUERY_VALUE))
        return {};
    return impl_->store->ValueNames(impl_->key);
}

std::optional<std::string> TRegistry::ReadString(std::string_view name) const {
    std::optional<RegValue> value = ReadValue(name);
    if (!value)
        return std::nullopt;
    if (value->type != REG_SZ && value->type != REG_EXPAND_SZ) {
        impl_->Fail("value is not a string");
        return std::nullopt;
    }
    return std::move(value->text);
}

std::optional<RegValue> TRegistry::ReadValue(std::string_view name) const {
    if (!impl_->Check(KEY_QUERY_VALUE))
        return std::nullopt;
    const std::optional<korva::registry::StoredValue> stored =
        impl_->store->GetValue(impl_->key, name);
    if (!stored) {
        impl_->Fail("value not found");
        return std::nullopt;
    }
    return korva::registry::DecodeValue(stored->type, stored->data);
}

bool TRegistry::WriteString(std::string_view name, std::string_view text) {
    RegValue value;
    value.type = REG_SZ;
    value.text = text;
    return WriteValue(name, value);
}

bool TRegistry::WriteInteger(std::string_view name, uint32_t number) {
    RegValue value;
    value.type = REG_DWORD;
    value.number = number;
    return WriteValue(name, value);
}

bool TRegistry::WriteValue(std::string_view name, const RegValue& value) {
    if (name.find('\0') != std::string_view::npos)
        return impl_->Fail("invalid value name");
    const std::optional<std::vector<uint8_t>> data = korva::registry::EncodeValue(value);
    if (!data)
        return impl_->Fail("number too large for REG_DWORD");
    return impl_->ChangeOpenKey([&] {
        return impl_->store->PutValue(impl_->key, name, value.type, *data) ||
               impl_->Fail(impl_->store->lastError());
    });
}

bool TRegistry::DeleteValue(std::string_view name) {
    return impl_->ChangeOpenKey([&] {
        const std::optional<bool> removed = impl_->store->RemoveValue(impl_->key, name);
        if (!removed)
            return impl_->Fail(impl_->store->lastError());
        return *removed || impl_->Fail("value not found");
    });
}

bool TRegistry::DeleteKey(std::string_view key) {
    Impl::Target target;
    if (!impl_->Resolve(key, target))
        return false;
    if (target.names.empty())
        return impl_->Fail("no key named to delete");
    HiveStore& hive = *target.store;
    HiveStore::Transaction transaction(hive, HiveStore::Transaction::Write);
    if (!transaction.ok())
        return impl_->Fail(hive.lastError());
    const std::optional<StoredKey> found = impl_->Walk(target, nullptr);
    if (!found)
        return false;
    const std::optional<bool> readOnly = hive.TreeHasReadOnlyKey(found->id);
    if (!readOnly)
        return impl_->Fail(hive.lastError());
    if (*readOnly)
        return impl_->Fail(kAccessDenied);
    if (!hive.DeleteTree(found->id) || !transaction.Commit())
        return impl_->Fail(hive.lastError());
    return true;
}

bool TRegistry::CreateKey(std::string_view key) {
    Impl::Target target;
    if (!impl_->Resolve(key, target))
        return false;
    return impl_->Walk(target, nullptr).has_value() ||
           impl_->WalkCreating(target, nullptr).has_value();
}

bool TRegistry::SetKeyAccess(std::string_view key, KeyAccess access) {
    Impl::Target target;
    if (!impl_->Resolve(key, target))
        return false;
    const std::optional<StoredKey> found = impl_->Walk(target, nullptr);
    if (!found)
        return false;
    return target.store->SetAccess(found->id, access) || impl_->Fail(target.store->lastError());
}

std::optional<KeyAccess> TRegistry::GetKeyAccess(std::string_view key) const {
    Impl::Target target;
    if (!impl_->Resolve(key, target))
        return std::nullopt;
    const std::optional<StoredKey> found = impl_->Walk(target, nullptr);
    if (!found)
        return std::nullopt;
    return found->access;
}

const std::string& TRegistry::LastError() const {
    return impl_->lastError;
}
