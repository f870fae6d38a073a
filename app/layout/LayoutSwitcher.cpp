#include "layout/LayoutSwitcher.h"

#include "layout/KeyboardTruth.h"

#include "layout/LayoutLexicons.h"

#include "base/Bundle.h"
#include "base/Defaults.h"
#include "base/DefaultsCache.h"
#include "base/DevPaths.h"
#include "base/Log.h"
#include "input/SyntheticInputPostGate.h"
#include "layout/LayoutAppStats.h"
#include "layout/LayoutMaps.h"
#include "layout/LayoutParts.h"
#include "layout/LayoutSwitcherHost.h"
#include "layout/ShadowCoreV2.h"
#include "layout/TypingFixLanguages.h"
#include "layout/ManualInputSourceProfileV1.h"
#include "platform/InputSources.h"
#include "platform/KeyEventPoster.h"
#include "platform/Workspace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdlib>

namespace murmelo {

const QString LayoutSwitcher::ENABLED_KEY = QStringLiteral("layoutSwitchEnabled");
const QString LayoutSwitcher::EXC_KEY = QStringLiteral("layoutExceptions");
const QString LayoutSwitcher::NAMES_KEY = QStringLiteral("spellLearnedNames");
const QString LayoutSwitcher::BRANDS_KEY = QStringLiteral("layoutBrandsSeen");
const QString LayoutSwitcher::SPELL_GUESS_KEY = QStringLiteral("layoutSpellGuess");
const QString LayoutSwitcher::LIVE_KEY = QStringLiteral("layoutLiveConvert");
const QString LayoutSwitcher::EXCLUDED_APPS_KEY = QStringLiteral("layoutExcludedApps");
const QString LayoutSwitcher::NATIVE_KEY = QStringLiteral("layoutNativeSwitch");
const QString LayoutSwitcher::LEARNED_DELIVERY_KEY = QStringLiteral("layoutUnreliableDeliveryApps");

namespace {

constexpr quint64 kControlOptionCommand = KeyFlags::control | KeyFlags::option | KeyFlags::command;
constexpr quint64 kShiftControlOptionCommand = KeyFlags::shift | kControlOptionCommand;

QSet<QString> stringSet(const QString& key) { return Defaults::shared().stringSetValue(key); }

void storeStringSet(const QString& key, const QSet<QString>& set) {
    QVariantList list;
    for (const QString& s : set) list.append(s);
    Defaults::shared().set(key, list);
}

// A Boolean whose default is true: only a stored value counts.
bool boolDefaultTrue(const Defaults& d, const QString& key) { return d.contains(key) ? d.boolValue(key) : true; }

QString resolveModelsDir() {
    const QString dev = murmeloRepoPath(QStringLiteral("layout/models"));
    if (QFileInfo::exists(dev)) return dev;
    const QString resources = Bundle::resourcesPath();
    if (!resources.isEmpty() && QFileInfo(resources).isDir()) return resources + QStringLiteral("/layout-models");
    return dev;
}

double readThreshold(const QString& dir) {
    QFile f(dir + QStringLiteral("/threshold.json"));
    if (!f.open(QIODevice::ReadOnly)) return 0.5;
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll());
    if (!doc.isObject()) return 0.5;
    const QJsonValue v = doc.object().value(QStringLiteral("threshold"));
    return v.isDouble() ? v.toDouble() : 0.5;
}

// Shortest exact decimal form (0.5 as 0.5, 1 as 1).
QString number(double d) { return QString::number(d, 'g', QLocale::FloatingPointShortest); }

double uptime() { return Clock::shared().uptime(); }

bool isBoundary(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r');
}

bool endsSentence(const QString& word) {
    static const QString closing = QStringLiteral("\"\u00BB)'\u201D\u201C]");
    int end = word.size();
    while (end > 0 && closing.contains(word[end - 1])) --end;
    if (end == 0) return false;
    const QChar last = word[end - 1];
    return last == QLatin1Char('.') || last == QLatin1Char('!') || last == QLatin1Char('?') || last == QChar(0x2026);
}

// The key's characters: at most four UTF-16 units, split into code points.
QStringList characters(const QString& text) {
    QStringList out;
    const QString head = text.left(4);
    for (int i = 0; i < head.size(); ++i) {
        if (head[i].isHighSurrogate() && i + 1 < head.size() && head[i + 1].isLowSurrogate()) {
            out.append(head.mid(i, 2));
            ++i;
        } else {
            out.append(QString(head[i]));
        }
    }
    return out;
}

}  // namespace

