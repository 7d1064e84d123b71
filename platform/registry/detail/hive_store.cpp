#include "platform/registry/detail/hive_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/registry/detail/key_name.h"

namespace korva::registry {
namespace {

constexpr int kSchemaVersion = 1;

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS keys(
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    parent INTEGER NOT NULL,
    name TEXT NOT NULL,
    folded TEXT NOT NULL,
    access INTEGER NOT NULL DEFAULT 0);
CREATE UNIQUE INDEX IF NOT EXISTS keys_by_parent ON keys(parent, folded);
CREATE TABLE IF NOT EXISTS vals(
    key INTEGER NOT NULL,
    name TEXT NOT NULL,
    folded TEXT NOT NULL,
    type INTEGER NOT NULL,
    data BLOB NOT NULL,
    PRIMARY KEY(key, folded)) WITHOUT ROWID;
)sql";

// The ids of a key and everything below it.
#define KORVA_SUBTREE                                                \
    "WITH RECURSIVE sub(id) AS (SELECT ?1 UNION ALL SELECT keys.id " \
    "FROM keys JOIN sub ON keys.parent = sub.id) "

// Resets a statement when a use of it ends, whichever way.
class Use {
  public:
    explicit Use(sqlite3_stmt* statement) : statement_(statement) {}
    ~Use() {
        sqlite3_reset(statement_);
        sqlite3_clear_bindings(statement_);
    }
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;
    sqlite3_stmt* operator*() const { return statement_; }

  private:
    sqlite3_stmt* statement_;
};

void BindText(sqlite3_stmt* statement, int index, std::string_view text) {
    sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
}

std::string ColumnText(sqlite3_stmt* statement, int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return text ? std::string(text, static_cast<size_t>(sqlite3_column_bytes(statement, column)))
                : std::string();
}

std::vector<uint8_t> ColumnBlob(sqlite3_stmt* statement, int column) {
    const auto* data = static_cast<const uint8_t*>(sqlite3_column_blob(statement, column));
    const int size = sqlite3_column_bytes(statement, column);
    return data ? std::vector<uint8_t>(data, data + size) : std::vector<uint8_t>();
}

KeyAccess AccessFromColumn(sqlite3_stmt* statement, int column) {
    return sqlite3_column_int(statement, column) == 0 ? KeyAccess::Full : KeyAccess::ReadOnly;
}

StoredKey KeyFromRow(sqlite3_stmt* statement) {
    return {sqlite3_column_int64(statement, 0), ColumnText(statement, 1),
            AccessFromColumn(statement, 2)};
}

StoredValue ValueFromRow(sqlite3_stmt* statement) {
    return {ColumnText(statement, 0), static_cast<DWORD>(sqlite3_column_int64(statement, 1)),
            ColumnBlob(statement, 2)};
}

// Creates the directory and any missing parents with mode 0700.
bool MakeDirectories(const std::string& path, std::string* error) {
    for (size_t at = 1; at <= path.size(); ++at) {
        if (at != path.size() && path[at] != '/')
            continue;
        const std::string part = path.substr(0, at);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            if (error)
                *error = "cannot create the registry directory " + part + ": " + strerror(errno);
            return false;
        }
    }
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        if (error)
            *error = "the registry directory " + path + " is not a directory";
        return false;
    }
    return true;
}

// Runs a listing query bound to one key id and appends one entry per row; false when a step fails.
template <class Entry, class ReadRow>
bool CollectRows(sqlite3_stmt* statement, int64_t id, std::vector<Entry>& entries, ReadRow readRow) {
    Use use(statement);
    sqlite3_bind_int64(*use, 1, id);
    int step;
    while ((step = sqlite3_step(*use)) == SQLITE_ROW)
        entries.push_back(readRow(*use));
    return step == SQLITE_DONE;
}

}  // namespace

struct HiveStore::Statements {
    sqlite3_stmt* findChild = nullptr;
    sqlite3_stmt* findKey = nullptr;
    sqlite3_stmt* insertChild = nullptr;
    sqlite3_stmt* children = nullptr;
    sqlite3_stmt* treeReadOnly = nullptr;
    sqlite3_stmt* deleteTreeValues = nullptr;
    sqlite3_stmt* deleteTreeKeys = nullptr;
    sqlite3_stmt* setAccess = nullptr;
    sqlite3_stmt* getValue = nullptr;
    sqlite3_stmt* values = nullptr;
    sqlite3_stmt* valueNames = nullptr;
    sqlite3_stmt* putValue = nullptr;
    sqlite3_stmt* removeValue = nullptr;
    sqlite3_stmt* removeAllValues = nullptr;

