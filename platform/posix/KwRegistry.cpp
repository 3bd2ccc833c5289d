// The registry: trees of keys under the predefined roots, persisted to one text
// file shared by every process of the user. Each change takes an exclusive
// advisory lock, brings the tree up to the file's content, applies itself,
// writes a temporary file and renames it over the original, so concurrent
// writers lose nothing and a crash never leaves a half-written file. A batch
// holds the lock across several calls and writes their changes at its end, so
// that a process killed in the middle of a registration leaves none of it
// behind. A batch belongs to the thread that began it and works on its own copy
// of the tree: other threads' writes wait at the file lock for its end, as other
// processes do, so that they are neither held in it nor undone with it; their
// reads go on and see what is committed. No wait for the lock lasts longer than
// LockWaitLimitSeconds, and a thread that ends inside its batch undoes it as it
// ends.
// Volatile keys live only in this process.
// Readers take no lock: a writer replaces the file whole by a rename, so a
// reader sees the old file or the new one, and the file is read again only when
// it has changed. A registry this process cannot write (a system-wide one) is
// still read, and its volatile keys still made; its persistent keys refuse
// writing with ERROR_ACCESS_DENIED, as Windows' do, and nothing is made beside
// it. A damaged file (a line that does not parse) is read for what does parse
// and never written, so that what it holds can still be mended by hand.
#include "KwPosixInternal.h"
#include "KwRegistryModel.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <set>

using kwposix::RegFold;
using kwposix::RegKey;
using kwposix::RegTree;
using kwposix::RegValue;

// An open key: the root and the path from it, by name. A key deleted through
// this process marks its handles deleted; one deleted by another process is
// noticed when its path no longer resolves.
struct HKEY__ {
    int Root;
    std::vector<std::string> Path;
    bool Deleted;
};

namespace {

constexpr size_t MaxKeyNameLength = 255;
constexpr size_t MaxValueNameLength = 16383;
// Windows' bound on the depth of a key below its root; the file reader drops deeper headers.
constexpr size_t MaxKeyDepth = 512;
// The largest registry file read or written: far above what registrations
// make, and low enough that a damaged or hostile file cannot exhaust memory.
constexpr off_t MaxFileSize = 64 << 20;
// The longest wait for the writers' lock (another thread's batch, another
// process's change); then the call fails with ERROR_TIMEOUT instead of hanging.
constexpr int LockWaitLimitSeconds = 30;
// Links followed from the registry file's name to the file written.
constexpr int MaxLinks = 40;
// Ends the name of a temporary file beside the registry; a random suffix follows.
const char TempSuffix[] = ".tmp-";
// The access rights that let a key be changed.
constexpr REGSAM KeyCreateLink = 0x0020;
constexpr REGSAM DeleteAccess = 0x00010000, WriteDacAccess = 0x00040000, WriteOwnerAccess = 0x00080000;
constexpr REGSAM WritingAccess =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KeyCreateLink | DeleteAccess | WriteDacAccess | WriteOwnerAccess;

// The state is never destroyed: libraries finalised after this one may still
// use the registry while the process exits.
std::mutex g_mutex; // guards everything below
std::set<HKEY>& g_handles = *new std::set<HKEY>;
std::unique_ptr<RegTree>& g_tree = *new std::unique_ptr<RegTree>;
std::string& g_loadedPath = *new std::string;
struct FileIdentity {
    bool Exists = false;
    dev_t Dev = 0;
    ino_t Ino = 0;
    off_t Size = 0;
    long long MtimeNs = 0;
    bool operator==(const FileIdentity& o) const
    {
        return Exists == o.Exists && Dev == o.Dev && Ino == o.Ino && Size == o.Size && MtimeNs == o.MtimeNs;
    }
};
FileIdentity g_loadedIdentity;
bool g_cacheValid = false;
// The first line of the loaded file that did not parse; 0 when it is sound.
size_t g_damagedLine = 0;
// The open batch: the token of the thread that owns it, the file lock it holds,
// its own copy of the tree, the file it was read from, whether it has changes
// to write, whether one of them failed, and whether an inner batch ended
// without committing (then the whole batch is undone).
unsigned long long g_batchOwner = 0;
int g_batchDepth = 0;
int g_batchLockFd = -1;
std::unique_ptr<RegTree>& g_batchTree = *new std::unique_ptr<RegTree>;
FileIdentity g_batchBase;
bool g_batchDirty = false;
bool g_batchFailed = false;
bool g_batchRolledBack = false;
// Handles marked deleted by changes not yet on disk: a change that is undone gives them back.
std::vector<HKEY>& g_pendingDeletions = *new std::vector<HKEY>;

std::string DefaultRegistryPath()
{
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') return std::string(xdg) + "/kwplatform/registry.reg";
    const char* home = std::getenv("HOME");
    std::string homeDir = home && home[0] ? home : "";
    if (homeDir.empty()) {
        if (struct passwd* pw = getpwuid(getuid())) homeDir = pw->pw_dir ? pw->pw_dir : "";
    }
    if (homeDir.empty()) return "/tmp/kwplatform-" + std::to_string(getuid()) + "/registry.reg";
    return homeDir + "/.config/kwplatform/registry.reg";
}

std::string CurrentRegistryPath()
{
    const char* env = std::getenv("KWPLATFORM_REGISTRY");
    if (env && env[0]) return env;
    return DefaultRegistryPath();
}

FileIdentity IdentityOf(const struct stat& st)
{
    FileIdentity id;
    id.Exists = true;
    id.Dev = st.st_dev;
    id.Ino = st.st_ino;
    id.Size = st.st_size;
    id.MtimeNs = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    return id;
}

FileIdentity Identify(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? IdentityOf(st) : FileIdentity();
}

// The file's text (none when there is no file) and the identity of the file
// read: ERROR_CANTREAD when it cannot be read, ERROR_FILE_TOO_LARGE past MaxFileSize.
LSTATUS ReadFile(const std::string& path, std::string& text, FileIdentity& id)
{
    text.clear();
    id = FileIdentity();
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? ERROR_SUCCESS : ERROR_CANTREAD;
    struct stat st;
    LSTATUS status = fstat(fd, &st) == 0 ? ERROR_SUCCESS : ERROR_CANTREAD;
    if (status == ERROR_SUCCESS) id = IdentityOf(st);
    if (status == ERROR_SUCCESS && st.st_size > MaxFileSize) status = ERROR_FILE_TOO_LARGE;
    if (status == ERROR_SUCCESS) text.reserve(static_cast<size_t>(st.st_size));
    char buffer[65536];
    while (status == ERROR_SUCCESS) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno != EINTR) status = ERROR_CANTREAD;
            continue;
        }
        if (n == 0) break;
        // The file may grow while it is read.
        if (static_cast<size_t>(n) > static_cast<size_t>(MaxFileSize) - text.size()) status = ERROR_FILE_TOO_LARGE;
        else text.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    if (status != ERROR_SUCCESS) text.clear();
    return status;
}

