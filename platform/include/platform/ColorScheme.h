#pragma once
#include <functional>
#include <optional>

namespace murmelo {

// The desktop's light or dark preference, for the "system" window theme.
class ColorScheme {
public:
    virtual ~ColorScheme() = default;
    // True when the desktop prefers dark, false when it prefers light; nothing when it states
    // no preference or cannot be asked.
    virtual std::optional<bool> prefersDark() = 0;
    // Runs on the main thread after the preference changed; one handler, replaced by the next.
    virtual void setChangeHandler(std::function<void()> handler) = 0;

    static ColorScheme& shared();
    static void install(ColorScheme* scheme);
};

}  // namespace murmelo