const QSet<QString>& layoutExceptionSeed() {
    static const QSet<QString> seed = [] {
        const char* words[] = {
            "npm", "api", "url", "json", "http", "https", "html", "css", "sql", "git", "github", "sdk", "cli", "ssh",
            "ios", "macos", "android", "svg", "png", "jpg", "jpeg", "gif", "pdf", "csv", "mvp", "arr", "cac", "ltv",
            "aso", "seo", "kpi", "roi", "saas", "gpu", "cpu", "ram", "ssd", "app", "repo", "async", "await", "base64",
            "chatgpt", "claude", "openai", "gemini", "sentry", "figma", "linear", "notion", "slack", "expo", "swift",
            "xcode", "react", "vue", "node", "python", "bash", "docker", "redis", "postgres", "nginx", "whisper",
            "murmelo", "testflight", "gumroad", "paywall", "bootstrap", "recraft", "higgsfield", "veo", "maestro",
            "ollama", "karabiner", "electron", "metal", "bcs", "ipad", "ipados", "tiktok", "paypal", "netflix",
            "airbnb", "dsr", "ui", "ux", "cta", "sr", "br", "xp", "eu", "ua", "cpi", "cpm", "cpa", "regen", "regex",
            "eye", "lvl", "rn", "rg", "fp", "cr", "pt", "ct", "rs", "pp", "be", "us", "fe", "qa", "pm", "tbd", "todo",
            "wip", "poc", "ocr", "llm", "rag", "gpt", "ph", "jtbd", "som", "sam", "tam", "pnl", "fx", "eq", "iq",
            "arpu", "ls", "cd", "rm", "mv", "cp", "mkdir", "grep", "sed", "awk", "cat", "head", "tail", "find",
            "xargs", "chmod", "chown", "curl", "wget", "scp", "tar", "gzip", "unzip", "make", "cmake", "cargo",
            "rustc", "swiftc", "xcrun", "xcodebuild", "codesign", "brew", "pip", "pytest", "npx", "yarn", "sudo",
            "echo", "export", "source", "kill", "killall", "top", "touch", "diff", "patch", "defaults", "plutil",
            "tmux", "vim", "nano", "less", "man", "which", "env", "alias", "clear", "sh", "cmd", "mrr", "roas", "faq",
            "exit", "kr", "pl", "hr", "fve", "dvm", "cm", "tm", "db", "dsgn", "llc", "gdv", "ccs", "nsw", "ckd", "crd",
            "tld", "ugc", "ttl", "cfr", "rcvs", "fci", "ivdd", "gfi", "ccj", "bsd", "rmsf", "rnd", "rtl", "dgccrf",
            "otc", "csat", "do", "to", "we", "so", "no", "go", "on", "at", "or", "up", "my", "me", "it", "is", "if",
            "an", "as", "am", "ok", "ping", "zip", "install", "build", "test", "run", "clone", "push", "pull", "commit",
            "branch", "checkout", "merge", "rebase", "status", "log", "stash", "fetch", "main", "origin", "master",
            "launchctl", "pkill", "whoami", "printf", "history", "rsync", "diskutil", "rustup", "eslint", "prettier",
            "tsc", "deno", "bun", "pnpm", "dotnet", "gradle", "maven", "mvn", "kubectl", "helm", "terraform",
            "ansible", "vagrant", "systemctl", "journalctl", "htop", "lsof", "netstat", "ifconfig", "traceroute",
            "dig", "nslookup", "host", "sftp", "mount", "umount", "osascript", "screencapture", "caffeinate", "pmset",
            "ioreg", "sysctl", "nvram", "pwd", "mkfifo", "ln", "du", "zsh", "chsh", "more", "nl", "tr", "cut", "sort",
            "uniq", "wc", "tee",
        };
        QSet<QString> s;
        for (const char* w : words) s.insert(QString::fromLatin1(w));
        return s;
    }();
    return seed;
}

const QSet<QString>& urlSchemes() {
    static const QSet<QString> schemes = {QStringLiteral("http"),  QStringLiteral("https"), QStringLiteral("http:"),
                                          QStringLiteral("https:"), QStringLiteral("www"),   QStringLiteral("www.")};
    return schemes;
}

