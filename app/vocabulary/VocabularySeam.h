#pragma once
#include "base/Unbuilt.h"
#include "platform/Service.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace murmelo {

// What start-up, the one-shot modes and shutdown need of the vocabulary subsystem and its corrector server. The constructor
// binds what the library has built.
struct VocabularySeam {
    static VocabularySeam& shared() { return sharedService<VocabularySeam>(); }
    VocabularySeam();
    // Gives recording control the vocabulary entries a dictation needs; start-up calls it
    // before the dictation hotkeys are installed.
    std::function<void()> bindDictationNeighbours = [] {};
    std::function<void(bool force)> correctorStart = unbuilt<bool>("correctorStart");
    std::function<void()> correctorStop = [] {};
};

}  // namespace murmelo
