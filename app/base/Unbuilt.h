#pragma once
#include "base/Log.h"

#include <QString>
#include <functional>
#include <memory>

namespace murmelo {

// The default of a seam entry whose subsystem is not built yet: it does nothing and says so
// in the log, once per entry, so that a step that did nothing never looks as if it ran.
// Entries that cancel, flush or stop stay silent: with nothing built there is nothing to end.
template <class... Args>
std::function<void(Args...)> unbuilt(const char* entry) {
    auto said = std::make_shared<bool>(false);
    return [entry, said](Args...) {
        if (*said) return;
        *said = true;
        logLine(QStringLiteral("заглушка: ") + QString::fromLatin1(entry) +
                QStringLiteral(" — этой части в сборке ещё нет"));
    };
}

}  // namespace murmelo
