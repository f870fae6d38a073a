#pragma once
#include "platform/Service.h"

#include <QString>
#include <QStringList>
#include <functional>

namespace murmelo {

// The in-process transducer engine as the server lifecycle sees it. Which files make a
// model folder is known here; loading the library and the model is the engine's own code,
// which binds the entries below when it is built. Until then the engine is not available,
// holds no model, and a warm-up says so in the log.
struct SherpaEngine {
    static SherpaEngine& shared() { return sharedService<SherpaEngine>(); }

    static const QStringList& requiredFiles();
    // All required files exist in the folder.
    static bool modelComplete(const QString& dir);

    std::function<bool()> isAvailable = [] { return false; };
    std::function<bool()> isLoaded = [] { return false; };
    std::function<void(const QString& dir)> warmUp;
    std::function<void()> unload = [] {};
};

}  // namespace murmelo
