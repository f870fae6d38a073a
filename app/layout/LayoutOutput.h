#pragma once
#include "input/TextWriteTrace.h"
#include "layout/LayoutGates.h"

#include <QDateTime>
#include <optional>

namespace murmelo {

// The engine's hands in other applications' fields: marked synthetic keys, accessibility
// writes and clipboard pastes, and the one erase-then-type step corrections and undo use.
// Main thread only.
class LayoutOutput {
public:
    explicit LayoutOutput(LayoutAppGates& gates) : gates_(gates) {}

    // One key down and up, marked as ours. Only a bare Return is traced.
    void sendKey(quint16 keyCode, quint64 flags = 0);
    // Types the text one grapheme at a time; the finished trace, or none for empty text.
    std::optional<TextWriteTraceToken> sendUnicode(const QString& text, TextWriteOrigin origin = TextWriteOrigin::layout);
    void sendBackspaces(int count, TextWriteOrigin origin = TextWriteOrigin::layout);
    // Replaces the count characters before the caret; true when written and confirmed.
    bool deliverViaAX(int count, const QString& text);
    // Erases count characters and types the text; the route used.
    TextWriteRoute deliver(int count, const QString& text, LayoutSwitcher::UndoTransport transport);
    void pasteAtomically(const QString& text, TextWriteOrigin origin);

    // When the engine last wrote into a field itself; screen readings just after it are not the user's.
    QDateTime screenTruthLastWriteAt;

private:
    int postPair(quint16 keyCode, quint64 flags, const QString& unicode = {});
    void eraseByKeys(int count, TextWriteOrigin origin);
    void noteWrite();

    LayoutAppGates& gates_;
};

}  // namespace murmelo
