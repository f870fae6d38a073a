#include "ai/CloudResultState.h"

#include "base/Localization.h"

namespace murmelo {

void CloudResultState::fill(const CloudResultRequest& r) {
    original = r.text;
    title = r.title;
    meta = r.meta;
    warning = r.warning;
    needsConfirmation = r.needsConfirmation;
    primaryTitle = r.primaryTitle;
    isEditable = true;
    showsActions = true;
    showsSecondaryCopy = r.showsSecondaryCopy;
    showsPrimaryAction = r.showsPrimaryAction;
    compact = r.compact;
    showsSettings = false;
    edited = false;
    hint = L(QStringLiteral("result.hint"), QStringLiteral("⌘↩ — %1$@ · Esc — закрыть"), {r.primaryTitle.toLower()});
    setText(r.text);
}

void CloudResultState::fillError(const QString& message, bool offerSettings) {
    original.clear();
    title = L(QStringLiteral("result.error.title"), QStringLiteral("Облако не выполнило просьбу"));
    meta.clear();
    warning.clear();
    needsConfirmation = true;
    isEditable = showsActions = showsSecondaryCopy = showsPrimaryAction = compact = false;
    showsSettings = offerSettings;
    edited = false;
    hint = L(QStringLiteral("result.error.hint"), QStringLiteral("Esc — закрыть · надиктовка цела, она в истории"));
    setText(message);
}

void CloudResultState::setText(const QString& text) {
    incoming = text;
    ++revision;
    textIsBlank = text.trimmed().isEmpty();
    // The text box reloads on this signal, at once.
    emit changed();
}

void CloudResultState::revert() {
    setText(original);
    edited = false;
    emit changed();
}

void CloudResultState::noteUserText(const QString& current) {
    const bool differs = current != original;
    const bool blank = current.trimmed().isEmpty();
    if (differs == edited && blank == textIsBlank) return;
    edited = differs;
    textIsBlank = blank;
    emit changed();
}

void CloudResultState::setCardHeight(double height) {
    if (height == cardHeight) return;
    cardHeight = height;
    emit changed();
}

}  // namespace murmelo
