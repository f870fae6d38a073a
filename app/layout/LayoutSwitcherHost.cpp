#include "layout/LayoutSwitcherHost.h"

#include "base/Defaults.h"
#include "base/Log.h"
#include "layout/LayoutAppStats.h"
#include "layout/LayoutLexicons.h"
#include "layout/TypingFixLanguages.h"
#include "layout/ManualInputSourceProfileV1.h"
#include "layout/WordChecks.h"
#include "platform/InputSources.h"
#include "platform/MainQueue.h"
#include "platform/Service.h"
#include "platform/Workspace.h"

#include <memory>

namespace murmelo {

namespace {

// How long after a selection the source is checked for having arrived.
constexpr double SELECT_VERIFY_DELAY = 0.25;

bool isAsciiLetter(QChar c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
bool isCyrillicLetter(QChar c) {
    return (c >= u'а' && c <= u'я') || (c >= u'А' && c <= u'Я') || c == u'ё' || c == u'Ё';
}

bool currentIs(const QString& sourceID) {
    const auto current = InputSources::shared().currentSource();
    return current && current->id == sourceID;
}

void verifySelection(const QString& sourceID, bool retry, std::function<void(bool)> completion) {
    MainQueue::shared().after(SELECT_VERIFY_DELAY, [sourceID, retry, completion = std::move(completion)]() mutable {
        if (currentIs(sourceID)) {
            LayoutAppStats::shared().noteFlip();
            if (completion) completion(true);
        } else if (retry && InputSources::shared().select(sourceID)) {
            verifySelection(sourceID, false, std::move(completion));
        } else if (completion) {
            completion(false);
        }
    });
}

}  // namespace

LayoutSwitcherHost& LayoutSwitcherHost::shared() { return sharedService<LayoutSwitcherHost>(); }

void LayoutSwitcherHost::install(LayoutSwitcherHost* host) { installService(host); }

bool LayoutSwitcherHost::isEnabled() const {
    if (qgetenv("MURMELO_LAYOUT_OFF") == "1") return false;
    if (Defaults::shared().contains(QStringLiteral("layoutSwitchEnabled")))
        return Defaults::shared().boolValue(QStringLiteral("layoutSwitchEnabled"));
    return TypingFixLanguages::isAvailable();
}

bool LayoutSwitcherHost::isNativeSwitch() const {
    if (!Defaults::shared().contains(QStringLiteral("layoutNativeSwitch"))) return true;
    return Defaults::shared().boolValue(QStringLiteral("layoutNativeSwitch"));
}

std::optional<QString> LayoutSwitcherHost::observedSourceID() const {
    if (auto current = InputSources::shared().currentSource()) return current->id;
    return std::nullopt;
}

bool LayoutSwitcherHost::selectExactSource(const QString& sourceID, bool retry, const QString& /*sound*/,
                                           std::function<void(bool)> completion) {
    if (!ManualInputSourceProfileV1::contains(sourceID)) return false;
    if (!InputSources::shared().select(sourceID)) {
        if (completion) completion(false);
        return false;
    }
    verifySelection(sourceID, retry, std::move(completion));
    return true;
}

namespace {

// One set of checks over the shared tables, so that its case-variant memory lasts; made
// again when other tables are installed in their place.
WordChecks& sharedChecks() {
    static LayoutLexicons* boundTo = nullptr;
    static std::unique_ptr<WordChecks> checks;
    LayoutLexicons& lex = LayoutLexicons::shared();
    if (!checks || boundTo != &lex) {
        checks = std::make_unique<WordChecks>(lex);
        boundTo = &lex;
    }
    return *checks;
}

}  // namespace

std::optional<bool> LayoutSwitcherHost::isRealWordInLayout(const QString& word, const QString& layout, bool caseVariant) {
    return sharedChecks().isRealWordInLayout(word, layout, caseVariant);
}

std::optional<bool> LayoutSwitcherHost::isRealShortWordCurated(const QString& word, const QString& layout,
                                                               bool caseVariant) {
    return sharedChecks().isRealShortWordCurated(word, layout, caseVariant);
}

const LivePrefixes& LayoutSwitcherHost::livePrefixes() const { return LayoutLexicons::shared().livePrefixes; }

std::optional<QString> LayoutSwitcherHost::sourceLayout(const QString& word) {
    int latin = 0, cyrillic = 0;
    for (QChar c : word) {
        if (isAsciiLetter(c)) ++latin;
        else if (isCyrillicLetter(c)) ++cyrillic;
    }
    if (latin > 0 && cyrillic == 0) return QStringLiteral("en");
    if (cyrillic > 0 && latin == 0) return QStringLiteral("ru");
    return std::nullopt;
}

void LayoutSwitcherHost::noteWordForStats(const QString& word, bool live) {
    if (word.isEmpty()) return;
    QString letters;
    for (QChar c : word)
        if (c.isLetter()) letters += c;
    if (letters.isEmpty()) return;

    std::optional<QString> lang;
    if (live) {
        const QString l = liveLayout();
        if (!l.isEmpty()) lang = l;
    } else {
        lang = sourceLayout(letters);
    }
    const bool soloLatin = letters.size() == 1 && letters.at(0).unicode() < 128;
    LayoutAppStats::shared().noteWord(lang, soloLatin);
}

std::optional<QString> LayoutSwitcherHost::frontAppPrior() {
    const std::optional<AppIdentity> front = Workspace::shared().frontmostApplication();
    if (!front || front->bundleIdentifier.isEmpty()) return std::nullopt;
    return LayoutAppStats::shared().prior(front->bundleIdentifier);
}

void LayoutSwitcherHost::handleAppActivated(const std::optional<QString>& bundle, const QString& name) {
    LayoutAppStats::shared().appActivated(bundle, name);
    noteCursorMoved();
    if (hasCorrectionSink() || !isEnabled() || !isNativeSwitch() || !bundle) return;

    const std::optional<QString> p = LayoutAppStats::shared().prior(*bundle);
    if (!p) return;
    const std::optional<QString> current = observedSourceID();
    if (!ManualInputSourceProfileV1::contains(current)) return;
    if (ManualInputSourceProfileV1::language(current) == p) return;
    const std::optional<QString> target = ManualInputSourceProfileV1::sourceID(*p);
    if (!target) return;

    selectExactSource(*target, false, {}, [name, lang = *p](bool arrived) {
        if (arrived)
            logLine(QStringLiteral("layout/прайор: ") + name + QStringLiteral(" → ") + lang +
                    QStringLiteral(" (выучено по истории решений)"));
    });
}

void LayoutSwitcherHost::observeAppActivations() {
    Workspace::shared().setActivationHandler([this](const AppIdentity& app) {
        std::optional<QString> bundle;
        if (!app.bundleIdentifier.isEmpty()) bundle = app.bundleIdentifier;
        QString name = !app.localizedName.isEmpty() ? app.localizedName
                       : bundle                     ? *bundle
                                                    : QStringLiteral("?");
        handleAppActivated(bundle, name);
    });
}

}  // namespace murmelo