QString LayoutSwitcher::bufStartName(BufStart s) {
    switch (s) {
    case BufStart::clean: return QStringLiteral("clean");
    case BufStart::click: return QStringLiteral("click");
    case BufStart::nav: return QStringLiteral("nav");
    case BufStart::mod: return QStringLiteral("mod");
    case BufStart::bs: return QStringLiteral("bs");
    }
    return {};
}

std::optional<LayoutSwitcher::BufStart> LayoutSwitcher::bufStartFromName(const QString& name) {
    for (BufStart s : {BufStart::clean, BufStart::click, BufStart::nav, BufStart::mod, BufStart::bs}) {
        if (bufStartName(s) == name) return s;
    }
    return std::nullopt;
}

const QSet<qint64>& LayoutSwitcher::navKeys() {
    static const QSet<qint64> keys = {123, 124, 125, 126, 115, 116, 117, 119, 121};
    return keys;
}

LayoutSwitcher::LayoutSwitcher(LayoutParts& parts, LayoutRules rules)
    : modelsDir(resolveModelsDir()),
      boundaryGates(rules.gates),
      liveLadder(rules.ladder),
      graceWindow(LayoutRules::parseNumber(LayoutRules::processEnvironment()("MURMELO_GRACE_WINDOW"), 1.0)),
      openDictConverts(std::getenv("MURMELO_OPEN_DICT_NO_CONVERT") == nullptr),
      parts_(parts),
      rules_(std::move(rules)) {
    learnedUnreliableBundles = stringSet(LEARNED_DELIVERY_KEY);
}

LayoutSwitcher::~LayoutSwitcher() {
    watchdog_.cancel();
    pendingLayoutSelection.cancel();
    QObject::disconnect(enabledWatch_);
    if (started_) Workspace::shared().setActivationHandler({});
}

namespace {
LayoutSwitcher* applicationEngine = nullptr;
}

LayoutSwitcher& LayoutSwitcher::shared() {
    if (!applicationEngine) qFatal("layout: the switcher engine is asked for before the shell made it");
    return *applicationEngine;
}

void LayoutSwitcher::install(LayoutSwitcher* engine) { applicationEngine = engine; }

// ---- Settings ----

bool LayoutSwitcher::typingFixLanguagesAvailable() { return TypingFixLanguages::isAvailable(); }

bool LayoutSwitcher::isEnabled() const {
    if (rules_.forcedOff) return false;
    // Asked several times on every key.
    thread_local DefaultsCache<std::optional<bool>> stored;
    const std::optional<bool> on = stored.get([](const Defaults& d) {
        return d.contains(ENABLED_KEY) ? std::optional(d.boolValue(ENABLED_KEY)) : std::nullopt;
    });
    if (on) return *on;
    return typingFixLanguagesAvailable();
}

void LayoutSwitcher::setEnabled(bool on) {
    Defaults::shared().set(ENABLED_KEY, on);
    if (on) loadIfNeeded();
    buf.clear();
    bufChars_ = 0;
    recentLang.reset();
}

bool LayoutSwitcher::isSpellGuessEnabled() const { return Defaults::shared().boolValue(SPELL_GUESS_KEY); }

void LayoutSwitcher::setSpellGuessEnabled(bool on) {
    // The spelling-guess tables load with the lexicon; nothing more to start here.
    Defaults::shared().set(SPELL_GUESS_KEY, on);
}

bool LayoutSwitcher::isLive() const {
    thread_local DefaultsCache<bool> live;
    return live.get([](const Defaults& d) { return boolDefaultTrue(d, LIVE_KEY); });
}
bool LayoutSwitcher::isNativeSwitch() const { return boolDefaultTrue(Defaults::shared(), NATIVE_KEY); }
QSet<QString> LayoutSwitcher::excludedAppBundles() const {
    // Every key asks whether the focused application is excluded: the set is built once per change.
    thread_local DefaultsCache<QSet<QString>> excluded;
    return excluded.get([](const Defaults& d) { return d.stringSetValue(EXCLUDED_APPS_KEY); });
}

void LayoutSwitcher::setPrevWord(const QString& word) {
    if (word.isEmpty()) prevWord2_.clear();
    else prevWord2_ = prevWord_;
    prevWord_ = word;
}

