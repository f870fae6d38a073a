#include "dictation/DictationNeighbours.h"

#include "base/Log.h"
#include "dictation/DictationTiming.h"
#include "dictation/RecordingHold.h"
#include "platform/Workspace.h"

#include <QFileInfo>

namespace murmelo {

std::optional<DictationContext> DictationContext::current() {
    const auto front = Workspace::shared().frontmostApplication();
    if (!front) return std::nullopt;
    DictationContext c;
    c.bundleID = front->bundleIdentifier.isEmpty() ? QStringLiteral("pid.") + QString::number(front->pid)
                                                   : front->bundleIdentifier;
    c.appName = front->localizedName.isEmpty() ? QStringLiteral("Приложение") : front->localizedName;
    return c;
}

DictationNeighbours::DictationNeighbours() {
    // Until recognition is wired to the recording, a stopped take ends here: it is logged,
    // its timing closed, and its file kept, held or deleted like any finished dictation's,
    // so nothing piles up in the temporary folder.
    transcribeAndPaste = [](const StoppedTake& take, std::function<void(DictationVisualCompletion)> completion) {
        logLine(QStringLiteral("расшифровка записи ещё не подключена — запись ") + QFileInfo(take.path).fileName() +
                QStringLiteral(" не распознаётся"));
        DictationTiming::shared().abandon();
        settleRecording(take.path);
        completion(DictationVisualCompletion::idle);
    };
    addToHistory = [said = std::make_shared<bool>(false)](const QString&) {
        if (*said) return;
        *said = true;
        logLine(QStringLiteral("история диктовок ещё не подключена — запись в историю пропущена"));
    };
}

}  // namespace murmelo
