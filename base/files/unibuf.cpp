#include "unibuf.h"

#include <map>
#include <mutex>

namespace {
struct UnibufRegistry {
    std::mutex lock;
    std::map<std::u16string, std::string> files;
};
// Never destroyed, so registrations made or removed by static destructors
// of other libraries stay safe.
UnibufRegistry& registry() {
    static UnibufRegistry* r = new UnibufRegistry;
    return *r;
}
} // namespace

bool RegisterUnibuf(const char* file, const char16_t* name, btkWString* location) {
    if (!file || !*file || !name || !*name)
        return false;
    UnibufRegistry& r = registry();
    {
        std::lock_guard<std::mutex> guard(r.lock);
        if (!r.files.emplace(std::u16string(name), std::string(file)).second)
            return false;
    }
    if (location)
        *location = name;
    return true;
}

bool UnregisterUnibuf(const char16_t* key) {
    if (!key)
        return false;
    UnibufRegistry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    return r.files.erase(std::u16string(key)) != 0;
}

bool FindUnibuf(const char16_t* key, std::string* file) {
    if (!key)
        return false;
    UnibufRegistry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    auto it = r.files.find(std::u16string(key));
    if (it == r.files.end())
        return false;
    if (file)
        *file = it->second;
    return true;
}
