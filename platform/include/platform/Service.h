#pragma once
#include <cassert>

namespace murmelo {

// One installed instance per platform interface: the application installs the real
// backend at start, tests install the simulated one. Keeps backends swappable without a
// central registry that every interface would have to edit.
template <class T>
struct ServiceSlot {
    static inline T* instance = nullptr;
};

template <class T>
void installService(T* impl) { ServiceSlot<T>::instance = impl; }

template <class T>
T* installedService() { return ServiceSlot<T>::instance; }

}  // namespace murmelo