std::optional<QString> LayoutSwitcher::systemSourceID() const { return parts_.systemSourceID(); }

std::optional<QString> LayoutSwitcher::truthFromKeysAnswer(bool ruleOn, const std::optional<QString>& observedByKeys,
                                                           const std::function<std::optional<QString>()>& system) {
    if (ruleOn && observedByKeys) {
        if (auto source = ManualInputSourceProfileV1::sourceID(*observedByKeys)) return source;
    }
    return system();
}

std::optional<QString> LayoutSwitcher::currentSourceID() const {
    return truthFromKeysAnswer(rules_.ruleTruthFromKeys, observedByKeys, [this] { return systemSourceID(); });
}

std::optional<QString> LayoutSwitcher::langForSource(const std::optional<QString>& sourceID) {
    return ManualInputSourceProfileV1::language(sourceID);
}

std::optional<QString> LayoutSwitcher::currentLayoutId() const { return langForSource(observedSourceID()); }

std::optional<QString> LayoutSwitcher::learnedAppPrior() const {
    if (!rules_.ruleAppPriorConfirms) return std::nullopt;
    return parts_.frontAppPrior();
}

// ---- Lifecycle ----

void LayoutSwitcher::start() {
    if (isEnabled()) loadIfNeeded();
    scheduleWatchdog();
    if (!started_) {
        started_ = true;
        // Whoever turns the switcher on (the menu, the settings window), the models load then.
        enabledWatch_ = QObject::connect(&Defaults::shared(), &Defaults::changed, [this](const QString& key) {
            if (key == ENABLED_KEY && isEnabled()) loadIfNeeded();
        });
        Workspace::shared().setActivationHandler([this](const AppIdentity& app) {
            const QString name = !app.localizedName.isEmpty() ? app.localizedName : !app.bundleIdentifier.isEmpty() ? app.bundleIdentifier : QStringLiteral("?");
            const std::optional<QString> bundle = app.bundleIdentifier.isEmpty() ? std::nullopt : std::optional(app.bundleIdentifier);
            parts_.handleAppActivated(bundle, name);
        });
    }
}

void LayoutSwitcher::scheduleWatchdog() {
    watchdog_.cancel();
    watchdog_ = MainQueue::shared().after(watchdogInterval, [this] {
        watchdogTick();
        scheduleWatchdog();
    });
}

void LayoutSwitcher::loadIfNeeded() {
    if (loaded) return;
    const double calibration = readThreshold(modelsDir);
    for (const QString& code : LayoutMaps::layoutOrder()) {
        const QString file = modelsDir + QLatin1Char('/') + code + QStringLiteral(".json");
        QString why;
        if (auto m = NgramModel::load(file, &why)) {
            models.insert_or_assign(code, std::move(*m));
        } else if (QFileInfo::exists(file)) {
            // A language without a file has no model by design; a file that is there and
            // does not load is a fault worth naming.
            logLine(QStringLiteral("layout: модель ") + QFileInfo(file).fileName() + QStringLiteral(" не прочитана — ") + why);
        }
    }
    exceptions = stringSet(EXC_KEY);
    learnedNames = stringSet(NAMES_KEY);
    brandsSeen = stringSet(BRANDS_KEY);
    loaded = !models.empty();
    // The layouts' key data is read here, not by the first key the person types.
    if (loaded) KeyboardTruth::prepare();
    // The word tables and spell checkers load on a worker, so the first typed word never
    // waits for them; loading happens once per process.
    LayoutLexicons::shared().startLoadingInBackground();
    QStringList codes;
    for (const auto& [code, model] : models) codes.append(QLatin1Char('"') + code + QLatin1Char('"'));
    logLine(QStringLiteral("layout: модели [%1] порог %2 (калибр %3) сид %4 + выучено %5 имён %6 loaded=%7")
                .arg(codes.join(QStringLiteral(", ")), number(boundaryGates.normal), number(calibration))
                .arg(layoutExceptionSeed().size())
                .arg(exceptions.size())
                .arg(learnedNames.size())
                .arg(loaded ? QStringLiteral("true") : QStringLiteral("false")));
}