// Moves this process's volatile subtrees from `from` into `to`, where their
// parents still exist and no persistent key has taken their name.
void GraftVolatile(RegKey& from, RegKey& to)
{
    for (auto& child : from.Children) {
        if (!child.second) continue;
        auto it = to.Children.find(child.first);
        if (child.second->IsVolatile) {
            if (it == to.Children.end()) to.Children[child.first] = std::move(child.second);
        } else if (it != to.Children.end()) {
            GraftVolatile(*child.second, *it->second);
        }
    }
}

// HKLM\Software belongs to the system, as on Windows: it always exists and
// nothing deletes it, so a removal that empties it keeps the key itself.
bool IsSystemKey(int root, const std::vector<std::string>& path)
{
    return root == kwposix::RootLocalMachine && path.size() == 1 && RegFold(path[0]) == "SOFTWARE";
}

void AddSystemKeys(RegTree& tree)
{
    RegKey& machine = tree.Roots[kwposix::RootLocalMachine];
    if (machine.Child("Software")) return;
    std::unique_ptr<RegKey> software(new RegKey);
    software->Name = "Software";
    machine.Children[RegFold(software->Name)] = std::move(software);
}

// Makes g_tree the current file content (plus volatile keys). The file is read
// only when it is not the one last read: writers replace it by a new file with
// a later time, so its inode, size and time tell. Caller holds g_mutex.
LSTATUS Load()
{
    const std::string path = CurrentRegistryPath();
    if (g_cacheValid && g_tree && path == g_loadedPath && Identify(path) == g_loadedIdentity) return ERROR_SUCCESS;
    g_cacheValid = false;
    std::unique_ptr<RegTree> tree(new RegTree);
    FileIdentity id;
    size_t damagedLine;
    {
        std::string text;
        const LSTATUS status = ReadFile(path, text, id);
        if (status != ERROR_SUCCESS) return status;
        damagedLine = kwposix::RegParse(text, *tree);
    }
    AddSystemKeys(*tree);
    if (g_tree)
        for (int r = 0; r < kwposix::RootCount; ++r) GraftVolatile(g_tree->Roots[r], tree->Roots[r]);
    g_tree = std::move(tree);
    g_loadedPath = path;
    g_loadedIdentity = id;
    g_damagedLine = damagedLine;
    g_cacheValid = true;
    return ERROR_SUCCESS;
}

LSTATUS ErrnoStatus(int err)
{
    return (err == EACCES || err == EPERM || err == EROFS) ? ERROR_ACCESS_DENIED : ERROR_CANTWRITE;
}

bool MakeDirectories(const std::string& dir)
{
    if (dir.empty()) return true;
    struct stat st;
    if (stat(dir.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return true;
        errno = ENOTDIR;
        return false;
    }
    const size_t slash = dir.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeDirectories(dir.substr(0, slash))) return false;
    return mkdir(dir.c_str(), 0755) == 0 || errno == EEXIST;
}

