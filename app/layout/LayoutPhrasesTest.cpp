// Real phrases typed key by key through the switcher engine, with the shipped layout models,
// the Russian word tables and Debian's Hunspell dictionaries: what the field holds afterwards.
// The phrases are in LayoutPhrases.tsv beside this file.
#include "base/DevPaths.h"
#include "layout/LayoutBoundaryDecision.h"
#include "layout/LayoutGates.h"
#include "layout/LayoutLexicons.h"
#include "layout/LayoutMaps.h"
#include "layout/LayoutSwitcherTestSupport.h"
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

struct RealPhrases : test::SwitcherFixture {
    ScopedService<SpellChecker> spellScope{hunspell()};
    std::unique_ptr<LayoutLexicons> lex;
    QString field;
    QStringList corrections;

    void SetUp() override {
        test::SimulatedLayouts::forgetAll();
        SwitcherFixture::SetUp();
        env.defaults().set("layoutSwitchEnabled", true);
        lex = std::make_unique<LayoutLexicons>(modelsDir(), LayoutSwitcherRules{});
        lex->loadSpellIfNeeded();
        for (const QString& code : LayoutMaps::layoutOrder()) {
            if (auto m = NgramModel::load(modelsDir() + QLatin1Char('/') + code + QStringLiteral(".json")))
                engine->models.insert_or_assign(code, std::move(*m));
        }
        engine->loaded = !engine->models.empty();
        bindDecisionSteps(*engine, *lex);
        // Applying a correction, as the field would see it: the word replaced, the boundary
        // typed after it, and the context a correction leaves.
        engine->steps.correct = [this](const QString& word, const QString& to, std::optional<QChar> boundary,
                                       const QString& layout, bool nativeOK, const EditRights& rights,
                                       LayoutSwitcher::CorrectionKind) {
            if (!field.endsWith(word)) return false;
            field.chop(word.size());
            field += to;
            if (boundary) field += *boundary;
            corrections << word + QStringLiteral("→") + to;
            if (nativeOK && rights.givesLanguageContext()) engine->recentLang = layout;
            QString trimmed = to.toLower();
            while (!trimmed.isEmpty() && !trimmed.front().isLetter()) trimmed.remove(0, 1);
            while (!trimmed.isEmpty() && !trimmed.back().isLetter()) trimmed.chop(1);
            engine->setPrevWord(trimmed);
            engine->buf.clear();
            return true;
        };
    }
    void TearDown() override { test::SimulatedLayouts::forgetAll(); }

    // Types the phrase and a final space, each character as one key; the field as it ends up.
    QString typeThrough(const QString& phrase) {
        field.clear();
        corrections.clear();
        engine->noteCursorMoved();
        engine->bufStart = LayoutSwitcher::BufStart::clean;
        for (QChar c : phrase + QLatin1Char(' ')) {
            InputEvent e;
            e.keyCode = c == QLatin1Char('\n') ? 36 : 0;
            e.unicode = QString(c);
            if (!engine->handleKeyDown(e)) field += c;
        }
        return field.chopped(1);
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
            << "line " << p.line << ": [" << p.typed.toStdString() << "] corrections: "
            << corrections.join(QStringLiteral(", ")).toStdString() << "\n  got [" << result.toStdString() << "]";
    }
    RecordProperty("phrases", int(phrases.size()));
    RecordProperty("exceptions", exceptions);
}

}  // namespace
