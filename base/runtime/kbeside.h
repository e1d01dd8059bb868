// Values kept beside objects whose installed layout has no room for them,
// found by the object's address. Inside the libraries only (not installed).
#pragma once

#include <mutex>
#include <unordered_map>
#include <utility>

// One value per object: set while the object lives, dropped by its
// destructor, so that an address that a later object reuses starts without
// one. Safe from any thread. Make an instance with `new` and never delete
// it: objects (a caller's statics among them) may go after the libraries'
// own statics.
template <class Value> class KBeside {
public:
    // Gives `object` its value (replacing one it had). Raises std::bad_alloc
    // when no room is left.
    void Set(const void* object, Value value) {
        std::lock_guard<std::mutex> guard(lock_);
        values_.insert_or_assign(object, std::move(value));
    }
    // The object's value, or null when it has none. The value stays where
    // it is until the object's value is set again or dropped.
    const Value* Find(const void* object) const {
        std::lock_guard<std::mutex> guard(lock_);
        auto found = values_.find(object);
        return found == values_.end() ? nullptr : &found->second;
    }
    void Drop(const void* object) noexcept {
        std::lock_guard<std::mutex> guard(lock_);
        values_.erase(object);
    }

private:
    mutable std::mutex lock_;
    std::unordered_map<const void*, Value> values_;
};
