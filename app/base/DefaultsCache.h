#pragma once
#include "base/Defaults.h"

namespace murmelo {

// Counts every change of any settings store: a value set or removed, a store made. With the
// installed store's address it tells a reader whether what it read before still holds.
quint64 defaultsChanges();

// A value derived from the settings, read again only after a change (or with another store
// installed): for readers on every key. Each thread keeps its own.
template <class T>
class DefaultsCache {
public:
    template <class Read>
    const T& get(Read&& read) {
        const Defaults* store = &Defaults::shared();
        const quint64 changes = defaultsChanges();
        if (!valid_ || store != store_ || changes != changes_) {
            value_ = read(*store);
            store_ = store;
            changes_ = changes;
            valid_ = true;
        }
        return value_;
    }

private:
    bool valid_ = false;
    const Defaults* store_ = nullptr;
    quint64 changes_ = 0;
    T value_{};
};

}  // namespace murmelo
