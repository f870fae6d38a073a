#pragma once
#include "base/Unbuilt.h"
#include "platform/Service.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace murmelo {

// What start-up, the one-shot modes and shutdown need of screen reply. Until that subsystem
// is built each entry does nothing or answers its empty value; the constructor binds what the
// library has built.
struct ReplySeam {
    static ReplySeam& shared() { return sharedService<ReplySeam>(); }
    ReplySeam();
    // Gives recording control the reply target of each press and the card's close; start-up
    // calls it before the dictation hotkeys are installed.
    std::function<void()> bindDictationNeighbours = [] {};
    std::function<void()> screenReplyCancel = [] {};
    std::function<void()> quickReplyPreviewCancel = [] {};
    // Prints its own report to standard output.
    std::function<void()> screenContextProbeRun = unbuilt("screenContextProbeRun");
    // Captures the window of the process whose title matches one of the patterns and
    // recognises its text; the completion may come on any thread, once.
    std::function<void(qint64 pid, const QStringList& titles,
                       std::function<void(std::optional<QString> text, QString error)> completion)>
        windowOCRRecognizeText = [](qint64, const QStringList&, auto completion) {
            completion(std::nullopt, QStringLiteral("распознавание окон в этой сборке недоступно"));
        };
};

}  // namespace murmelo
