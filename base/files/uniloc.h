// File locations of the base library: named file areas that the bnfs
// server serves and the client reaches by "bnfs:" paths.
//
// Paths inside a location are absolute and '/'-separated ("/ZPI/zpi.xml").
// uniNormalizePath is the one check every location applies: a path must
// begin with '/', may not hold "." or ".." segments, control characters or
// more than kUniMaxPath bytes; repeated and trailing slashes are dropped.
//
// unimemlocation keeps files in memory (one process-wide instance through
// GetRegistered); a file can be written only into an existing folder. What
// the process writes there itself is bounded by nothing but its memory and
// counted in no budget while it is current; a version it replaced that
// answers still hold counts in the location's budget until they let go.
// What peers store there through a bnfs server is counted in the server's
// byte budget (uniByteBudget), together with everything else the server
// holds for peers, until it is freed.
// univfslocation shows other locations under mount points of its own.
// unilocallocation is a folder of the local file system seen as a location.
//
// Below the classes stands the uni function layer that the pfa file layer
// reaches through its location methods: paths of the form "name:/path"
// (name being a registered location's name), handles, streams, directory
// listings and property queries. Every uni_* function answers 0 (or null)
// for a failure unless its comment says otherwise.
//
// The location classes are internal: only the members that zpi50 calls are
// exported, not their virtual tables or type information. A build with
// UndefinedBehaviorSanitizer (never installed) exports them whole: its
// vptr check in zpi50 reads their type information.
#pragma once

#include "zbase_export.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

constexpr size_t kUniMaxPath = 4096;

#if defined(ZPI_UBSAN)
#define UNI_LOCATION_CLASS ZBASE_API
#else
#define UNI_LOCATION_CLASS
#endif

