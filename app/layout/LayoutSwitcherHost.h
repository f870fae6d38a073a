#pragma once
#include <QHash>
#include <QSet>
#include <QString>
#include <functional>
#include <optional>

namespace murmelo {

class LivePrefixes;

// What the layout decision models read of the switcher engine and ask it to do. The engine
// that handles keys derives from this; until it is here, the members below answer from the
// system (input sources, user defaults) and the shared lexicons, and the word-level state
// stays empty.
class LayoutSwitcherHost {
public:
    virtual ~LayoutSwitcherHost() = default;

    // The one host the application uses.
    static LayoutSwitcherHost& shared();
    static void install(LayoutSwitcherHost* host);

    // Raw values of how the current word began: "clean", "click", "nav", "mod", "bs".
    virtual QString bufStart() const { return QStringLiteral("clean"); }
    virtual QString prevWord() const { return {}; }
    virtual std::optional<QString> recentLang() const { return std::nullopt; }
    // Language of the word being converted live; empty when none.
    virtual QString liveLayout() const { return {}; }
    virtual bool hasCorrectionSink() const { return false; }

    // False when MURMELO_LAYOUT_OFF is "1"; else the user default "layoutSwitchEnabled", which
    // when never set is on exactly when the Russian layout is installed.
    virtual bool isEnabled() const;
    // The user default "layoutNativeSwitch", on when never set.
    virtual bool isNativeSwitch() const;

    // Drops the word in progress, as after a mouse click.
    virtual void noteCursorMoved() {}
    // Identifier of the current input source, or nothing.
    virtual std::optional<QString> observedSourceID() const;
    // Selects a source of the profile, checks a moment later that it arrived (once more
    // when asked to retry), counts a confirmed arrival as a flip of the front application
    // and tells the completion. False when nothing was selected.
    virtual bool selectExactSource(const QString& sourceID, bool retry, const QString& sound = {},
                                   std::function<void(bool)> completion = {});

    // Word checks of the lexicons (the shared tables): nothing when they have no answer.
    virtual std::optional<bool> isRealWordInLayout(const QString& word, const QString& layout, bool caseVariant);
    virtual std::optional<bool> isRealShortWordCurated(const QString& word, const QString& layout, bool caseVariant);
    // The live prefixes (the Russian beginnings that must not be flipped yet).
    virtual const LivePrefixes& livePrefixes() const;
    static constexpr int capsAbbreviationMinLen = 2;
    static constexpr int capsAbbreviationMaxLen = 4;

    // "ru" or "en" when the word's letters are all of one script; nothing otherwise.
    static std::optional<QString> sourceLayout(const QString& word);

    // Counts a finished word for the front application.
    void noteWordForStats(const QString& word, bool live);
    // The front application changed: switch the counts to it and select its learned layout.
    void handleAppActivated(const std::optional<QString>& bundle, const QString& name);
    // The language the front application's learned counts favour; none without one.
    static std::optional<QString> frontAppPrior();
    // Follows the workspace's application activations (part of the engine's start).
    void observeAppActivations();
};

}  // namespace murmelo
