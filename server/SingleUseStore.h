#pragma once
// Entries that are good for one use and until they expire (sign-in challenges,
// authorization codes). Taking an entry removes it whatever the caller then
// makes of it, so a replay always fails. Entry needs an `int64_t expires`
// (seconds, same clock as the `now` passed in).
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <map>
#include <mutex>
#include <string>
#include <utility>

template <class Entry>
class SingleUseStore {
public:
    // Which entry makes room when the store is full after dropping the expired ones.
    enum class WhenFull { DropSoonestExpiring, DropFirstKey };

    SingleUseStore(size_t capacity, WhenFull whenFull) : capacity(capacity), whenFull(whenFull) {}

    void Add(const std::string& key, Entry entry, int64_t now) {
        std::lock_guard<std::mutex> lock(mutex);
        for (auto it = open.begin(); it != open.end();) it = it->second.expires < now ? open.erase(it) : std::next(it);
        while (!open.empty() && open.size() >= capacity) open.erase(Victim());
        open[key] = std::move(entry);
    }

    // False when the key is unknown or its entry has expired; either way it is gone afterwards.
    bool Take(const std::string& key, Entry& out, int64_t now) {
        std::lock_guard<std::mutex> lock(mutex);
        auto it = open.find(key);
        if (it == open.end()) return false;
        out = it->second;
        open.erase(it);
        return out.expires >= now;
    }

private:
    typename std::map<std::string, Entry>::iterator Victim() {
        auto victim = open.begin();
        if (whenFull == WhenFull::DropSoonestExpiring)
            for (auto it = open.begin(); it != open.end(); ++it)
                if (it->second.expires < victim->second.expires) victim = it;
        return victim;
    }

    const size_t capacity;
    const WhenFull whenFull;
    std::mutex mutex;
    std::map<std::string, Entry> open;
};