std::string DirectoryOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return "";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The file that writing the registry named `path` replaces: where its links
// lead (a registry kept elsewhere and linked from here stays a link). The lock
// and the temporary files are beside it, so that every name of it locks alike.
std::string FileToWrite(const std::string& path)
{
    std::string file = path;
    for (int links = 0; links < MaxLinks; ++links) {
        struct stat st;
        if (lstat(file.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return file;
        char target[4096];
        const ssize_t n = readlink(file.c_str(), target, sizeof target);
        if (n <= 0 || static_cast<size_t>(n) >= sizeof target) return file;
        const std::string next(target, static_cast<size_t>(n));
        const std::string dir = DirectoryOf(file);
        file = next[0] == '/' || dir.empty() ? next : (dir == "/" ? dir : dir + "/") + next;
    }
    return file; // a loop: writing it fails as its reading does
}

bool WriteAll(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// True for the name of a temporary file of the registry file named `base`:
// the base, TempSuffix and 16 hexadecimal digits.
bool IsTemporaryName(const char* name, const std::string& base)
{
    const size_t prefix = base.size() + sizeof TempSuffix - 1;
    if (std::strlen(name) != prefix + 16 || base.compare(0, base.size(), name, base.size()) != 0 ||
        std::strncmp(name + base.size(), TempSuffix, sizeof TempSuffix - 1) != 0)
        return false;
    for (const char* p = name + prefix; *p; ++p)
        if (!std::isxdigit(static_cast<unsigned char>(*p))) return false;
    return true;
}

// Removes the temporary files of writers killed before their rename. Caller
// holds the file lock, under which every writer makes its own and renames or
// removes it, so any found now is stale. A link is removed, never followed.
void RemoveStaleTemporaries(const std::string& path)
{
    const std::string dir = DirectoryOf(path);
    const std::string base = path.substr(path.find_last_of('/') + 1);
    DIR* folder = opendir(dir.empty() ? "." : dir.c_str());
    if (!folder) return;
    std::vector<std::string> stale;
    while (const struct dirent* entry = readdir(folder))
        if (IsTemporaryName(entry->d_name, base)) stale.push_back(entry->d_name);
    closedir(folder);
    for (const std::string& name : stale) unlink((dir.empty() ? name : dir + "/" + name).c_str());
}

// Creates a temporary file of a fresh random name beside the registry: never
// through a link, never over a file that is there. -1 with errno when it cannot.
int CreateTemporary(const std::string& path, std::string& temp)
{
    static unsigned counter = 0; // guarded by g_mutex
    for (int attempt = 0; attempt < 16; ++attempt) {
        unsigned long long random = 0;
        if (getrandom(&random, sizeof random, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof random)) {
            struct timespec now;
            clock_gettime(CLOCK_REALTIME, &now);
            random = (static_cast<unsigned long long>(getpid()) << 40) ^
                     (static_cast<unsigned long long>(now.tv_sec) << 30) ^ static_cast<unsigned long long>(now.tv_nsec) ^
                     (static_cast<unsigned long long>(++counter) << 52);
        }
        char suffix[17];
        std::snprintf(suffix, sizeof suffix, "%016llx", random);
        temp = path + TempSuffix + suffix;
        const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1; // errno is EEXIST
}

// Writes `tree` to a temporary file beside the registry and renames it into
// place. A damaged file is left as it is. Caller holds the file lock.
LSTATUS Save(const RegTree& tree)
{
    if (g_damagedLine) return ERROR_REGISTRY_CORRUPT;
    const std::string path = FileToWrite(g_loadedPath);
    const std::string text = kwposix::RegSerialize(tree);
    // No reader would take a larger file: it is not written.
    if (text.size() > static_cast<size_t>(MaxFileSize)) return ERROR_FILE_TOO_LARGE;
    RemoveStaleTemporaries(path);
    std::string temp;
    int fd = CreateTemporary(path, temp);
    if (fd < 0) return ErrnoStatus(errno);
    // Readers cache by inode and modification time, and a freed inode may come
    // back for the next file: make every new file's time later than the last one's.
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    const long long nowNs = static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
    const long long stampNs = std::max(nowNs, g_loadedIdentity.MtimeNs + 1);
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(stampNs / 1000000000LL);
    times[1].tv_nsec = static_cast<long>(stampNs % 1000000000LL);
    bool ok = WriteAll(fd, text) && futimens(fd, times) == 0 && fdatasync(fd) == 0;
    const int err = errno;
    ok = close(fd) == 0 && ok;
    if (!ok || rename(temp.c_str(), path.c_str()) != 0) {
        const LSTATUS status = ErrnoStatus(ok ? errno : err);
        unlink(temp.c_str());
        return status;
    }
    g_loadedIdentity = Identify(path);
    return ERROR_SUCCESS;
}

// ERROR_ACCESS_DENIED when this process may not change the registry file at
// `path`, found without making anything: a writer makes the lock file, and a
// temporary file that it renames over the registry, in the file's folder (or
// makes that folder). Other failures are left for the writer to meet.
LSTATUS WriteAccess(const std::string& registryPath)
{
    const std::string path = FileToWrite(registryPath);
    std::string dir = DirectoryOf(path);
    struct stat st;
    // What is missing would be made in the nearest folder that exists.
    while (stat(dir.empty() ? "." : dir.c_str(), &st) != 0) {
        if (errno != ENOENT || dir.empty() || dir == "/") return ERROR_SUCCESS;
        dir = DirectoryOf(dir);
    }
    if (faccessat(AT_FDCWD, dir.empty() ? "." : dir.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
        return ErrnoStatus(errno) == ERROR_ACCESS_DENIED ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
    const std::string lockPath = path + ".lock";
    const bool lockWritable = faccessat(AT_FDCWD, lockPath.c_str(), R_OK | W_OK, AT_EACCESS) == 0;
    return lockWritable || ErrnoStatus(errno) != ERROR_ACCESS_DENIED ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

// Takes the file lock of the current registry file, waiting at most
// LockWaitLimitSeconds for its holder; -1 with the failure in `status`
// (ERROR_TIMEOUT when the holder keeps it, ERROR_STOPPED_ON_SYMLINK when the
// lock file is a link, which is never followed).
int LockFile(LSTATUS& status)
{
    const std::string path = FileToWrite(CurrentRegistryPath());
    if (!MakeDirectories(DirectoryOf(path))) {
        status = ErrnoStatus(errno);
        return -1;
    }
    const std::string lockPath = path + ".lock";
    int lockFd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (lockFd < 0) {
        status = errno == ELOOP ? ERROR_STOPPED_ON_SYMLINK : ErrnoStatus(errno);
        return -1;
    }
    // Polled, so that a holder that never lets go (a stopped process, a
    // thread of this one that waits for the caller) costs a bounded wait.
    struct timespec now, deadline;
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += LockWaitLimitSeconds;
    long pauseNs = 100000;
    while (flock(lockFd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        if (err == EINTR) continue;
        clock_gettime(CLOCK_MONOTONIC, &now);
        const bool late =
            now.tv_sec > deadline.tv_sec || (now.tv_sec == deadline.tv_sec && now.tv_nsec >= deadline.tv_nsec);
        if (err != EWOULDBLOCK || late) {
            status = err == EWOULDBLOCK ? ERROR_TIMEOUT : ErrnoStatus(err);
            close(lockFd);
            return -1;
        }
        const struct timespec pause = {0, pauseNs};
        nanosleep(&pause, nullptr);
        pauseNs = std::min(pauseNs * 2, 10000000L);
    }
    status = ERROR_SUCCESS;
    return lockFd;
}

// A token per thread, never handed to another: a batch is owned by one, and
// the thread's end undoes a batch it leaves open.
std::atomic<unsigned long long> g_nextToken{0};
struct ThreadToken {
    const unsigned long long Value = ++g_nextToken;
    ~ThreadToken();
};
thread_local ThreadToken t_thread;

// Whether the calling thread has a batch open. Caller holds g_mutex.
bool OwnsBatch()
{
    return g_batchDepth > 0 && g_batchOwner == t_thread.Value;
}

// The tree the calling thread sees: its batch's, else the committed one. Caller holds g_mutex.
RegTree& CurrentTree()
{
    return OwnsBatch() ? *g_batchTree : *g_tree;
}

// The changes that marked handles deleted did not last: the handles work again
// (one whose key is gone still finds it gone). Caller holds g_mutex.
void RestorePendingDeletions()
{
    for (HKEY handle : g_pendingDeletions) handle->Deleted = false;
    g_pendingDeletions.clear();
}

// Closes a file lock however the change under it ends.
struct FileLock {
    int Fd = -1;
    ~FileLock()
    {
        if (Fd >= 0) close(Fd);
    }
};

// Runs a change: under the file lock and the process mutex, on the file's
// current content; persisted when `change` says it touched persistent keys.
// Inside the caller's batch the change stays in its tree until the batch ends.
// `lock` (on g_mutex, not yet held) and `fileLock` are the caller's, so that it
// knows what it holds when the change throws.
LSTATUS Transact(const std::function<LSTATUS(bool& persist)>& change, std::unique_lock<std::mutex>& lock,
                 FileLock& fileLock)
{
    lock.lock();
    if (OwnsBatch()) {
        bool persist = false;
        const LSTATUS status = change(persist);
        if (persist) g_batchDirty = true;
        return status;
    }
    // The file lock is taken before the mutex, so that readers of this
    // process never wait for it.
    lock.unlock();
    // A registry that cannot be written is changed without the writers' lock,
    // which cannot be made beside it: only volatile keys can change there.
    const bool writable = WriteAccess(CurrentRegistryPath()) == ERROR_SUCCESS;
    LSTATUS status = ERROR_SUCCESS;
    if (writable) {
        fileLock.Fd = LockFile(status);
        if (fileLock.Fd < 0) return status;
    }
    lock.lock();
    status = Load();
    if (status == ERROR_SUCCESS) {
        bool persist = false;
        status = change(persist);
        if (persist) {
            const LSTATUS saved = writable ? Save(*g_tree) : ERROR_ACCESS_DENIED;
            if (saved != ERROR_SUCCESS) {
                // The change is not on disk: drop it from memory too.
                g_cacheValid = false;
                RestorePendingDeletions();
                if (status == ERROR_SUCCESS) status = saved;
            }
        }
    }
    g_pendingDeletions.clear();
    return status;
}

int PredefinedRoot(HKEY key)
{
    if (key == HKEY_CLASSES_ROOT) return kwposix::RootClasses;
    if (key == HKEY_CURRENT_USER) return kwposix::RootCurrentUser;
    if (key == HKEY_LOCAL_MACHINE) return kwposix::RootLocalMachine;
    if (key == HKEY_USERS) return kwposix::RootUsers;
    return -1;
}

// Splits a subkey path into names. A trailing backslash is tolerated; empty
// names elsewhere and over-long names are refused.
LSTATUS SplitPath(LPCSTR subKey, std::vector<std::string>& names)
{
    names.clear();
    if (!subKey) return ERROR_SUCCESS;
    std::string text(subKey);
    if (!text.empty() && text.back() == '\\') text.pop_back();
    if (text.empty()) return subKey[0] ? ERROR_BADKEY : ERROR_SUCCESS;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find('\\', start);
        std::string name = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (name.empty()) return ERROR_BADKEY;
        if (name.size() > MaxKeyNameLength) return ERROR_INVALID_PARAMETER;
        names.push_back(std::move(name));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return ERROR_SUCCESS;
}

// The root and path an HKEY stands for. Caller holds g_mutex.
LSTATUS HandleTarget(HKEY key, int& root, std::vector<std::string>& path)
{
    const int predefined = PredefinedRoot(key);
    if (predefined >= 0) {
        root = predefined;
        path.clear();
        return ERROR_SUCCESS;
    }
    if (!key || g_handles.find(key) == g_handles.end()) return ERROR_INVALID_HANDLE;
    // A deletion that another thread's batch has not committed is not seen here.
    if (key->Deleted && (OwnsBatch() || std::find(g_pendingDeletions.begin(), g_pendingDeletions.end(), key) ==
                                            g_pendingDeletions.end()))
        return ERROR_KEY_DELETED;
    root = key->Root;
    path = key->Path;
    return ERROR_SUCCESS;
}

RegKey* Resolve(int root, const std::vector<std::string>& path)
{
    RegKey* key = &CurrentTree().Roots[root];
    for (const std::string& name : path) {
        key = key->Child(name);
        if (!key) return nullptr;
    }
    return key;
}

// The key of an open handle in the current tree. Caller holds g_mutex and has loaded.
LSTATUS KeyOfHandle(HKEY handle, RegKey*& key, int* rootOut = nullptr, std::vector<std::string>* pathOut = nullptr)
{
    int root;
    std::vector<std::string> path;
    LSTATUS status = HandleTarget(handle, root, path);
    if (status != ERROR_SUCCESS) return status;
    key = Resolve(root, path);
    if (!key) return ERROR_KEY_DELETED;
    if (rootOut) *rootOut = root;
    if (pathOut) *pathOut = std::move(path);
    return ERROR_SUCCESS;
}

HKEY NewHandle(int root, std::vector<std::string> path)
{
    HKEY handle = new (std::nothrow) HKEY__{root, std::move(path), false};
    if (handle) g_handles.insert(handle);
    return handle;
}

// Handles at or below a deleted key report ERROR_KEY_DELETED from now on.
void MarkDeleted(int root, const std::vector<std::string>& path)
{
    for (HKEY handle : g_handles) {
        if (handle->Root != root || handle->Path.size() < path.size()) continue;
        bool below = true;
        for (size_t i = 0; i < path.size() && below; ++i) below = RegFold(handle->Path[i]) == RegFold(path[i]);
        if (below && !handle->Deleted) {
            handle->Deleted = true;
            g_pendingDeletions.push_back(handle);
        }
    }
}

// Reads run on the current file content, or inside the caller's batch on its
// tree; they never wait for a batch or the file lock.
template <typename F> LSTATUS WithCurrentTree(F&& f)
{
    try {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (OwnsBatch()) return f();
        LSTATUS status = Load();
        if (status == ERROR_FILE_TOO_LARGE) return status;
        if (status != ERROR_SUCCESS) {
            // An unreadable file reads as an empty registry, but keeps this
            // process's volatile keys.
            if (!g_tree) {
                g_tree.reset(new RegTree);
                AddSystemKeys(*g_tree);
            }
        }
        return f();
    } catch (...) {
        return ERROR_OUTOFMEMORY;
    }
}

template <typename F> LSTATUS WithTransaction(F&& f)
{
    std::unique_lock<std::mutex> lock(g_mutex, std::defer_lock);
    FileLock fileLock;
    try {
        return Transact(f, lock, fileLock);
    } catch (...) {
        if (!lock.owns_lock()) return ERROR_OUTOFMEMORY;
        if (OwnsBatch()) {
            g_batchFailed = true; // its tree holds part of a change
        } else {
            g_cacheValid = false;
            RestorePendingDeletions();
        }
        return ERROR_OUTOFMEMORY;
    }
}

LSTATUS CopyOut(const std::vector<BYTE>& data, DWORD type, LPDWORD lpType, BYTE* lpData, LPDWORD lpcbData)
{
    if (lpType) *lpType = type;
    if (!lpcbData) return ERROR_SUCCESS;
    const DWORD size = static_cast<DWORD>(data.size());
    if (lpData && *lpcbData < size) {
        *lpcbData = size;
        return ERROR_MORE_DATA;
    }
    if (lpData && size) std::memcpy(lpData, data.data(), size);
    *lpcbData = size;
    return ERROR_SUCCESS;
}

// Opening a persistent key for writing needs a registry this process may
// write; its own open batch holds the lock, so it may. Caller holds g_mutex.
LSTATUS OpenAccess(const RegKey& key, REGSAM access)
{
    if (!(access & WritingAccess) || key.IsVolatile || OwnsBatch()) return ERROR_SUCCESS;
    return WriteAccess(CurrentRegistryPath());
}

// Deletes `name` under `parent` (no subkey check). Returns whether it held persistent content.
bool RemoveChild(RegKey& parent, const std::string& name)
{
    auto it = parent.Children.find(RegFold(name));
    if (it == parent.Children.end()) return false;
    const bool persistent = !it->second->IsVolatile;
    parent.Children.erase(it);
    return persistent;
}

} // namespace

KWPLATFORM_API LPCSTR KwRegistryPath(void)
{
    // Handed-out strings stay valid for the life of the process.
    static std::mutex mutex;
    static std::set<std::string>& paths = *new std::set<std::string>;
    try {
        std::lock_guard<std::mutex> lock(mutex);
        return paths.insert(CurrentRegistryPath()).first->c_str();
    } catch (...) {
        return "";
    }
}

KWPLATFORM_API DWORD KwRegistryDamagedLine(void)
{
    try {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (!OwnsBatch() && Load() != ERROR_SUCCESS) return 0;
        return static_cast<DWORD>(std::min<size_t>(g_damagedLine, 0xFFFFFFFFu));
    } catch (...) {
        return 0;
    }
}

KWPLATFORM_API LSTATUS KwRegistryBeginBatch(void)
{
    FileLock fileLock;
    try {
        {
            std::lock_guard<std::mutex> lock(g_mutex);
            if (OwnsBatch()) { // nested
                ++g_batchDepth;
                return ERROR_SUCCESS;
            }
        }
        // Another thread's batch holds the file lock: this waits for its end.
        LSTATUS status;
        fileLock.Fd = LockFile(status);
        if (fileLock.Fd < 0) return status;
        std::lock_guard<std::mutex> lock(g_mutex);
        status = Load();
        if (status != ERROR_SUCCESS) return status;
        if (g_damagedLine) return ERROR_REGISTRY_CORRUPT;
        g_batchTree = kwposix::RegCopy(*g_tree);
        g_batchBase = g_loadedIdentity;
        g_batchDepth = 1;
        g_batchOwner = t_thread.Value;
        g_batchLockFd = fileLock.Fd;
        fileLock.Fd = -1;
        g_batchDirty = g_batchFailed = g_batchRolledBack = false;
        return ERROR_SUCCESS;
    } catch (...) {
        return ERROR_OUTOFMEMORY;
    }
}

namespace {

// Ends the outermost batch of the calling thread: its tree becomes the
// committed one when `commit` holds and it reaches the file; else it goes.
// Caller holds g_mutex.
LSTATUS FinishBatch(BOOL commit)
{
    g_batchDepth = 0;
    LSTATUS status = g_batchFailed ? ERROR_OUTOFMEMORY : ERROR_SUCCESS;
    if (status == ERROR_SUCCESS && commit && g_batchRolledBack) status = ERROR_TRANSACTION_ALREADY_ABORTED;
    const bool write = commit && status == ERROR_SUCCESS;
    if (g_batchDirty && write) {
        try {
            status = Save(*g_batchTree);
        } catch (...) {
            status = ERROR_OUTOFMEMORY;
        }
    } else if (write) {
        // Nothing new on disk: the tree stands for the file the batch read.
        g_loadedIdentity = g_batchBase;
    }
    if (write && status == ERROR_SUCCESS) {
        g_tree = std::move(g_batchTree);
    } else {
        // Changes that did not reach the file leave memory too.
        RestorePendingDeletions();
    }
    g_batchTree.reset();
    g_pendingDeletions.clear();
    close(g_batchLockFd); // releases the lock: writers waiting for it go on
    g_batchLockFd = -1;
    g_batchDirty = g_batchFailed = g_batchRolledBack = false;
    g_batchOwner = 0;
    return status;
}

ThreadToken::~ThreadToken()
{
    // A thread that ends inside its batch cannot end it: it is undone now.
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_batchDepth > 0 && g_batchOwner == Value) FinishBatch(FALSE);
}

} // namespace

KWPLATFORM_API LSTATUS KwRegistryEndBatch(BOOL commit)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!OwnsBatch()) return ERROR_INVALID_FUNCTION;
    // Any end that does not commit undoes the whole batch.
    if (!commit) g_batchRolledBack = true;
    if (--g_batchDepth > 0) return ERROR_SUCCESS;
    return FinishBatch(commit);
}

KWPLATFORM_API LSTATUS RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR, DWORD dwOptions, REGSAM samDesired,
                                       const void*, PHKEY phkResult, LPDWORD lpdwDisposition)
{
    if (!phkResult || !lpSubKey) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    std::vector<std::string> names;
    LSTATUS status = SplitPath(lpSubKey, names);
    if (status != ERROR_SUCCESS) return status;
    const bool makeVolatile = (dwOptions & REG_OPTION_VOLATILE) != 0;

    // Most calls open keys that exist: look before taking the file lock.
    bool exists = false;
    status = WithCurrentTree([&]() -> LSTATUS {
        RegKey* base;
        std::vector<std::string> basePath;
        int root;
        LSTATUS s = KeyOfHandle(hKey, base, &root, &basePath);
        if (s != ERROR_SUCCESS) return s;
        RegKey* key = base;
        for (const std::string& name : names)
            if (key) key = key->Child(name);
        if (!key) return ERROR_SUCCESS;
        exists = true;
        s = OpenAccess(*key, samDesired);
        if (s != ERROR_SUCCESS) return s;
        basePath.insert(basePath.end(), names.begin(), names.end());
        *phkResult = NewHandle(root, std::move(basePath));
        if (!*phkResult) return ERROR_OUTOFMEMORY;
        if (lpdwDisposition) *lpdwDisposition = REG_OPENED_EXISTING_KEY;
        return ERROR_SUCCESS;
    });
    if (status != ERROR_SUCCESS || exists) return status;

    status = WithTransaction([&](bool& persist) -> LSTATUS {
        RegKey* key;
        std::vector<std::string> path;
        int root;
        LSTATUS s = KeyOfHandle(hKey, key, &root, &path);
        if (s != ERROR_SUCCESS) return s;
        if (path.size() + names.size() > MaxKeyDepth) return ERROR_INVALID_PARAMETER;
        bool created = false;
        // Check the whole path before creating anything, so a refusal leaves no trace.
        {
            RegKey* probe = key;
            for (const std::string& name : names) {
                RegKey* next = probe->Child(name);
                if (!next) {
                    if (probe->IsVolatile && !makeVolatile) return ERROR_CHILD_MUST_BE_VOLATILE;
                    break;
                }
                probe = next;
            }
        }
        for (const std::string& name : names) {
            RegKey* next = key->Child(name);
            if (!next) {
                std::unique_ptr<RegKey> fresh(new RegKey);
                fresh->Name = name;
                fresh->IsVolatile = makeVolatile;
                next = fresh.get();
                key->Children[RegFold(name)] = std::move(fresh);
                created = true;
                if (!makeVolatile) persist = true;
            }
            key = next;
            path.push_back(name);
        }
        if (!created) {
            s = OpenAccess(*key, samDesired);
            if (s != ERROR_SUCCESS) return s;
        }
        *phkResult = NewHandle(root, std::move(path));
        if (!*phkResult) return ERROR_OUTOFMEMORY;
        if (lpdwDisposition) *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
        return ERROR_SUCCESS;
    });
    // A key made but not kept (its write failed) is no key for the caller.
    if (status != ERROR_SUCCESS && *phkResult) {
        RegCloseKey(*phkResult);
        *phkResult = nullptr;
    }
    return status;
}

KWPLATFORM_API LSTATUS RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult)
{
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    if (!lpSubKey || !lpSubKey[0]) {
        // The old call hands back the key itself for an empty name.
        LSTATUS status = WithCurrentTree([&]() -> LSTATUS {
            RegKey* key;
            return KeyOfHandle(hKey, key);
        });
        *phkResult = status == ERROR_SUCCESS ? hKey : nullptr;
        return status;
    }
    // Windows asks for the rights it may have, so a key that cannot be written still opens.
    return RegCreateKeyExA(hKey, lpSubKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ, nullptr, phkResult,
                           nullptr);
}

KWPLATFORM_API LSTATUS RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult)
{
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    std::vector<std::string> names;
    LSTATUS status = SplitPath(lpSubKey, names);
    if (status != ERROR_SUCCESS) return status;
    return WithCurrentTree([&]() -> LSTATUS {
        RegKey* key;
        std::vector<std::string> path;
        int root;
        LSTATUS s = KeyOfHandle(hKey, key, &root, &path);
        if (s != ERROR_SUCCESS) return s;
        for (const std::string& name : names) {
            key = key->Child(name);
            if (!key) return ERROR_FILE_NOT_FOUND;
        }
        s = OpenAccess(*key, samDesired);
        if (s != ERROR_SUCCESS) return s;
        path.insert(path.end(), names.begin(), names.end());
        *phkResult = NewHandle(root, std::move(path));
        return *phkResult ? ERROR_SUCCESS : ERROR_OUTOFMEMORY;
    });
}

KWPLATFORM_API LSTATUS RegCloseKey(HKEY hKey)
{
    if (PredefinedRoot(hKey) >= 0) return ERROR_SUCCESS;
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = g_handles.find(hKey);
    if (it == g_handles.end()) return ERROR_INVALID_HANDLE;
    g_handles.erase(it);
    g_pendingDeletions.erase(std::remove(g_pendingDeletions.begin(), g_pendingDeletions.end(), hKey),
                             g_pendingDeletions.end());
    delete hKey;
    return ERROR_SUCCESS;
}

KWPLATFORM_API LSTATUS RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData,
                                      DWORD cbData)
{
    if (cbData && !lpData) return ERROR_NOACCESS;
    const std::string name = lpValueName ? lpValueName : "";
    if (name.size() > MaxValueNameLength) return ERROR_INVALID_PARAMETER;
    return WithTransaction([&](bool& persist) -> LSTATUS {
        RegKey* key;
        LSTATUS s = KeyOfHandle(hKey, key);
        if (s != ERROR_SUCCESS) return s;
        RegValue* value = key->FindValue(name);
        if (!value) {
            key->Values.push_back(RegValue{});
            value = &key->Values.back();
            value->Name = name;
        }
        value->Type = dwType;
        value->Data.assign(lpData, lpData + cbData);
        persist = !key->IsVolatile;
        return ERROR_SUCCESS;
    });
}

