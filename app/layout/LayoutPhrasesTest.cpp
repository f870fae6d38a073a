// Real phrases typed key by key through the switcher engine, with the shipped layout models,
// the Russian word tables and Debian's Hunspell dictionaries: what the field holds afterwards.
// The phrases are in LayoutPhrases.tsv beside this file.
#include "base/DevPaths.h"
#include "layout/LayoutBoundaryDecision.h"
#include "layout/LayoutCorrectionApply.h"
#include "layout/LayoutGates.h"
#include "layout/LayoutKeyTruth.h"
#include "layout/LayoutLexicons.h"
#include "layout/LayoutLiveCorrection.h"
#include "layout/LayoutMaps.h"
#include "layout/LayoutStandTestSupport.h"
#include "layout/LayoutTestSupport.h"
#include "linux/HunspellSpellChecker.h"

#include <QFile>

using namespace murmelo;

namespace {

struct Phrase {
    int line = 0;
    QString typed, wanted, got, reason;
};

QString tableDir() { return murmeloSourceRoot() + QStringLiteral("/app/layout"); }
QString modelsDir() { return murmeloSourceRoot() + QStringLiteral("/resources/layout-models"); }

// Rows: typed, wanted and, for a known exception, what the engine gives and why. Lines
// starting with "#" and empty lines are comments.
QList<Phrase> readPhrases() {
    QFile f(tableDir() + QStringLiteral("/LayoutPhrases.tsv"));
    if (!f.open(QIODevice::ReadOnly)) return {};
    QList<Phrase> out;
    int line = 0;
    for (const QByteArray& raw : f.readAll().split('\n')) {
        ++line;
        const QString text = QString::fromUtf8(raw);
        if (text.trimmed().isEmpty() || text.startsWith(QLatin1Char('#'))) continue;
        const QStringList cols = text.split(QLatin1Char('\t'));
        Phrase p{line, cols.value(0), cols.value(1), cols.value(2), cols.value(3)};
        out.append(p);
    }
    return out;
}

HunspellSpellChecker& hunspell() {
    static HunspellSpellChecker checker;
    return checker;
}

// The engine in stand mode over a simulated text field, deciding with the real files and
// applying its corrections through its own output.
struct RealPhrases : test::StandFixture {
    ScopedService<SpellChecker> spellScope{hunspell()};
    std::unique_ptr<LayoutLexicons> lex;
    std::unique_ptr<LayoutCorrectionApply> apply;

    void SetUp() override {
        test::SimulatedLayouts::forgetAll();
        StandFixture::SetUp();
        lex = std::make_unique<LayoutLexicons>(modelsDir(), LayoutSwitcherRules{});
        lex->loadSpellIfNeeded();
        for (const QString& code : LayoutMaps::layoutOrder()) {
            if (auto m = NgramModel::load(modelsDir() + QLatin1Char('/') + code + QStringLiteral(".json")))
                engine->models.insert_or_assign(code, std::move(*m));
        }
        useDecision(steps, *engine, *lex);
        apply = std::make_unique<LayoutCorrectionApply>(*engine, *gates);
        useCorrection(steps, *apply);
        engine->correctionSink = nullptr;
    }
    void TearDown() override {
        apply.reset();
        StandFixture::TearDown();
        test::SimulatedLayouts::forgetAll();
    }

