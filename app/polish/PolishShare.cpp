#include "polish/PolishShare.h"

#include "base/Defaults.h"
#include "base/Log.h"
#include "layout/SystemSubstitutions.h"
#include "platform/Service.h"
#include "platform/Workspace.h"

#include <QSet>

namespace murmelo {

namespace {

// One line per missing piece and run, so the log says what polish could not do.
void missingOnce(const QString& line) {
    static QSet<QString> said;
    if (said.contains(line)) return;
    said.insert(line);
    logLine(line);
}

}  // namespace

PolishShare& PolishShare::shared() { return sharedService<PolishShare>(); }

bool PolishShare::protects(const QString& word) {
    if (polishProtects) return polishProtects(word);
    // Without the protected-word lists every word stays the person's.
    missingOnce(QStringLiteral("polish: списка защищённых слов ещё нет — все слова остаются авторскими"));
    return true;
}

bool PolishShare::typeFix(const AXElementPtr& el, const QString& value, AXRange fix, qint64 caret, const QString& have,
                          const QString& want, const QString& tag, qint64 maxKeys, bool trustGap) {
    if (polishTypeFix) return polishTypeFix(el, value, fix, caret, have, want, tag, maxKeys, trustGap);
    missingOnce(QStringLiteral("polish: набора правки синтетикой ещё нет — эта ступень правку не ставит"));
    return false;
}

void PolishShare::note(const QString& rule, const QString& before, const QString& after, qint64 at,
                       std::optional<qint64> pid) {
    if (journalNote) journalNote(rule, before, after, at, pid);
    else missingOnce(QStringLiteral("polish: журнала полировки ещё нет — правка в него не записана"));
}

void PolishShare::edits(const QString& before, const QString& after) {
    if (showEdits) showEdits(before, after);
    else missingOnce(QStringLiteral("polish: карточки правок ещё нет — правка не показана"));
}

void PolishShare::cardNote(const QString& note, bool isShort) {
    if (showNote) {
        showNote(note, isShort);
        return;
    }
    // The note still reaches the log, so the user's reason is never lost.
    logLine(QStringLiteral("polish/card: карточки ещё нет — заметка «") + note + QStringLiteral("»"));
}

void PolishShare::marks(const AXElementPtr& el, qint64 base, const QString& before, const QString& after) {
    if (underline) underline(el, base, before, after);
    else missingOnce(QStringLiteral("polish: подчёркивания правок ещё нет — места правки не отмечены"));
}

bool isPolishCardEnabled() { return Defaults::shared().boolValue(QStringLiteral("polishCardEdits")); }

bool isPolishTrustModel() {
    if (!Defaults::shared().boolValue(QStringLiteral("polishTrustModel"))) return false;
    const std::optional<AppIdentity> front = Workspace::shared().frontmostApplication();
    const std::optional<QString> bundle = front ? std::optional<QString>(front->bundleIdentifier) : std::nullopt;
    if (SystemSubstitutions::appliesSubstitutions(front) &&
        SystemSubstitutions::value(QStringLiteral("NSAutomaticSpellingCorrectionEnabled"), bundle) == true) {
        static QSet<QString> noted;
        const QString key = bundle.value_or(QStringLiteral("?"));
        if (!noted.contains(key)) {
            noted.insert(key);
            logLine(QStringLiteral("polish: в системе включено своё исправление — слова оставляю ему, правлю знаки"));
        }
        return false;
    }
    return true;
}

}  // namespace murmelo