inline namespace zbase_internal {

// False (with the reason in *error when given) for a path that is refused.
ZBASE_API bool uniNormalizePath(const char* path, std::string& out, std::string* error);

// Bytes held on behalf of peers, against one limit: a bnfs server's frames
// in progress and answers waiting, and the files peers stored (also a
// version replaced while waiting answers still hold it). A stored file
// counts its content, its name (kept as the key of its folder's entry) and
// kUniEntryOverhead bytes for the entry, the buffer and their bookkeeping,
// for as long as it lives; and it takes one of the budget's entries, of
// which there are at most its entry limit. Thread-safe.
constexpr size_t kUniEntryOverhead = 512;

class uniByteBudget {
public:
    static constexpr size_t kDefaultLimit = size_t(256) << 20;
    static constexpr size_t kDefaultEntryLimit = 65536;
    explicit uniByteBudget(size_t limit = kDefaultLimit);

    // The process's budget (never destroyed): servers and in-memory
    // locations count in it unless given another.
    static uniByteBudget& Process();

    void SetLimit(size_t bytes);
    size_t GetLimit() const { return limit_.load(std::memory_order_relaxed); }
    size_t GetHeld() const { return held_.load(std::memory_order_relaxed); }
    bool IsOver() const { return GetHeld() > GetLimit(); }
    // The most held at once since the last ResetPeak.
    size_t GetPeak() const { return peak_.load(std::memory_order_relaxed); }
    void ResetPeak() { peak_.store(GetHeld(), std::memory_order_relaxed); }

    // Takes `bytes` when they fit beside what is held; false (taking
    // nothing) when not.
    bool TryTake(size_t bytes);
    // Takes `bytes`, beyond the limit if need be.
    void Take(size_t bytes);
    void Give(size_t bytes);

    // Files stored (entries), against their own limit.
    void SetEntryLimit(size_t entries);
    size_t GetEntryLimit() const { return entryLimit_.load(std::memory_order_relaxed); }
    size_t GetEntries() const { return entries_.load(std::memory_order_relaxed); }
    // Takes one entry and `bytes` when both fit (no bytes always fit);
    // false (taking nothing) when not.
    bool TryTakeEntry(size_t bytes);
    void GiveEntry(size_t bytes);

private:
    void NotePeak(size_t held);

    std::atomic<size_t> limit_;
    std::atomic<size_t> held_{0};
    std::atomic<size_t> peak_{0};
    std::atomic<size_t> entryLimit_{kDefaultEntryLimit};
    std::atomic<size_t> entries_{0};
};

// File buffers shared by a location and the answers that send them. A
// buffer made by uniMakeBuffer may be counted in a budget for as long as it
// lives (its bytes are given back when the last holder lets go).
// `chargedTo` (null: none) must already hold its bytes.
ZBASE_API std::shared_ptr<const std::string> uniMakeBuffer(std::string bytes,
                                                           uniByteBudget* chargedTo);
// The buffer of a file a peer stores: counted in `chargedTo` (null: none),
// which must already hold `charge` bytes and one entry for it
// (TryTakeEntry), until it is freed.
std::shared_ptr<const std::string> uniMakeStoredBuffer(std::string bytes, uniByteBudget* chargedTo,
                                                       size_t charge);
// The budget the buffer is counted in (null: none, or a buffer not made by
// uniMakeBuffer).
uniByteBudget* uniBufferBudget(const std::shared_ptr<const std::string>& buffer);
// True for a buffer made by uniMakeBuffer (one that a location keeps).
bool uniIsLocationBuffer(const std::shared_ptr<const std::string>& buffer);
// True once the location that held the buffer let go of it (a replaced or
// removed version) while others still held it.
bool uniBufferIsReplaced(const std::shared_ptr<const std::string>& buffer);
// True once a newer version of the same file was also let go of while
// others held it (uniFollowBuffer): the buffer is then an older replaced
// version, not the newest.
bool uniBufferIsSuperseded(const std::shared_ptr<const std::string>& buffer);
// `current` takes the place of `old` as the version of a file, under the
// lock of the location that keeps it (before `old` is let go of with
// uniReleaseBuffer): when others besides the caller still hold `old` and
// it is the process's own (counted in no budget), it is the newest version
// let go of while held, and the one that was so before it is superseded.
// A file a peer stored supersedes none when it is replaced.
void uniFollowBuffer(const std::shared_ptr<const std::string>& old,
                     const std::shared_ptr<const std::string>& current);
// A location lets go of `buffer` (reset here): when others still hold it
// (answers waiting for peers), it is marked replaced, and freed when the
// last of them lets go. Until then it counts in a budget: the one it was
// made in, or, for a buffer counted in none, `budget` (when given), taken
// beyond its limit if need be.
void uniReleaseBuffer(std::shared_ptr<const std::string>& buffer, uniByteBudget* budget);

// One entry of a folder listing.
struct uniEntry {
    std::string name; // the entry's own name, without its folder
    bool isDir = false;
};

// What Stat tells of a file or folder; times are seconds since 1970 or -1
// when the location keeps none.
struct uniStat {
    bool isDir = false;
    int64_t size = 0;
    int64_t created = -1;
    int64_t modified = -1;
    int64_t accessed = -1;
};

class UNI_LOCATION_CLASS unilocation {
public:
    unilocation() = default;
    virtual ~unilocation();
    unilocation(const unilocation&) = delete;
    unilocation& operator=(const unilocation&) = delete;

    virtual const char* GetName() const = 0;
    // Every operation is thread-safe and reports why it failed in *error
    // (when given).
    virtual bool ReadFile(const char* path, std::string& data, std::string* error) = 0;
    // Creates or replaces the file.
    virtual bool WriteFile(const char* path, const char* data, size_t size,
                           std::string* error) = 0;
    // The whole file as a buffer that may be shared: a location that keeps
    // its files in memory hands out the buffer it holds (later writes
    // replace it, never change it); by default a copy read by ReadFile.
    virtual bool ReadShared(const char* path, std::shared_ptr<const std::string>& data,
                            std::string* error);
    // Creates or replaces the file with the bytes of `data`: a location
    // that keeps its files in memory keeps this very buffer; by default
    // WriteFile of a copy.
    virtual bool WriteShared(const char* path, std::shared_ptr<const std::string> data,
                             std::string* error);
    virtual bool RemoveFile(const char* path, std::string* error) = 0;
    // Makes the folder and any missing folders above it; true when it
    // exists afterwards. No flags are defined yet (pass 0).
    virtual bool MakeDirectory(const char* path, int flags, std::string* error) = 0;
    virtual bool IsDirectory(const char* path) = 0;
    virtual bool IsFile(const char* path) = 0;

    // Optional operations: a location that has no such operation refuses
    // with a reason. Stat by default asks IsDirectory, IsFile and ReadFile.
    virtual bool List(const char* path, std::vector<uniEntry>& entries, std::string* error);
    virtual bool Stat(const char* path, uniStat& st, std::string* error);
    // Removes an empty folder.
    virtual bool RemoveDirectory(const char* path, std::string* error);
    // Renames a file or folder; the target may not exist.
    virtual bool Rename(const char* from, const char* to, std::string* error);
    // A virtual location shows other locations; a transient one keeps its
    // files only for the life of the process.
    virtual bool IsVirtual() const { return false; }
    virtual bool IsTransient() const { return false; }

    // Process-wide table of locations: Register gives an id above 0 (the
    // location is not owned); Find answers null for an id that is not
    // registered.
    ZBASE_API static int Register(unilocation* location);
    ZBASE_API static void Unregister(int id);
    static unilocation* Find(int id);
    // The first registered location with that name (exact, case-sensitive).
    static unilocation* FindByName(const std::string& name);
    // Names of the registered locations, in registration order.
    static std::vector<std::string> RegisteredNames();
};

class UNI_LOCATION_CLASS unimemlocation : public unilocation {
public:
    explicit unimemlocation(const char* name = "mem");
    ~unimemlocation() override;

    // The process's in-memory location (made on first use, never destroyed).
    ZBASE_API static unimemlocation* GetRegistered();

    // The budget the location hands to uniReleaseBuffer (the process's
    // unless set): a replaced or removed version of a file counted in no
    // budget (the process's own) counts in it while answers still hold it.
    void SetBudget(uniByteBudget* budget);
    uniByteBudget* GetBudget() const;
    // The bytes the files hold now.
    size_t GetUsed() const;

    const char* GetName() const override { return name_.c_str(); }
    bool ReadFile(const char* path, std::string& data, std::string* error) override;
    bool ReadShared(const char* path, std::shared_ptr<const std::string>& data,
                    std::string* error) override;
    bool WriteFile(const char* path, const char* data, size_t size, std::string* error) override;
    bool WriteShared(const char* path, std::shared_ptr<const std::string> data,
                     std::string* error) override;
    bool RemoveFile(const char* path, std::string* error) override;
    bool MakeDirectory(const char* path, int flags, std::string* error) override;
    bool IsDirectory(const char* path) override;
    bool IsFile(const char* path) override;
    bool List(const char* path, std::vector<uniEntry>& entries, std::string* error) override;
    bool Stat(const char* path, uniStat& st, std::string* error) override;
    bool RemoveDirectory(const char* path, std::string* error) override;
    bool IsTransient() const override { return true; }

    // Paths of the files held, in order (for tests and diagnostics).
    std::vector<std::string> ListFiles() const;

private:
    std::string name_;
    mutable std::mutex mutex_;
    std::set<std::string> dirs_;                                   // "/" always
    std::map<std::string, std::shared_ptr<const std::string>> files_;
    size_t used_ = 0;                          // bytes of files_, under mutex_
    uniByteBudget* budget_ = &uniByteBudget::Process(); // under mutex_
};

class UNI_LOCATION_CLASS univfslocation : public unilocation {
public:
    // `fileSystem` is accepted for the interface; a virtual location has no
    // files of its own, only what is mounted in it.
    ZBASE_API explicit univfslocation(const char* name, void* fileSystem = nullptr);
    ZBASE_API ~univfslocation() override;

    // Shows `target` (not owned; it must outlive the mount) at `mountPoint`:
    // the path mountPoint/x of this location is targetRoot/x of the target
    // (an empty or null targetRoot is the target's root). A read-only mount
    // refuses writes. Mounting again at the same point replaces the mount.
    ZBASE_API bool Mount(const char* mountPoint, unilocation* target, bool readOnly,
                         const char* targetRoot);
    bool Unmount(const char* mountPoint);
    // While a path is held (as often as it was held, less as often as it
    // was let go of), it cannot be written or removed through this
    // location: the process's document that a request names stays what
    // the process wrote until the request is answered, whatever those who
    // reach the process's files through this location send (a write that
    // had passed its check when Hold was called has landed when it
    // returns). False for a path that is refused.
    ZBASE_API bool Hold(const char* path);
    ZBASE_API void LetGo(const char* path);

    const char* GetName() const override { return name_.c_str(); }
    bool ReadFile(const char* path, std::string& data, std::string* error) override;
    bool ReadShared(const char* path, std::shared_ptr<const std::string>& data,
                    std::string* error) override;
    bool WriteFile(const char* path, const char* data, size_t size, std::string* error) override;
    bool WriteShared(const char* path, std::shared_ptr<const std::string> data,
                     std::string* error) override;
    bool RemoveFile(const char* path, std::string* error) override;
    bool MakeDirectory(const char* path, int flags, std::string* error) override;
    bool IsDirectory(const char* path) override;
    bool IsFile(const char* path) override;
    bool List(const char* path, std::vector<uniEntry>& entries, std::string* error) override;
    bool Stat(const char* path, uniStat& st, std::string* error) override;
    bool RemoveDirectory(const char* path, std::string* error) override;
    bool IsVirtual() const override { return true; }

private:
    struct MountEntry {
        std::string point; // normalised
        unilocation* target;
        bool readOnly;
        std::string root; // normalised, "" for the target's root
    };
    // The mount that holds `path` (longest mount point) and the path inside
    // its target; false when none does or the path is refused.
    bool Resolve(const char* path, bool forWrite, unilocation** target, std::string& inner,
                 std::string* error);

    std::string name_;
    mutable std::mutex mutex_;
    std::vector<MountEntry> mounts_;
    std::multiset<std::string> held_; // normalised, under mutex_
    // Held by a change through this location from its check to its end,
    // and by Hold: once Hold returns, no change that passed its check
    // before is still to land.
    std::mutex changing_;
};

// A folder of the local file system as a location: the location path /a/b
// is root/a/b. Paths are checked by uniNormalizePath, so nothing outside the
// root is named ("." and ".." refused); links inside the root are followed.
// WriteFile writes beside the file and puts it in place, synced, when the
// whole content is written, so a failed write leaves the file as it was; a
// path that is not a regular file (a device, a fifo) is refused and left
// alone (kkatomicfile.h). Rename never replaces anything, not even what
// takes the target's name while it renames (kkRenameNoReplace, kkfileio.h),
// and answers true only once the rename is durable: the target's folder is
// synced, then the source's when it is another one (a folder that may not
// be read: the file system, through the renamed entry). Where the file
// system has no renameat2, a file is linked under the new name and then
// unlinked from the old one: a crash between the two leaves it under both
// names (one file with two names, not a copy), and a folder is renamed
// over an empty folder made for it first, which a crash in between leaves
// behind.
class unilocallocation : public unilocation {
public:
    unilocallocation(const char* name, const char* root);
    ~unilocallocation() override;

    const char* GetName() const override { return name_.c_str(); }
    const std::string& GetRoot() const { return root_; }
    bool ReadFile(const char* path, std::string& data, std::string* error) override;
    bool WriteFile(const char* path, const char* data, size_t size, std::string* error) override;
    bool RemoveFile(const char* path, std::string* error) override;
    bool MakeDirectory(const char* path, int flags, std::string* error) override;
    bool IsDirectory(const char* path) override;
    bool IsFile(const char* path) override;
    bool List(const char* path, std::vector<uniEntry>& entries, std::string* error) override;
    bool Stat(const char* path, uniStat& st, std::string* error) override;
    bool RemoveDirectory(const char* path, std::string* error) override;
    bool Rename(const char* from, const char* to, std::string* error) override;

private:
    // The local path of a location path; false when it is refused.
    bool Local(const char* path, std::string& local, std::string* error) const;

    std::string name_;
    std::string root_; // without a trailing '/'
};

// ---- uni function layer ----------------------------------------------------------------
//
// A uni path is "name:/inner" where name is a registered location's name
// (letters, digits, '_', '-' and '.') and inner is checked by
// uniNormalizePath; "name:" alone is the location's root. A path is at most
// kUniMaxPath bytes and must be valid UTF-8.


struct uni_handle; // a location and a path inside it
struct uni_stream; // an open file
struct uni_dir;    // a folder listing
struct uni_txnmsg; // the answer of a transaction test

// Open access flags: 0 read, 1 write (the file is emptied), 2 read and
// write, 3 read and write of a file emptied (as 1, but the stream reads
// what it wrote; its open mode is then 2); 8 added to 1 or 2 keeps what
// the file holds and makes every write go to the end.
enum { UNI_READ = 0, UNI_WRITE = 1, UNI_UPDATE = 2, UNI_REWRITE = 3, UNI_APPEND = 8 };
// Listing flags: 1 files only, 2 every entry; 8 folders as well (with 1);
// 16 hidden entries (names beginning with '.') too; 32 bypass the cache.
enum { UNI_DIR_FILES = 1, UNI_DIR_ALL = 2, UNI_DIR_FOLDERS = 8, UNI_DIR_HIDDEN = 16,
       UNI_DIR_NOCACHE = 32 };
// Entry kinds of uni_dir_read_next.
enum { UNI_ENTRY_FILE = 0, UNI_ENTRY_DIR = 1 };
// uni_access modes: 0 exists, 2 writable, 4 readable; capability bits:
// 8 folders can be made, 16 files can be renamed, 32 files can be
// truncated, 128 the location is kept in memory.
enum { UNI_ACC_EXISTS = 0, UNI_ACC_WRITE = 2, UNI_ACC_READ = 4, UNI_ACC_DIRS = 8,
       UNI_ACC_RENAME = 16, UNI_ACC_TRUNCATE = 32, UNI_ACC_MEMORY = 128 };

// 1 when the path lies in a registered location; then *out (when given)
// receives a new handle on it, which the caller releases with
// uni_handle_on_release.
ZBASE_API int uni_is_unilocation(const char* path, uni_handle** out);
ZBASE_API void uni_handle_on_release(void* handle);
ZBASE_API void* uni_handle_on_copy(void* handle);
// The uni path the handle stands for ("" for null).
const char* uni_handle_path(const uni_handle* handle);

// Takes the folder part of `path` (everything up to its last '/') as the
// location of `target`: the setter receives the three location texts
// (location root "name:", folder path ending in '/', and an empty third),
// the handle is moved to that folder, and *consumed (when given) receives
// the bytes of `path` taken. 1 on success.
typedef int (*uni_component_setter)(void* target, const char* const texts[3]);
ZBASE_API int uni_set_location(const char* path, void* target, uni_handle* handle,
                               int* consumed, uni_component_setter setter);
// Builds into `buffer` (at most `size` units with the terminator) the
// location text of `source` from the three texts that the getter fills
// (slots of 260 units each); flag 1 drops a trailing '/'. 0 when nothing
// can be built or it does not fit.
typedef int (*uni_component_getter)(void* source, char16_t texts[3][260]);
ZBASE_API int uni_get_location(char16_t* buffer, void* source, int flags, int size,
                               uni_component_getter getter);

// Streams. A stream holds the file's bytes; what is written reaches the
// location on uni_flush and uni_close. Opening an existing file for
// writing does not empty it: it holds what it held until the stream's
// bytes replace it.
ZBASE_API uni_stream* uni_open(const char* path, int access, int create);
ZBASE_API int uni_close(uni_stream* stream); // always frees the stream
ZBASE_API int uni_read(uni_stream* stream, void* buffer, int64_t size, int64_t* count);
ZBASE_API int uni_fgets(uni_stream* stream, char* buffer, int64_t size, int64_t* count);
ZBASE_API int uni_ungetc(uni_stream* stream, int c);
ZBASE_API int uni_write(uni_stream* stream, const void* buffer, int64_t length, int flag);
ZBASE_API int uni_flush(uni_stream* stream);
ZBASE_API int uni_setbuf(uni_stream* stream, void* buffer, int flags, int size);
ZBASE_API int uni_tell(uni_stream* stream, int64_t* position);
ZBASE_API int uni_seek(uni_stream* stream, int64_t position);
ZBASE_API int uni_rewind(uni_stream* stream);
ZBASE_API int uni_unwind(uni_stream* stream);
ZBASE_API int uni_get_open_mode(uni_stream* stream, int* access);
// Open mode of the pfa layer as a uni access mode (as the open methods map it).
ZBASE_API int uni_convert_open_mode(int mode);

// Files and folders.
ZBASE_API int uni_access(const char* path, int mode);
ZBASE_API int uni_del_file(const char* path);
ZBASE_API int uni_truncate(const char* path, int64_t size);
ZBASE_API int uni_dir_create(const char* path);
ZBASE_API int uni_dir_remove(const char* path);
ZBASE_API int uni_dir_rename(const char* from, const char* to);
ZBASE_API int uni_is_dir(const char* path); // 1 folder, 0 not, -1 refused path
ZBASE_API int uni_dir_is_virtual(const char* path);
ZBASE_API int uni_file_get_size(const char* path, int64_t* size);
ZBASE_API int uni_file_get_times(const char* path, int64_t* created, int64_t* modified,
                                 int64_t* accessed);
// The parent folder of a location path into out (size bytes); "" for a
// location's root.
ZBASE_API int uni_extract_parent(const char* path, char* out, int size);
ZBASE_API int uni_root_dir_name(const char* path, char* out, int size);

// Listings. The handle's folder is listed; entries whose name does not match
// the pattern (glob, null or "" for every entry) are left out.
ZBASE_API uni_dir* uni_dir_open(uni_handle* handle, const char* pattern, void* arg1, void* arg2,
                                int flags);
// The registered locations' roots ("name:/"); group 1 the ordinary ones,
// group 2 the virtual ones. Options bit 32 gives none.
ZBASE_API uni_dir* uni_dir_open_roots(int options, int group);
ZBASE_API int uni_dir_rewind(uni_dir* dir);
// Next entry's name into `name` (size bytes) and its kind; 0 when there is
// none. Entries whose name does not fit are skipped.
ZBASE_API int uni_dir_read_next(uni_dir* dir, char* name, int size, int* kind, int hidden);
ZBASE_API int uni_dir_close(uni_handle* handle, uni_dir* dir);

// Directory cache switch (a process-wide flag; the scope is not used).
ZBASE_API void uni_set_dir_cache(int on, int64_t scope);
ZBASE_API int uni_get_dir_cache(void);

// Descriptions and properties.
ZBASE_API int uni_UI_info(const char* path, int isDir, char** text, void* arg1, void* arg2,
                          int* flag);
// Names, roots and descriptions of the registered locations; the arrays are
// the layer's own, valid until the next call. Answers the count.
ZBASE_API int uni_browser_shortcuts(int options, const char*** names, const char*** roots,
                                    const char*** descriptions);
ZBASE_API int uni_get_subclass(const char* path, char* className, int size);
// Property codes: 1 name, 2 size, 3 modification time, 4 kind ("file" or
// "folder"), 5 location name. *value is a new text (mknewstr) or null.
ZBASE_API int uni_get_property(const char* path, int code, char** value, void* arg);
ZBASE_API int uni_get_properties_url(const char* path, char** url);

// Detail views: every listing has the columns name, size and modified.
ZBASE_API int uni_dir_has_detail_configs(uni_handle* handle, void* arg);
ZBASE_API int uni_dir_get_num_detail_configs(uni_handle* handle, int key);
ZBASE_API int uni_dir_get_detail_config(uni_handle* handle, int key, int index, char* name,
                                        char16_t* wideName);
ZBASE_API int uni_dir_get_selected_detail_config(uni_handle* handle, int key, int* selected);
ZBASE_API int uni_dir_set_selected_detail_config(uni_handle* handle, void* arg, const char* name);
ZBASE_API int uni_dir_allowed_disp_modes(const char* path, void* modes, void* defaultMode);
ZBASE_API int uni_dir_num_detail_columns(uni_handle* handle);
ZBASE_API int uni_dir_get_column_info(uni_handle* handle, int column, void* title, void* width);
ZBASE_API int uni_dir_get_entry_info(uni_handle* handle, int column, const char* dir,
                                     const char* entry, char** text, void* arg);
ZBASE_API int uni_dir_free_entry_info(uni_handle* handle, void* text);
ZBASE_API int uni_dir_alloc_categories_for_type(uni_handle* handle, const char* path, int type,
                                                void* arg);
ZBASE_API int uni_dir_get_category_for_type(uni_handle* handle, int index, char16_t* name);
ZBASE_API int uni_dir_release_categories_for_type(uni_handle* handle);

// Searches. uni_lib_search looks for `target` in the folder `name` and then
// in the folders of `text` (separated by ';'); the path found goes to out
// (size bytes). uni_wildcard_search gives, in *list, a new xar of new texts
// (free with xar_str_free): the paths in folder `name` matching the pattern.
ZBASE_API int uni_lib_search(const char* name, const char* target, const char* text, char* out,
                             int size);
ZBASE_API int uni_wildcard_search(const char* name, const char* pattern, void** list);

// Tags and versions: these locations keep no tags and one version per file.
ZBASE_API int uni_ugctag_control(const char* path, int arg);
ZBASE_API int uni_ugctag_hint(const char* path, int arg1, void* arg2);
ZBASE_API int uni_get_file_version(const char* path, int which, int* version, void* arg);
ZBASE_API int uni_does_support_file_versioning(const char* path);
ZBASE_API int uni_does_guarantee_type(const char* path);
ZBASE_API int uni_does_use_instance_index(const char* path);
ZBASE_API int uni_does_have_content_names(const char* path);
ZBASE_API int uni_get_content_names(const char* path, void** names, int* count, int key);
ZBASE_API int uni_is_transient(const char* path);

// Transactions: at most one open per location folder path.
struct uni_hint {
    int32_t kind;
    void* value[4];
};
ZBASE_API int uni_open_txn(const char* path, int count, const uni_hint* hints);
ZBASE_API int uni_add_txn_hints(const char* path, int count, const uni_hint* hints);
// *message (when the pointer is given) receives a new message telling
// whether a transaction is open (kind 1) or not (kind 0).
ZBASE_API int uni_test_txn(const char* path, int count, const uni_hint* hints,
                           uni_txnmsg** message, void* arg);
ZBASE_API int uni_close_txn(const char* path);
ZBASE_API int uni_get_transaction_owner(const char* path, char* owner, int size);
ZBASE_API int uni_txnmsg_getinfo(const uni_txnmsg* message, int* kind);
ZBASE_API int uni_txnmsg_free(uni_txnmsg* message);
int uni_open_txn_count(void); // open transactions (tests)

// Content hints and neutral data kept per path.
ZBASE_API int uni_set_content_hints(const char* path, int openMode, int retrMode, int64_t a,
                                    int64_t b);
ZBASE_API int uni_release_content_hints(const char* path);
int uni_has_content_hints_for(const char* path); // tests
ZBASE_API int uni_get_2nd_content_msg(const char* path, void* a, void* b, void* c, void* d,
                                      int outputType);
ZBASE_API int uni_does_support_neutral_data(const char* path);
ZBASE_API int uni_put_neutral_data(const char* path, int size, const void* data);
// *data receives a new block (rlsmem) of *size bytes.
ZBASE_API int uni_get_neutral_data(const char* path, int flags, void** data, int64_t* size,
                                   void* arg);
} // namespace zbase_internal