KWPLATFORM_API LSTATUS RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                        BYTE* lpData, LPDWORD lpcbData)
{
    if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
    const std::string name = lpValueName ? lpValueName : "";
    return WithCurrentTree([&]() -> LSTATUS {
        RegKey* key;
        LSTATUS s = KeyOfHandle(hKey, key);
        if (s != ERROR_SUCCESS) return s;
        RegValue* value = key->FindValue(name);
        if (!value) return ERROR_FILE_NOT_FOUND;
        return CopyOut(value->Data, value->Type, lpType, lpData, lpcbData);
    });
}

KWPLATFORM_API LSTATUS RegDeleteValueA(HKEY hKey, LPCSTR lpValueName)
{
    const std::string folded = RegFold(lpValueName ? lpValueName : "");
    return WithTransaction([&](bool& persist) -> LSTATUS {
        RegKey* key;
        LSTATUS s = KeyOfHandle(hKey, key);
        if (s != ERROR_SUCCESS) return s;
        for (auto it = key->Values.begin(); it != key->Values.end(); ++it) {
            if (RegFold(it->Name) == folded) {
                key->Values.erase(it);
                persist = !key->IsVolatile;
                return ERROR_SUCCESS;
            }
        }
        return ERROR_FILE_NOT_FOUND;
    });
}