    std::vector<sqlite3_stmt**> all() {
        return {&findChild,        &findKey,        &insertChild, &children,       &treeReadOnly,
                &deleteTreeValues, &deleteTreeKeys, &setAccess,   &getValue,       &values,
                &valueNames,       &putValue,       &removeValue, &removeAllValues};
    }
    ~Statements() {
        for (sqlite3_stmt** statement : all())
            sqlite3_finalize(*statement);
    }
};

// The process's connections, one per hive. Never destroyed, so a registry call from a static
// destructor anywhere stays safe; the connections themselves are released at exit.
class HiveCache {
  public:
    static HiveCache& Instance() {
        static HiveCache* cache = [] {
            auto* created = new HiveCache;
            std::atexit([] { HiveCache::Instance().Release(); });
            return created;
        }();
        return *cache;
    }

    std::shared_ptr<HiveStore> Get(HKEY root, std::string* error) {
        const std::string directory = RegistryDirectory();
        if (directory.empty()) {
            if (error)
                *error = "no registry directory (HOME is not set)";
            return nullptr;
        }
        const std::string file = directory + "/" + RootKeyName(root) + ".db";
        const pid_t pid = getpid();
        std::lock_guard lock(mutex_);
        std::shared_ptr<HiveStore>& slot = slots_[root == HKEY_CLASSES_ROOT ? 0 : 1];
        if (slot && slot->pid_ == pid && slot->directory_ == directory) {
            struct stat info {};
            if (stat(file.c_str(), &info) == 0 && info.st_dev == slot->device_ &&
                info.st_ino == slot->inode_)
                return slot;
        }
        // A connection inherited through fork belongs to the parent: closing it here could
        // disturb the parent's locks, so it is left alone for the rest of this process.
        if (slot && slot->pid_ != pid)
            new std::shared_ptr<HiveStore>(std::move(slot));
        slot.reset();
        if (!MakeDirectories(directory, error))
            return nullptr;
        std::shared_ptr<HiveStore> store(new HiveStore(root, directory, file));
        if (!store->Open(error))
            return nullptr;
        slot = store;
        return store;
    }

  private:
    void Release() {
        std::lock_guard lock(mutex_);
        for (std::shared_ptr<HiveStore>& slot : slots_) {
            if (slot && slot->pid_ != getpid())
                new std::shared_ptr<HiveStore>(std::move(slot));
            slot.reset();
        }
    }

    std::mutex mutex_;
    std::shared_ptr<HiveStore> slots_[2];
};

std::shared_ptr<HiveStore> HiveStore::Get(HKEY root, std::string* error) {
    return HiveCache::Instance().Get(root, error);
}

HiveStore::HiveStore(HKEY root, std::string directory, std::string file)
    : root_(root), directory_(std::move(directory)), file_(std::move(file)), pid_(getpid()) {}

HiveStore::~HiveStore() {
    statements_.reset();
    if (db_)
        sqlite3_close_v2(db_);
}

