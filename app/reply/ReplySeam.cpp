#include "reply/ReplySeam.h"

#include "dictation/DictationNeighbours.h"
#include "reply/QuickReplyPreviewController.h"
#include "reply/ReplyTrigger.h"
#include "reply/WindowOCR.h"

namespace murmelo {

ReplySeam::ReplySeam() {
    bindDictationNeighbours = [] {
        DictationNeighbours& n = DictationNeighbours::shared();
        n.replyTargetCurrent = [] { return ReplyTarget::current(); };
        n.replyTriggerByKey = [](const QString& text) { return ReplyTrigger::byKey(text); };
        n.replyTriggerDetect = [](const QString& text, const std::optional<QString>& app) {
            return ReplyTrigger::detect(text, app);
        };
        // A kept command-key take closes the card of the reply before it.
        n.quickReplyPreviewCancel = [] { QuickReplyPreviewController::shared().cancel(); };
    };
    quickReplyPreviewCancel = [] { QuickReplyPreviewController::shared().cancel(); };
    // The answer comes on the recognition worker, or at once on this thread when the capture
    // is refused: the one-shot mode waits on the main thread for it.
    windowOCRRecognizeText = [](qint64 pid, const QStringList& titles, auto completion) {
        WindowOCR::recognizeText(qint32(pid), titles,
                                 [completion](std::optional<QString> text, std::optional<WindowOCR::Failure> failure) {
                                     completion(text, failure ? failure->description() : QString());
                                 });
    };
}

}  // namespace murmelo