KWPLATFORM_API LSTATUS RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey)
{
    if (!lpSubKey) return ERROR_INVALID_PARAMETER;
    std::vector<std::string> names;
    LSTATUS status = SplitPath(lpSubKey, names);
    if (status != ERROR_SUCCESS) return status;
    return WithTransaction([&](bool& persist) -> LSTATUS {
        RegKey* key;
        int root;
        std::vector<std::string> path;
        LSTATUS s = KeyOfHandle(hKey, key, &root, &path);
        if (s != ERROR_SUCCESS) return s;
        path.insert(path.end(), names.begin(), names.end());
        if (path.empty()) return ERROR_ACCESS_DENIED; // a root cannot be deleted
        RegKey* target = Resolve(root, path);
        if (!target) return ERROR_FILE_NOT_FOUND;
        if (!target->Children.empty() || IsSystemKey(root, path)) return ERROR_ACCESS_DENIED;
        std::vector<std::string> parentPath(path.begin(), path.end() - 1);
        RegKey* parent = Resolve(root, parentPath);
        persist = RemoveChild(*parent, path.back());
        MarkDeleted(root, path);
        return ERROR_SUCCESS;
    });
}

KWPLATFORM_API LSTATUS RegDeleteTreeA(HKEY hKey, LPCSTR lpSubKey)
{
    std::vector<std::string> names;
    LSTATUS status = SplitPath(lpSubKey, names);
    if (status != ERROR_SUCCESS) return status;
    const bool emptyOnly = !lpSubKey; // a null name empties hKey but keeps it
    return WithTransaction([&](bool& persist) -> LSTATUS {
        RegKey* key;
        int root;
        std::vector<std::string> path;
        LSTATUS s = KeyOfHandle(hKey, key, &root, &path);
        if (s != ERROR_SUCCESS) return s;
        path.insert(path.end(), names.begin(), names.end());
        RegKey* target = Resolve(root, path);
        if (!target) return ERROR_FILE_NOT_FOUND;
        if (emptyOnly || path.empty() || IsSystemKey(root, path)) {
            // Emptying a key (or a root or a system key, which cannot go themselves).
            persist = target->HasPersistentContent();
            std::unique_ptr<RegKey> kept;
            for (auto& child : target->Children) {
                std::vector<std::string> childPath = path;
                childPath.push_back(child.second->Name);
                if (IsSystemKey(root, childPath)) {
                    for (const auto& grandchild : child.second->Children) {
                        childPath.push_back(grandchild.second->Name);
                        MarkDeleted(root, childPath);
                        childPath.pop_back();
                    }
                    child.second->Children.clear();
                    child.second->Values.clear();
                    kept = std::move(child.second);
                    continue;
                }
                MarkDeleted(root, childPath);
            }
            target->Children.clear();
            target->Values.clear();
            if (kept) target->Children[RegFold(kept->Name)] = std::move(kept);
            return ERROR_SUCCESS;
        }
        std::vector<std::string> parentPath(path.begin(), path.end() - 1);
        persist = RemoveChild(*Resolve(root, parentPath), path.back());
        MarkDeleted(root, path);
        return ERROR_SUCCESS;
    });
}

