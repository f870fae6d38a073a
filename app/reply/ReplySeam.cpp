#include "reply/ReplySeam.h"

#include "dictation/DictationNeighbours.h"
#include "reply/QuickReplyPreviewController.h"

namespace murmelo {

ReplySeam::ReplySeam() {
    bindDictationNeighbours = [] {
        DictationNeighbours& n = DictationNeighbours::shared();
        n.replyTargetCurrent = [] { return ReplyTarget::current(); };
        // A kept command-key take closes the card of the reply before it.
        n.quickReplyPreviewCancel = [] { QuickReplyPreviewController::shared().cancel(); };
    };
    quickReplyPreviewCancel = [] { QuickReplyPreviewController::shared().cancel(); };
}

}  // namespace murmelo
