#pragma once
#include "base/Unbuilt.h"
#include "platform/Service.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace murmelo {

// What start-up, the one-shot modes and shutdown need of the vocabulary subsystem and its corrector server. Until that subsystem
// is built each entry does nothing or answers its empty value; its library fills them.
struct VocabularySeam {
    static VocabularySeam& shared() { return sharedService<VocabularySeam>(); }
    std::function<void(bool force)> correctorStart = unbuilt<bool>("correctorStart");
    std::function<void()> correctorStop = [] {};
};

}  // namespace murmelo
