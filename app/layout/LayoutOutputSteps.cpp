#include "layout/LayoutOutput.h"
#include "layout/LayoutSourceSelection.h"

namespace murmelo {

void bindOutputSteps(LayoutSwitcher& engine, LayoutOutput& output, LayoutSourceSelection& selection) {
    LayoutSwitcher::Steps& s = engine.steps;
    s.sendKey = [&output](quint16 keyCode, quint64 flags) { output.sendKey(keyCode, flags); };
    s.sendUnicode = [&output](const QString& text, TextWriteOrigin origin) { return output.sendUnicode(text, origin); };
    s.sendBackspaces = [&output](int count, TextWriteOrigin origin) { output.sendBackspaces(count, origin); };
    s.deliverViaAX = [&output](int count, const QString& text) { return output.deliverViaAX(count, text); };
    s.deliver = [&output](int count, const QString& text, LayoutSwitcher::UndoTransport transport) {
        return output.deliver(count, text, transport);
    };
    s.pasteAtomically = [&output](const QString& text, TextWriteOrigin origin) { output.pasteAtomically(text, origin); };
    s.selectExactSource = [&selection](const QString& sourceID, bool retry, const std::optional<QString>& sound,
                                       std::function<void(bool)> completion) {
        return selection.selectExactSource(sourceID, retry, sound, std::move(completion));
    };
    s.selectLayout = [&selection](const QString& language, bool retry, const std::optional<QString>& sound,
                                  std::function<void(bool)> completion) {
        return selection.selectLayout(language, retry, sound, std::move(completion));
    };
    s.probeExcludedFieldCapability = [&output] { output.probeExcludedFieldCapability(); };
    s.fireIdleReselect = [&selection](const QString& sourceID) { return selection.fireIdleReselect(sourceID); };
}

}  // namespace murmelo
