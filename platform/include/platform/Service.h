#pragma once

namespace murmelo {

// One installed instance per interface: the application installs the real backend at
// start, tests install the simulated one. Keeps backends swappable without a central
// registry that every interface would have to edit.
template <class T>
struct ServiceSlot {
    static inline T* instance = nullptr;
};

template <class T>
void installService(T* impl) { ServiceSlot<T>::instance = impl; }

template <class T>
T* installedService() { return ServiceSlot<T>::instance; }

// The installed instance, or one made on first use that lives as long as the process:
// for seams whose defaults are what the program does without an installed one.
template <class T>
T& sharedService() {
    if (T* installed = ServiceSlot<T>::instance) return *installed;
    static T process;
    return process;
}

// Installs an instance for the life of the scope and puts back what was there, so that
// nothing a test installs outlives the test.
template <class T>
class ScopedService {
public:
    explicit ScopedService(T* impl) : previous_(ServiceSlot<T>::instance) { ServiceSlot<T>::instance = impl; }
    explicit ScopedService(T& impl) : ScopedService(&impl) {}
    ~ScopedService() { ServiceSlot<T>::instance = previous_; }
    ScopedService(const ScopedService&) = delete;
    ScopedService& operator=(const ScopedService&) = delete;

private:
    T* previous_;
};

}  // namespace murmelo
