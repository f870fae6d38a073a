#pragma once
#include <QString>
#include <optional>

namespace murmelo {

// The system's secure keyboard entry, which hides keys from every global observer. X11 has
// no such flag: its backend always answers "off", and a password field is recognised by
// its accessibility role instead.
class SecureEventInput {
public:
    virtual ~SecureEventInput() = default;
    virtual bool isEnabled() = 0;
    // The session registry dump in which the holder of secure input is named; none where
    // the system keeps no such record. Slow: call off the main thread.
    virtual std::optional<QString> holderRegistryText() = 0;

    static SecureEventInput& shared();
    static void install(SecureEventInput* secureInput);
};

}  // namespace murmelo
