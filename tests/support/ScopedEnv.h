#pragma once
#include <QByteArray>
#include <QtGlobal>
#include <optional>

namespace murmelo::test {

// Sets an environment variable (or removes it) for the scope, and puts back what was there.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::optional<QByteArray>& value)
        : name_(name), had_(qEnvironmentVariableIsSet(name)), previous_(qgetenv(name)) {
        if (value) qputenv(name, *value);
        else qunsetenv(name);
    }
    ~ScopedEnv() {
        if (had_) qputenv(name_, previous_);
        else qunsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    bool had_;
    QByteArray previous_;
};

}  // namespace murmelo::test