    // Types the phrase and a final space into a fresh field, each word under the input source
    // whose keys give its characters (the user's own choice, right or wrong), and returns what
    // the field shows.
    QString typeThrough(const QString& phrase) {
        openStand(QStringLiteral("org.kde.kate"), QStringLiteral("Kate"));
        engine->noteCursorMoved();
        engine->bufStart = LayoutSwitcher::BufStart::clean;
        for (const QString& token : phrase.split(QLatin1Char(' '))) {
            env.advance(0.5);  // the engine's own source selections and checks run first
            int cyrillic = 0, latin = 0;
            for (QChar c : token) {
                if (LayoutLexicons::isCyrillicLetter(c)) ++cyrillic;
                else if (c.isLetter()) ++latin;
            }
            if (cyrillic + latin > 0) stage->humanSelectSource(cyrillic > latin ? RU : US);
            const QString lang = stage->realSourceID == RU ? QStringLiteral("ru") : QStringLiteral("en");
            QString keys;
            for (QChar c : token) keys += LayoutMaps::convert(QString(c), lang, QStringLiteral("en")).value_or(QString(c));
            typeKeys(keys + QLatin1Char(' '));
        }
        const QString shown = stage->text();
        return shown.chopped(1);
    }
};

TEST_F(RealPhrases, EveryPhraseEndsAsWanted) {
    ASSERT_TRUE(lex->spellLang && lex->spellLangEn) << "Hunspell dictionaries missing in /usr/share/hunspell";
    ASSERT_EQ(engine->models.size(), 2u);
    const QList<Phrase> phrases = readPhrases();
    EXPECT_GE(phrases.size(), 200);
    int exceptions = 0;
    for (const Phrase& p : phrases) {
        const QString expected = p.got.isEmpty() ? p.wanted : p.got;
        if (!p.got.isEmpty()) ++exceptions;
        const QString result = typeThrough(p.typed);
        EXPECT_EQ(result.toStdString(), expected.toStdString())
            << "line " << p.line << ": [" << p.typed.toStdString() << "]\n  got [" << result.toStdString() << "]";
    }
    EXPECT_TRUE(env.logContains("layout: исправлено ")) << "corrections go through the engine's own apply";
    RecordProperty("phrases", int(phrases.size()));
    RecordProperty("exceptions", exceptions);
}

// The same phrases with words also flipped while they are typed, as the application runs by
// default: each word ends as wanted or as in its phrase's listed exception, never worse.
struct RealPhrasesLive : RealPhrases {
    std::unique_ptr<LayoutKeyTruth> truth;
    std::shared_ptr<LayoutBoundaryDecision> liveDecision;
    std::unique_ptr<LayoutLiveCorrection::DecisionWords> liveWords;
    std::unique_ptr<LayoutLiveCorrection> live;

    void SetUp() override {
        RealPhrases::SetUp();
        truth = std::make_unique<LayoutKeyTruth>(*engine);
        useKeyTruth(steps, *truth);
        liveDecision = std::make_shared<LayoutBoundaryDecision>(*engine, *lex);
        liveWords = std::make_unique<LayoutLiveCorrection::DecisionWords>(*liveDecision);
        live = std::make_unique<LayoutLiveCorrection>(*engine, *gates, *apply, liveDecision, *liveWords);
        useLiveCorrection(steps, *engine, *live);
    }
    void TearDown() override {
        live.reset();
        liveWords.reset();
        liveDecision.reset();
        RealPhrases::TearDown();
    }
};

TEST_F(RealPhrasesLive, NoWordEndsWorseThanWantedOrListed) {
    ASSERT_TRUE(lex->spellLang && lex->spellLangEn) << "Hunspell dictionaries missing in /usr/share/hunspell";
    for (const Phrase& p : readPhrases()) {
        const QString result = typeThrough(p.typed);
        // Word by word: live flips may mend a listed exception, never spoil a word.
        const QStringList got = result.split(QLatin1Char(' ')), wanted = p.wanted.split(QLatin1Char(' '));
        const QStringList known = (p.got.isEmpty() ? p.wanted : p.got).split(QLatin1Char(' '));
        bool ok = got.size() == wanted.size();
        for (qsizetype i = 0; ok && i < got.size(); ++i) ok = got[i] == wanted[i] || got[i] == known.value(i);
        EXPECT_TRUE(ok) << "line " << p.line << ": [" << p.typed.toStdString() << "]\n  got [" << result.toStdString() << "]";
    }
    EXPECT_TRUE(env.logContains("layout: LIVE-флип ")) << "words were flipped while typed";
}

}  // namespace