bool HiveStore::Open(std::string* error) {
    const auto fail = [&](const std::string& what) {
        if (error)
            *error = what + " " + file_ + ": " + (db_ ? sqlite3_errmsg(db_) : "out of memory");
        return false;
    };
    // The store serialises its own use with its lock, so SQLite's per-connection mutex is not
    // needed.
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    // The hive is created here with mode 0600 (the umask may narrow it further); SQLite gives
    // its WAL and shared-memory files the mode of the database file. Changing the umask
    // instead would affect every thread of the process.
    const int created = open(file_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (created < 0) {
        if (error)
            *error = "cannot open the hive " + file_ + ": " + strerror(errno);
        return false;
    }
    close(created);
    const int opened = sqlite3_open_v2(file_.c_str(), &db_, flags, nullptr);
    if (opened != SQLITE_OK)
        return fail("cannot open the hive");
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    sqlite3_extended_result_codes(db_, 1);

    // Switching to WAL needs a moment of exclusive access; another process opening the new hive
    // at the same time may hold it, and the busy handler is not consulted for every such case.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
    while (true) {
        sqlite3_stmt* mode = nullptr;
        int step = sqlite3_prepare_v2(db_, "PRAGMA journal_mode=WAL", -1, &mode, nullptr);
        if (step == SQLITE_OK)
            step = sqlite3_step(mode);
        const bool wal =
            step == SQLITE_ROW &&
            strcmp(reinterpret_cast<const char*>(sqlite3_column_text(mode, 0)), "wal") == 0;
        sqlite3_finalize(mode);
        if (wal)
            break;
        const bool busy = (step & 0xFF) == SQLITE_BUSY || (step & 0xFF) == SQLITE_LOCKED;
        if (!busy || std::chrono::steady_clock::now() > deadline)
            return fail("cannot switch to WAL mode in");
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (!Exec("PRAGMA synchronous=NORMAL"))
        return fail("cannot set up the hive");

    // The schema is created once, under the write lock, whichever process comes first.
    if (!Exec("BEGIN IMMEDIATE"))
        return fail("cannot lock the hive");
    sqlite3_stmt* version = nullptr;
    int current = 0;
    if (sqlite3_prepare_v2(db_, "PRAGMA user_version", -1, &version, nullptr) == SQLITE_OK &&
        sqlite3_step(version) == SQLITE_ROW)
        current = sqlite3_column_int(version, 0);
    sqlite3_finalize(version);
    if (current > kSchemaVersion) {
        Exec("ROLLBACK");
        if (error)
            *error = "the hive " + file_ + " was written by a newer version";
        return false;
    }
    if (current < kSchemaVersion &&
        (!Exec(kSchema) ||
         !Exec(("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str()))) {
        std::string failure = sqlite3_errmsg(db_);
        Exec("ROLLBACK");
        if (error)
            *error = "cannot create the hive " + file_ + ": " + failure;
        return false;
    }
    if (!Exec("COMMIT"))
        return fail("cannot create the hive");

    statements_ = std::make_unique<Statements>();
    struct Source {
        sqlite3_stmt** statement;
        const char* sql;
    };
    Statements& s = *statements_;
    const Source sources[] = {
        {&s.findChild, "SELECT id, name, access FROM keys WHERE parent = ?1 AND folded = ?2"},
        {&s.findKey, "SELECT id, name, access FROM keys WHERE id = ?1"},
        {&s.insertChild,
         "INSERT INTO keys(parent, name, folded, access) VALUES(?1, ?2, ?3, 0) "
         "ON CONFLICT(parent, folded) DO NOTHING"},
        {&s.children, "SELECT id, name, access FROM keys WHERE parent = ?1 ORDER BY folded"},
        {&s.treeReadOnly,
         KORVA_SUBTREE "SELECT EXISTS(SELECT 1 FROM keys WHERE id IN sub AND access <> 0)"},
        {&s.deleteTreeValues, KORVA_SUBTREE "DELETE FROM vals WHERE key IN sub"},
        {&s.deleteTreeKeys, KORVA_SUBTREE "DELETE FROM keys WHERE id IN sub"},
        {&s.setAccess, "UPDATE keys SET access = ?2 WHERE id = ?1"},
        {&s.getValue, "SELECT name, type, data FROM vals WHERE key = ?1 AND folded = ?2"},
        {&s.values, "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY folded"},
        {&s.valueNames, "SELECT name FROM vals WHERE key = ?1 ORDER BY folded"},
        {&s.putValue,
         "INSERT INTO vals(key, name, folded, type, data) VALUES(?1, ?2, ?3, ?4, ?5) "
         "ON CONFLICT(key, folded) DO UPDATE SET type = excluded.type, data = excluded.data"},
        {&s.removeValue, "DELETE FROM vals WHERE key = ?1 AND folded = ?2"},
        {&s.removeAllValues, "DELETE FROM vals WHERE key = ?1"},
    };
    for (const Source& source : sources)
        if (sqlite3_prepare_v3(db_, source.sql, -1, SQLITE_PREPARE_PERSISTENT, source.statement,
                               nullptr) != SQLITE_OK)
            return fail("cannot prepare the statements of the hive");

    struct stat info {};
    if (stat(file_.c_str(), &info) != 0)
        return fail("cannot find the hive");
    device_ = info.st_dev;
    inode_ = info.st_ino;
    return true;
}

bool HiveStore::Exec(const char* sql) {
    return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool HiveStore::Fail(const char* what) {
    SetError(std::string(what) + ": " + sqlite3_errmsg(db_));
    return false;
}

void HiveStore::SetError(std::string text) {
    std::lock_guard lock(mutex_);
    lastError_ = std::move(text);
    ++failures_;
}

uint64_t HiveStore::failureCount() const {
    std::lock_guard lock(mutex_);
    return failures_;
}

std::string HiveStore::lastError() const {
    std::lock_guard lock(mutex_);
    return lastError_;
}

HiveStore::Transaction::Transaction(HiveStore& store, Kind kind)
    : store_(store), lock_(store.mutex_) {
    depth_ = store_.depth_;
    const std::string savepoint = "SAVEPOINT s" + std::to_string(depth_);
    const char* sql = depth_ > 0 ? savepoint.c_str() : kind == Write ? "BEGIN IMMEDIATE" : "BEGIN";
    ok_ = store_.Exec(sql);
    if (ok_)
        ++store_.depth_;
    else
        store_.Fail("cannot begin a transaction");
}

bool HiveStore::Transaction::Commit() {
    if (!ok_ || done_)
        return false;
    const std::string release = "RELEASE s" + std::to_string(depth_);
    if (!store_.Exec(depth_ > 0 ? release.c_str() : "COMMIT")) {
        store_.Fail("cannot commit");
        return false;
    }
    done_ = true;
    --store_.depth_;
    return true;
}

HiveStore::Transaction::~Transaction() {
    if (!ok_ || done_)
        return;
    if (depth_ > 0) {
        const std::string rollback =
            "ROLLBACK TO s" + std::to_string(depth_) + "; RELEASE s" + std::to_string(depth_);
        store_.Exec(rollback.c_str());
    } else {
        store_.Exec("ROLLBACK");
    }
    --store_.depth_;
}

std::optional<StoredKey> HiveStore::FindChild(KeyId parent, std::string_view name) {
    const std::string folded = FoldName(name);
    std::lock_guard lock(mutex_);
    Use use(statements_->findChild);
    sqlite3_bind_int64(*use, 1, parent);
    BindText(*use, 2, folded);
    const int step = sqlite3_step(*use);
    if (step == SQLITE_ROW)
        return KeyFromRow(*use);
    if (step != SQLITE_DONE)
        Fail("cannot read a key");
    return std::nullopt;
}

std::optional<StoredKey> HiveStore::FindKey(KeyId id) {
    if (id == kRootKeyId)
        return StoredKey{};
    std::lock_guard lock(mutex_);
    Use use(statements_->findKey);
    sqlite3_bind_int64(*use, 1, id);
    const int step = sqlite3_step(*use);
    if (step == SQLITE_ROW)
        return KeyFromRow(*use);
    if (step != SQLITE_DONE)
        Fail("cannot read a key");
    return std::nullopt;
}

std::optional<StoredKey> HiveStore::CreateChild(KeyId parent, std::string_view name) {
    const std::string folded = FoldName(name);
    std::lock_guard lock(mutex_);
    {
        Use use(statements_->insertChild);
        sqlite3_bind_int64(*use, 1, parent);
        BindText(*use, 2, name);
        BindText(*use, 3, folded);
        if (sqlite3_step(*use) != SQLITE_DONE) {
            Fail("cannot create a key");
            return std::nullopt;
        }
    }
    return FindChild(parent, name);
}

std::vector<StoredKey> HiveStore::Children(KeyId parent) {
    std::vector<StoredKey> children;
    std::lock_guard lock(mutex_);
    if (!CollectRows(statements_->children, parent, children,
                     [](sqlite3_stmt* row) { return KeyFromRow(row); }))
        Fail("cannot list the sub-keys");
    return children;
}

std::vector<std::string> HiveStore::ChildNames(KeyId parent) {
    std::vector<std::string> names;
    std::lock_guard lock(mutex_);
    if (!CollectRows(statements_->children, parent, names,
                     [](sqlite3_stmt* row) { return ColumnText(row, 1); }))
        Fail("cannot list the sub-keys");
    return names;
}

std::optional<bool> HiveStore::TreeHasReadOnlyKey(KeyId id) {
    std::lock_guard lock(mutex_);
    Use use(statements_->treeReadOnly);
    sqlite3_bind_int64(*use, 1, id);
    if (sqlite3_step(*use) != SQLITE_ROW) {
        Fail("cannot read the key tree");
        return std::nullopt;
    }
    return sqlite3_column_int(*use, 0) != 0;
}

bool HiveStore::DeleteTree(KeyId id) {
    if (id == kRootKeyId) {
        SetError("the root key cannot be deleted");
        return false;
    }
    Transaction transaction(*this, Transaction::Write);
    if (!transaction.ok())
        return false;
    for (sqlite3_stmt* statement : {statements_->deleteTreeValues, statements_->deleteTreeKeys}) {
        Use use(statement);
        sqlite3_bind_int64(*use, 1, id);
        if (sqlite3_step(*use) != SQLITE_DONE)
            return Fail("cannot delete a key");
    }
    return transaction.Commit();
}

bool HiveStore::SetAccess(KeyId id, KeyAccess access) {
    if (id == kRootKeyId) {
        SetError("the root key's rights cannot be changed");
        return false;
    }
    std::lock_guard lock(mutex_);
    Use use(statements_->setAccess);
    sqlite3_bind_int64(*use, 1, id);
    sqlite3_bind_int(*use, 2, access == KeyAccess::Full ? 0 : 1);
    if (sqlite3_step(*use) != SQLITE_DONE)
        return Fail("cannot set a key's rights");
    if (sqlite3_changes(db_) == 0) {
        SetError("the key no longer exists");
        return false;
    }
    return true;
}

std::optional<StoredValue> HiveStore::GetValue(KeyId key, std::string_view name) {
    const std::string folded = FoldName(name);
    std::lock_guard lock(mutex_);
    Use use(statements_->getValue);
    sqlite3_bind_int64(*use, 1, key);
    BindText(*use, 2, folded);
    const int step = sqlite3_step(*use);
    if (step == SQLITE_ROW)
        return ValueFromRow(*use);
    if (step != SQLITE_DONE)
        Fail("cannot read a value");
    return std::nullopt;
}

std::vector<StoredValue> HiveStore::Values(KeyId key) {
    std::vector<StoredValue> values;
    std::lock_guard lock(mutex_);
    if (!CollectRows(statements_->values, key, values,
                     [](sqlite3_stmt* row) { return ValueFromRow(row); }))
        Fail("cannot list the values");
    return values;
}

std::vector<std::string> HiveStore::ValueNames(KeyId key) {
    std::vector<std::string> names;
    std::lock_guard lock(mutex_);
    if (!CollectRows(statements_->valueNames, key, names,
                     [](sqlite3_stmt* row) { return ColumnText(row, 0); }))
        Fail("cannot list the values");
    return names;
}

bool HiveStore::PutValue(KeyId key, std::string_view name, DWORD type,
                         const std::vector<uint8_t>& data) {
    const std::string folded = FoldName(name);
    std::lock_guard lock(mutex_);
    Use use(statements_->putValue);
    sqlite3_bind_int64(*use, 1, key);
    BindText(*use, 2, name);
    BindText(*use, 3, folded);
    sqlite3_bind_int64(*use, 4, type);
    // An empty vector may have no storage; a zero-length blob still needs a pointer.
    static const uint8_t kEmpty = 0;
    sqlite3_bind_blob(*use, 5, data.empty() ? &kEmpty : data.data(), static_cast<int>(data.size()),
                      SQLITE_STATIC);
    if (sqlite3_step(*use) != SQLITE_DONE)
        return Fail("cannot write a value");
    return true;
}

std::optional<bool> HiveStore::RemoveValue(KeyId key, std::string_view name) {
    const std::string folded = FoldName(name);
    std::lock_guard lock(mutex_);
    Use use(statements_->removeValue);
    sqlite3_bind_int64(*use, 1, key);
    BindText(*use, 2, folded);
    if (sqlite3_step(*use) != SQLITE_DONE) {
        Fail("cannot delete a value");
        return std::nullopt;
    }
    return sqlite3_changes(db_) > 0;
}

bool HiveStore::RemoveAllValues(KeyId key) {
    std::lock_guard lock(mutex_);
    Use use(statements_->removeAllValues);
    sqlite3_bind_int64(*use, 1, key);
    if (sqlite3_step(*use) != SQLITE_DONE)
        return Fail("cannot delete the values");
    return true;
}

}  // namespace korva::registry