std::optional<quint64> LayoutSwitcher::acquireEditLock(const QString& owner, double maxSeconds) {
    if (editLock_) return std::nullopt;
    editLock_ = EditLock{nextLockToken_++, owner, uptime() + maxSeconds};
    return editLock_->token;
}

void LayoutSwitcher::releaseEditLock(quint64 token) {
    if (editLock_ && editLock_->token == token) editLock_.reset();
}

void LayoutSwitcher::watchdogTick() {
    if (editLock_) {
        // Only the same hold, seen on the previous tick and now past its own deadline, is stuck:
        // a slow owner that named a long deadline keeps its lock, and a newer hold starts afresh.
        if (wdSeen_ == editLock_->token && uptime() >= editLock_->deadline) {
            logLine(QStringLiteral("⚠ watchdog: isCorrecting залип ~3с — снимаю лок (иначе вечный keep, «всё на английском»)"));
            editLock_.reset();
            wdSeen_.reset();
        } else {
            wdSeen_ = editLock_->token;
        }
    } else {
        wdSeen_.reset();
    }
    // A live word never active (no activity time) counts as stale too.
    if (liveActive && (!liveLastActivityAt.isValid() || liveLastActivityAt.msecsTo(Clock::shared().now()) > 30'000)) {
        logLine(QStringLiteral("⚠ watchdog: liveActive без активности >30с — сбрасываю (buf=%1 liveLayout=%2)")
                    .arg(priv(buf), liveLayout));
        liveActive = false;
        buf.clear();
        bufChars_ = 0;
    }
}

void LayoutSwitcher::saveExceptions() { storeStringSet(EXC_KEY, exceptions); }
void LayoutSwitcher::saveNames() { storeStringSet(NAMES_KEY, learnedNames); }

void LayoutSwitcher::noteBrandSeen(const QString& word) {
    QString key;
    for (QChar c : word.toLower()) {
        if (c.isLetter()) key.append(c);
    }
    if (key.size() < 4 || brandsSeen.contains(key) || brandsSeen.size() > 300) return;
    brandsSeen.insert(key);
    storeStringSet(BRANDS_KEY, brandsSeen);
}

bool LayoutSwitcher::isKnown(const QString& w) const {
    return layoutExceptionSeed().contains(w) || exceptions.contains(w);
}

bool LayoutSwitcher::isKnownPrefix(const QString& p) const {
    if (p.size() < 2) return false;
    for (const QString& w : layoutExceptionSeed()) if (w.startsWith(p)) return true;
    for (const QString& w : exceptions) if (w.startsWith(p)) return true;
    return false;
}

bool LayoutSwitcher::isBrandPrefix(const QString& s) const {
    const QString p = s.toLower();
    if (p.size() < 4) return false;
    for (QChar c : p) if (!c.isLetter()) return false;
    for (const QString& w : layoutExceptionSeed()) if (w.size() > p.size() && w.startsWith(p)) return true;
    for (const QString& w : brandsSeen) if (w.size() > p.size() && w.startsWith(p)) return true;
    return false;
}

bool LayoutSwitcher::isProtectedWord(const QString& w) const {
    // The personal dictionary is not consulted yet; the seed and the exceptions are.
    return isKnown(w);
}

bool LayoutSwitcher::isWorthFlippingInto(const QString& w) const {
    // The strong open-dictionary words are the lexicons' (LayoutBoundaryDecision asks them).
    return isKnown(w);
}

// ---- Key path ----

bool LayoutSwitcher::handleKeyDown(const InputEvent& event) {
    return handleKeyDown(event, rules_.ruleBackspaceUndo, rules_.ruleOneGesture, rules_.ruleOwnTranslation,
                         rules_.ruleIdleReselect);
}

void LayoutSwitcher::applyReset(Reset kind) {
    const bool all = kind != Reset::gatedApp;
    buf.clear();
    bufChars_ = 0;
    lastCorrection.reset();
    liveActive = false;
    if (all) {
        editingExisting = false;
        bsEmptyRun = 0;
        liveFlippedWord = false;
        liveRetypeVeto = false;
        liveRaw.clear();
        liveRawPeak.clear();
        liveFlipTarget.clear();
        lastConversionForVeto.reset();
    }
    if (kind == Reset::navigation || kind == Reset::click) undoneWordPrefix.reset();
    if (kind != Reset::modifier) {
        recentLang.reset();
        setPrevWord(QString());
        prevBoundary.reset();
    }
    if (kind == Reset::navigation) bufStart = BufStart::nav;
    if (kind == Reset::modifier) bufStart = BufStart::mod;
    if (kind == Reset::click) bufStart = BufStart::click;
    if (kind == Reset::navigation || kind == Reset::click) atSentenceStart = false;
    // The modifier reset drops the own-switch windows through noteUserShortcut.
    if (kind != Reset::modifier) {
        graceTarget.reset();
        layoutVerifyTarget.reset();
    }
    if (kind != Reset::modifier && kind != Reset::click) layoutVerifyRetries = 0;
}

bool LayoutSwitcher::handleKeyDown(const InputEvent& event, bool backspaceUndo, bool oneGesture, bool ownTranslation,
                                   bool idleReselect) {
    if (!isEnabled()) return false;
    if (!loaded) return false;
    if (event.userData == SYNTHETIC_MARK) return false;
    if (parts_.isRecording()) {
        if (event.flags & KeyFlags::command) return false;
        logLine(QStringLiteral("layout: печать без ⌘ при живой записи — довожу надиктовку до конца"));
        parts_.stopRecording();
    }
    const qint64 code = event.keyCode & 0xFFFF;
    if (navKeys().contains(code)) {
        parts_.flipProbeEnd(QStringLiteral("навигация"));
        cancelPendingAutomaticLayoutSelection();
        applyReset(Reset::navigation);
        return false;
    }
    if (code == keyCodeZ && (event.flags & kShiftControlOptionCommand) == KeyFlags::command) {
        if (parts_.takeFlipUndo(UndoGesture::commandZ, backspaceUndo, oneGesture)) return true;
    }
    if (event.flags & kControlOptionCommand) {
        parts_.flipProbeEnd(QStringLiteral("модификатор"));
        noteUserShortcut();
        applyReset(Reset::modifier);
        return false;
    }
    if (!ManualInputSourceProfileV1::contains(observedSourceID())) {
        cancelPendingAutomaticLayoutSelection();
        applyReset(Reset::foreignSource);
        return false;
    }
    const bool remote = parts_.isRemoteDesktopFrontmost();
    const bool excluded = !remote && parts_.isExcludedAppFocused();
    if (remote || excluded) {
        if (excluded) parts_.probeExcludedFieldCapability();
        cancelPendingAutomaticLayoutSelection();
        applyReset(Reset::gatedApp);
        return false;
    }
    if (code == keyCodeBackspace) return handleBackspace(backspaceUndo, oneGesture);

    const QString produced = event.unicode.left(4);
    if (produced.isEmpty()) return false;
    auto [chars, retyped] = parts_.keyTruth(event, produced, ownTranslation, idleReselect);
    if (retyped) return true;
    lastCorrection.reset();
    bool swallow = false;
    keyInHand = event;
    for (const QString& ch : characters(chars)) swallow = ingest(ch) || swallow;
    keyInHand.reset();
    return swallow;
}

bool LayoutSwitcher::handleBackspace(bool backspaceUndo, bool oneGesture) {
    if (ShadowCoreV2* shadow = ShadowCoreV2::shared()) shadow->noteBackspace();
    if (lastCorrection) {
        if (parts_.takeFlipUndo(UndoGesture::backspace, backspaceUndo, oneGesture)) return true;
        lastCorrection.reset();
    }
    if (!buf.isEmpty()) {
        const int cut = buf.size() >= 2 && buf.back().isLowSurrogate() ? 2 : 1;
        buf.chop(cut);
        --bufChars_;
        if (rules_.ruleCodeUndo && !liveRaw.isEmpty()) {
            liveRaw.chop(liveRaw.size() >= 2 && liveRaw.back().isLowSurrogate() ? 2 : 1);
        }
    } else {
        ++bsEmptyRun;
        if (bsEmptyRun == 1 && lastConversionForVeto &&
            lastConversionForVeto->at.msecsTo(Clock::shared().now()) < qint64(disagreementEraseWindow * 1000)) {
            const LastLayoutConversion c = *lastConversionForVeto;
            parts_.noteDisagreement(c.typed, QStringLiteral("стирание свежей правки"), c.id);
            lastConversionForVeto.reset();
        }
        editingExisting = bsEmptyRun < 3;
        bufStart = BufStart::bs;
    }
    if (liveActive && buf.isEmpty()) liveActive = false;
    if (liveFlippedWord && buf.isEmpty()) {
        liveRetypeVeto = true;
        liveFlippedWord = false;
        parts_.noteDisagreement(liveRawPeak, QStringLiteral("live-слово стёрто до пустоты"), liveFlipConversionID);
    }
    parts_.flipProbeBackspace();
    return false;
}

void LayoutSwitcher::setBuffer(const QString& text) {
    buf = text;
    bufChars_ = int(text.toUcs4().size());
}

void LayoutSwitcher::dropLiveWord() {
    buf.clear();
    bufChars_ = 0;
    liveRaw.clear();
    liveRawPeak.clear();
    liveActive = false;
    liveFlippedWord = false;
    liveRetypeVeto = false;
}

bool LayoutSwitcher::ingest(const QString& ch) {
    if (ch.size() == 1 && isBoundary(ch[0])) return ingestBoundary(ch[0]);
    bsEmptyRun = 0;
    atSentenceStart = false;
    buf.append(ch);
    ++bufChars_;
    liveRaw.append(ch);
    if (liveRawPeak.size() < liveRaw.size()) liveRawPeak = liveRaw;
    const bool asksNeighbour = bufStart == BufStart::click || bufStart == BufStart::nav || bufStart == BufStart::bs;
    if (asksNeighbour && bufChars_ == 1 && QChar::isLetter(ch.toUcs4().value(0))) {
        parts_.scheduleAXEditProbe();
    }
    if (bufChars_ > 2) editingExisting = false;
    if (bufChars_ > bufferCap) {
        logLine(QStringLiteral("layout/buf: сброс >64 симв. (граница) - диагностика, не правило"));
        dropLiveWord();
        return false;
    }
    if (liveFlippedWord && parts_.undoLiveOnCodeChar(ch)) return true;
    if (liveActive) {
        parts_.flipProbeLetter();
        return parts_.liveType(ch);
    }
    if (isLive()) {
        // The shadow compares only with a decision that was really made.
        ShadowCoreV2* shadow = ShadowCoreV2::shared();
        LayoutSwitcherHost& host = LayoutSwitcherHost::shared();
        std::optional<EvidenceModelV2> model;
        if (shadow) model = shadow->snapshotLive(buf, &host);
        const bool started = parts_.tryStartLive();
        if (shadow) shadow->compareLive(model, started, &host);
        return started;
    }
    return false;
}

void LayoutSwitcher::setBuf(const QString& text) {
    buf = text;
    bufChars_ = int(text.toUcs4().size());
}

bool LayoutSwitcher::decideAtBoundary(const QString& word, QChar boundary, BufStart start, bool onEnter) {
    ShadowCoreV2* shadow = ShadowCoreV2::shared();
    LayoutSwitcherHost& host = LayoutSwitcherHost::shared();
    std::optional<EvidenceModelV2> model;
    if (shadow) model = shadow->snapshotBoundary(word, QString(boundary), bufStartName(start), &host);
    const bool applied = parts_.consider(word, boundary, start, onEnter);
    if (shadow) shadow->compareBoundary(model, applied, &host);
    return applied;
}

bool LayoutSwitcher::ingestBoundary(QChar ch) {
    if (liveFlippedWord) parts_.undoLiveOnDictEvidence();
    const QString word = buf;
    buf.clear();
    bufChars_ = 0;
    ++wordsTyped;
    const bool wasLive = liveActive;
    if (wasLive) parts_.flipProbeEnd(QStringLiteral("граница"));
    liveActive = false;
    if (liveFlippedWord && (ch == QLatin1Char(' ') || ch == QLatin1Char('\t'))) {
        lastConversionForVeto = LastLayoutConversion{liveFlipConversionID, liveRaw, word, Clock::shared().now()};
    }
    liveFlippedWord = false;
    liveRetypeVeto = false;
    liveRaw.clear();
    liveRawPeak.clear();
    liveFlipTarget.clear();
    const bool wasEdit = editingExisting;
    editingExisting = false;
    const BufStart start = bufStart;
    bufStart = BufStart::clean;

    if (ch == QLatin1Char('\n') || ch == QLatin1Char('\r')) {
        bool result = false;
        if (!word.isEmpty() && !wasLive && !wasEdit) result = decideAtBoundary(word, ch, start, true);
        recentLang.reset();
        prevWord_.clear();
        prevWord2_.clear();
        prevBoundary = ch;
        atSentenceStart = true;
        return result;
    }
    parts_.noteWordForStats(word, wasLive);
    if (wasLive) {
        recentLang = liveLayout;
        return false;
    }
    if (wasEdit && !word.isEmpty()) {
        if (auto lang = parts_.sourceLayout(word)) recentLang = lang;
        logTrace([&] { return QStringLiteral("layout: [%1] правка хвоста (≤2 симв. после Backspace) → keep").arg(word); });
        return false;
    }
    if (word.isEmpty()) return false;
    atSentenceStart = endsSentence(word);
    const bool result = decideAtBoundary(word, ch, start, false);
    prevBoundary = ch;
    return result;
}

void LayoutSwitcher::noteCursorMoved() {
    ++cursorGen;
    parts_.flipProbeEnd(QStringLiteral("клик"));
    cancelPendingAutomaticLayoutSelection();
    applyReset(Reset::click);
    if (rules_.ruleCaretWordLang && isEnabled() && isNativeSwitch()) caretWordLanguage();
}

void LayoutSwitcher::caretWordLanguage() {
    const auto field = parts_.focusedValueAndCaret();
    if (!field) return;
    const QString& value = field->first;
    const int caret = std::clamp(field->second, 0, int(value.size()));
    auto isWordUnit = [](QChar c) {
        if (c.isSurrogate()) return false;
        return c.isLetter() || c.isNumber() || c == QLatin1Char('-') || c == QLatin1Char('\'');
    };
    int from = caret, to = caret;
    while (from > 0 && isWordUnit(value[from - 1])) --from;
    while (to < value.size() && isWordUnit(value[to])) ++to;
    if (from == to) return;
    const QString word = value.mid(from, to - from).toLower();
    bool cyr = false, lat = false;
    for (QChar c : word) {
        if ((c >= QChar(0x0430) && c <= QChar(0x044F)) || c == QChar(0x0451)) cyr = true;
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z')) lat = true;
    }
    if (cyr == lat) return;
    const QString lang = cyr ? QStringLiteral("ru") : QStringLiteral("en");
    const std::optional<QString> source = ManualInputSourceProfileV1::sourceID(lang);
    if (!source) return;
    const std::optional<QString> current = observedSourceID();
    if (current && *current == *source) return;
    logLine(QStringLiteral("layout/каретка: слово %1 симв. %2 — беру его раскладку").arg(word.size()).arg(lang));
    parts_.selectExactSource(*source, false, std::nullopt, {});
}

void LayoutSwitcher::noteLeftCommandChanged(bool isDown) {
    // The Command of a Command-Z goes up right after the Z: that release must not cancel the
    // rollback the Z asked for.
    if (!(pendingSelectionIsRollback && pendingLayoutSelection.isPending())) {
        pendingLayoutSelection.cancel();
        pendingLayoutSelection.reset();
    }
    automaticSelectionHeldUntil = uptime() + userCommandCooldown;
    layoutSelectionAuthority.noteLeftCommand(isDown, uptime(), userCommandCooldown);
    if (isDown) {
        graceTarget.reset();
        layoutVerifyTarget.reset();
        layoutVerifyRetries = 0;
    }
}

void LayoutSwitcher::noteUserShortcut() {
    pendingLayoutSelection.cancel();
    pendingLayoutSelection.reset();
    automaticSelectionHeldUntil = uptime() + userCommandCooldown;
    layoutSelectionAuthority.noteUserShortcut(uptime(), userCommandCooldown);
    graceTarget.reset();
    layoutVerifyTarget.reset();
    layoutVerifyRetries = 0;
}

void LayoutSwitcher::cancelPendingAutomaticLayoutSelection() {
    pendingLayoutSelection.cancel();
    pendingLayoutSelection.reset();
    ++automaticSelectionEpoch;
    layoutSelectionAuthority.invalidatePending();
}

void LayoutSwitcher::noteAutomaticSourceSelectionFailed() {
    graceTarget.reset();
    layoutVerifyTarget.reset();
    layoutVerifyRetries = 0;
}

}  // namespace murmelo
