#pragma once
#include <QString>
#include <functional>

namespace murmelo {

// Notifications by name between processes of the same user. They carry no object and no
// user information and are delivered asynchronously; a name nobody observes goes nowhere.
class DistributedNotificationCenter {
public:
    virtual ~DistributedNotificationCenter() = default;
    // Does not wait for the observers to react.
    virtual void post(const QString& name) = 0;
    // The handler runs on the main thread for each notification of that name, for the life
    // of the process.
    virtual void addObserver(const QString& name, std::function<void()> handler) = 0;

    static DistributedNotificationCenter& shared();
    static void install(DistributedNotificationCenter* center);
};

}  // namespace murmelo
