// File locations of the base library: named file areas that the bnfs
// server serves and the client reaches by "bnfs:" paths.
//
// Paths inside a location are absolute and '/'-separated ("/ZPI/zpi.xml").
// uniNormalizePath is the one check every location applies: a path must
// begin with '/', may not hold "." or ".." segments, control characters or
// more than kUniMaxPath bytes; repeated and trailing slashes are dropped.
//
// unimemlocation keeps files in memory (one process-wide instance through
// GetRegistered); a file can be written only into an existing folder.
// univfslocation shows other locations under mount points of its own.
#pragma once

#include "zbase_export.h"

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

constexpr size_t kUniMaxPath = 4096;

// False (with the reason in *error when given) for a path that is refused.
ZBASE_API bool uniNormalizePath(const char* path, std::string& out, std::string* error);

class ZBASE_API unilocation {
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
    virtual bool RemoveFile(const char* path, std::string* error) = 0;
    // Makes the folder and any missing folders above it; true when it
    // exists afterwards. No flags are defined yet (pass 0).
    virtual bool MakeDirectory(const char* path, int flags, std::string* error) = 0;
    virtual bool IsDirectory(const char* path) = 0;
    virtual bool IsFile(const char* path) = 0;

    // Process-wide table of locations: Register gives an id above 0 (the
    // location is not owned); Find answers null for an id that is not
    // registered.
    static int Register(unilocation* location);
    static void Unregister(int id);
    static unilocation* Find(int id);
};

class ZBASE_API unimemlocation : public unilocation {
public:
    explicit unimemlocation(const char* name = "mem");
    ~unimemlocation() override;

    // The process's in-memory location (made on first use, never destroyed).
    static unimemlocation* GetRegistered();

    const char* GetName() const override { return name_.c_str(); }
    bool ReadFile(const char* path, std::string& data, std::string* error) override;
    bool WriteFile(const char* path, const char* data, size_t size, std::string* error) override;
    bool RemoveFile(const char* path, std::string* error) override;
    bool MakeDirectory(const char* path, int flags, std::string* error) override;
    bool IsDirectory(const char* path) override;
    bool IsFile(const char* path) override;

    // Paths of the files held, in order (for tests and diagnostics).
    std::vector<std::string> ListFiles() const;

private:
    std::string name_;
    mutable std::mutex mutex_;
    std::set<std::string> dirs_;                                   // "/" always
    std::map<std::string, std::shared_ptr<const std::string>> files_;
};

class ZBASE_API univfslocation : public unilocation {
public:
    // `fileSystem` is accepted for the interface; a virtual location has no
    // files of its own, only what is mounted in it.
    explicit univfslocation(const char* name, void* fileSystem = nullptr);
    ~univfslocation() override;

    // Shows `target` (not owned; it must outlive the mount) at `mountPoint`:
    // the path mountPoint/x of this location is targetRoot/x of the target
    // (an empty or null targetRoot is the target's root). A read-only mount
    // refuses writes. Mounting again at the same point replaces the mount.
    bool Mount(const char* mountPoint, unilocation* target, bool readOnly, const char* targetRoot);
    bool Unmount(const char* mountPoint);

    const char* GetName() const override { return name_.c_str(); }
    bool ReadFile(const char* path, std::string& data, std::string* error) override;
    bool WriteFile(const char* path, const char* data, size_t size, std::string* error) override;
    bool RemoveFile(const char* path, std::string* error) override;
    bool MakeDirectory(const char* path, int flags, std::string* error) override;
    bool IsDirectory(const char* path) override;
    bool IsFile(const char* path) override;

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
};