KWPLATFORM_API LSTATUS RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                                     LPSTR lpClass, LPDWORD lpcchClass, FILETIME* lpftLastWriteTime)
{
    if (!lpName || !lpcchName || lpReserved) return ERROR_INVALID_PARAMETER;
    return WithCurrentTree([&]() -> LSTATUS {
        RegKey* key;
        LSTATUS s = KeyOfHandle(hKey, key);
        if (s != ERROR_SUCCESS) return s;
        if (dwIndex >= key->Children.size()) return ERROR_NO_MORE_ITEMS;
        auto it = key->Children.begin();
        std::advance(it, dwIndex);
        const std::string& name = it->second->Name;
        if (name.size() >= *lpcchName) return ERROR_MORE_DATA;
        if (lpClass && lpcchClass && *lpcchClass == 0) return ERROR_MORE_DATA;
        std::memcpy(lpName, name.c_str(), name.size() + 1);
        *lpcchName = static_cast<DWORD>(name.size());
        if (lpClass && lpcchClass) {
            lpClass[0] = 0;
            *lpcchClass = 0;
        }
        if (lpftLastWriteTime) *lpftLastWriteTime = FILETIME{0, 0};
        return ERROR_SUCCESS;
    });
}

KWPLATFORM_API LSTATUS RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                                     LPDWORD lpReserved, LPDWORD lpType, BYTE* lpData, LPDWORD lpcbData)
{
    if (!lpValueName || !lpcchValueName || lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
    return WithCurrentTree([&]() -> LSTATUS {
        RegKey* key;
        LSTATUS s = KeyOfHandle(hKey, key);
        if (s != ERROR_SUCCESS) return s;
        if (dwIndex >= key->Values.size()) return ERROR_NO_MORE_ITEMS;
        const RegValue& value = key->Values[dwIndex];
        if (value.Name.size() >= *lpcchValueName) return ERROR_MORE_DATA;
        std::memcpy(lpValueName, value.Name.c_str(), value.Name.size() + 1);
        *lpcchValueName = static_cast<DWORD>(value.Name.size());
        return CopyOut(value.Data, value.Type, lpType, lpData, lpcbData);
    });
}

KWPLATFORM_API LSTATUS RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                                        LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                                        LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                                        LPDWORD lpcbSecurityDescriptor, FILETIME* lpftLastWriteTime)
{
    if (lpReserved || (lpClass && !lpcchClass)) return ERROR_INVALID_PARAMETER;
    return WithCurrentTree([&]() -> LSTATUS {
        RegKey* key;
        LSTATUS s = KeyOfHandle(hKey, key);
        if (s != ERROR_SUCCESS) return s;
        if (lpClass) {
            if (*lpcchClass == 0) return ERROR_MORE_DATA;
            lpClass[0] = 0;
        }
        if (lpcchClass) *lpcchClass = 0;
        size_t maxSubKey = 0, maxName = 0, maxData = 0;
        for (const auto& child : key->Children) maxSubKey = std::max(maxSubKey, child.second->Name.size());
        for (const RegValue& v : key->Values) {
            maxName = std::max(maxName, v.Name.size());
            maxData = std::max(maxData, v.Data.size());
        }
        if (lpcSubKeys) *lpcSubKeys = static_cast<DWORD>(key->Children.size());
        if (lpcbMaxSubKeyLen) *lpcbMaxSubKeyLen = static_cast<DWORD>(maxSubKey);
        if (lpcbMaxClassLen) *lpcbMaxClassLen = 0;
        if (lpcValues) *lpcValues = static_cast<DWORD>(key->Values.size());
        if (lpcbMaxValueNameLen) *lpcbMaxValueNameLen = static_cast<DWORD>(maxName);
        if (lpcbMaxValueLen) *lpcbMaxValueLen = static_cast<DWORD>(maxData);
        if (lpcbSecurityDescriptor) *lpcbSecurityDescriptor = 0;
        if (lpftLastWriteTime) *lpftLastWriteTime = FILETIME{0, 0};
        return ERROR_SUCCESS;
    });
}

