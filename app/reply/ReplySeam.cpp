#include "reply/ReplySeam.h"

#include "dictation/DictationNeighbours.h"
#include "reply/QuickReplyPreviewController.h"
#include "reply/ReplyTrigger.h"

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
}

}  // namespace murmelo
