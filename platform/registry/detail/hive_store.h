// Storage of one hive in an SQLite database: keys (id, parent, name, folded name, access) and
// typed values (key, name, folded name, type, data). Internal to the registry library.
#pragma once

#include <sqlite3.h>
#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/registry.h"

namespace korva::registry {

using KeyId = int64_t;
// The hive's root key; it has no row, is never read-only and cannot be deleted.
constexpr KeyId kRootKeyId = 0;

struct StoredKey {
    KeyId id = kRootKeyId;
    std::string name;
    KeyAccess access = KeyAccess::Full;
};

struct StoredValue {
    std::string name;
    DWORD type = REG_NONE;
    std::vector<uint8_t> data;
};

// One connection to one hive. The process keeps one per hive and reuses it while the registry
// directory stays the same (see Get); every member takes the store's own lock, so one store may
// be used from several threads. Statements are prepared once per connection.
class HiveStore {
  public:
    // The store of `root` in the current registry directory. The directory is read from the
    // environment on every call; the cached connection is replaced when the directory, the
    // database file or the process (after fork) changed. Null with `error` set on failure.
    static std::shared_ptr<HiveStore> Get(HKEY root, std::string* error = nullptr);

    ~HiveStore();
    HiveStore(const HiveStore&) = delete;
    HiveStore& operator=(const HiveStore&) = delete;

    HKEY root() const { return root_; }
    // The last failure's description (SQLite's message or the refused operation), and the
    // number of failures so far: members that answer lists answer what they could read, and a
    // caller that must know compares the count before and after.
    std::string lastError() const;
    uint64_t failureCount() const;

    // A transaction; nested ones become savepoints. A write transaction takes the database's
    // write lock at once (waiting for other processes up to the busy timeout), so a transaction
    // never fails half way for lack of the lock. Holds the store's lock for its lifetime. Rolls
    // back unless committed.
    class Transaction {
      public:
        enum Kind { Read, Write };
        Transaction(HiveStore& store, Kind kind);
        ~Transaction();
        Transaction(const Transaction&) = delete;
        Transaction& operator=(const Transaction&) = delete;
        bool ok() const { return ok_; }
        bool Commit();

      private:
        HiveStore& store_;
        std::unique_lock<std::recursive_mutex> lock_;
        bool ok_ = false;
        bool done_ = false;
        int depth_ = 0;
    };

    // The child `name` of `parent`, found without regard to case.
    std::optional<StoredKey> FindChild(KeyId parent, std::string_view name);
    // The key `id` when it (still) exists; the root always does.
    std::optional<StoredKey> FindKey(KeyId id);
    // The existing child or a new one (full access); nothing when the store fails.
    std::optional<StoredKey> CreateChild(KeyId parent, std::string_view name);
    // Children in the order of their folded names.
    std::vector<StoredKey> Children(KeyId parent);
    std::vector<std::string> ChildNames(KeyId parent);
    // Whether `id` or a key below it is read-only.
    std::optional<bool> TreeHasReadOnlyKey(KeyId id);
    // Deletes `id` with everything below it.
    bool DeleteTree(KeyId id);
    bool SetAccess(KeyId id, KeyAccess access);

    std::optional<StoredValue> GetValue(KeyId key, std::string_view name);
    // Values in the order of their folded names (the default value "" first).
    std::vector<StoredValue> Values(KeyId key);
    std::vector<std::string> ValueNames(KeyId key);
    // Inserts or replaces; an existing value keeps the letter case of its name.
    bool PutValue(KeyId key, std::string_view name, DWORD type, const std::vector<uint8_t>& data);
    // Whether the value existed; nothing when the store fails.
    std::optional<bool> RemoveValue(KeyId key, std::string_view name);
    bool RemoveAllValues(KeyId key);

  private:
    struct Statements;
    HiveStore(HKEY root, std::string directory, std::string file);
    bool Open(std::string* error);
    bool Exec(const char* sql);
    bool Fail(const char* what);
    void SetError(std::string text);

    HKEY root_;
    std::string directory_;
    std::string file_;
    dev_t device_ = 0;
    ino_t inode_ = 0;
    pid_t pid_ = 0;
    sqlite3* db_ = nullptr;
    std::unique_ptr<Statements> statements_;
    mutable std::recursive_mutex mutex_;
    int depth_ = 0;
    std::string lastError_;
    uint64_t failures_ = 0;

    friend class HiveCache;
};

// How long a statement waits for another process's write lock before it fails.
constexpr int kBusyTimeoutMs = 30000;

}  // namespace korva::registry