// ---------------------------------------------------------------- the wide forms
//
// Names and string data arrive in UTF-16 and are kept as UTF-8, the narrow form
// of this platform, so both forms see the same keys and values.

namespace {

// A wide argument as UTF-8; a null pointer stays null.
struct NarrowArgument {
    std::string Text;
    bool Null;
    explicit NarrowArgument(LPCWSTR wide) : Text(wide ? kwposix::Narrow(wide) : std::string()), Null(!wide) {}
    LPCSTR get() const { return Null ? nullptr : Text.c_str(); }
};

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

} // namespace

KWPLATFORM_API LSTATUS RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR, DWORD dwOptions,
                                       REGSAM samDesired, const void* lpSecurityAttributes, PHKEY phkResult,
                                       LPDWORD lpdwDisposition)
{
    try {
        NarrowArgument subKey(lpSubKey);
        return RegCreateKeyExA(hKey, subKey.get(), Reserved, nullptr, dwOptions, samDesired, lpSecurityAttributes,
                               phkResult, lpdwDisposition);
    } catch (...) {
        return ERROR_OUTOFMEMORY;
    }
}

KWPLATFORM_API LSTATUS RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult)
{
    try {
        NarrowArgument subKey(lpSubKey);
        return RegOpenKeyExA(hKey, subKey.get(), ulOptions, samDesired, phkResult);
    } catch (...) {
        return ERROR_OUTOFMEMORY;
    }
}

KWPLATFORM_API LSTATUS RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                                      DWORD cbData)
{
    if (cbData && !lpData) return ERROR_NOACCESS;
    try {
        NarrowArgument name(lpValueName);
        if (!IsStringType(dwType) || cbData < sizeof(WCHAR))
            return RegSetValueExA(hKey, name.get(), Reserved, dwType, lpData, cbData);
        // The data may be unaligned; an odd last byte is not a character.
        std::u16string wide(cbData / sizeof(WCHAR), u'\0');
        std::memcpy(&wide[0], lpData, wide.size() * sizeof(WCHAR));
        const int units = static_cast<int>(wide.size());
        const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
        if (bytes <= 0) return ERROR_INVALID_PARAMETER;
        std::string narrow(static_cast<size_t>(bytes), '\0');
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, &narrow[0], bytes, nullptr, nullptr);
        return RegSetValueExA(hKey, name.get(), Reserved, dwType, reinterpret_cast<const BYTE*>(narrow.data()),
                              static_cast<DWORD>(narrow.size()));
    } catch (...) {
        return ERROR_OUTOFMEMORY;
    }
}

KWPLATFORM_API LSTATUS RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName)
{
    try {
        NarrowArgument name(lpValueName);
        return RegDeleteValueA(hKey, name.get());
    } catch (...) {
        return ERROR_OUTOFMEMORY;
    }
}

KWPLATFORM_API LSTATUS RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey)
{
    try {
        NarrowArgument subKey(lpSubKey);
        return RegDeleteKeyA(hKey, subKey.get());
    } catch (...) {
        return ERROR_OUTOFMEMORY;
    }
}

KWPLATFORM_API LSTATUS RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey)
{
    try {
        NarrowArgument subKey(lpSubKey);
        return RegDeleteTreeA(hKey, subKey.get());
    } catch (...) {
        return ERROR_OUTOFMEMORY;
    }
}
