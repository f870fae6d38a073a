#pragma once
#include "base/DevPaths.h"
#include "layout/LayoutBoundaryDecision.h"
#include "layout/LayoutGates.h"
#include "layout/LayoutLexicons.h"
#include "layout/LayoutMaps.h"
#include "layout/LayoutSwitcherTestSupport.h"
#include "layout/LayoutTestSupport.h"
#include "sim/SimSpellChecker.h"

#include <memory>

namespace murmelo::test {

// The word decision of an engine over the simulated US and Russian keyboards and the shipped
// n-gram models, with word lists the test fills: the spell checker's words and the Russian
// corpus counts. Corrections are recorded, not typed.
struct DecisionFixture : SwitcherFixture {
    struct Correction {
        QString word, to, layout;
        bool nativeOK = false;
    };

    sim::SimSpellChecker speller;
    ScopedService<SpellChecker> spellerScope{speller};
    std::unique_ptr<LayoutLexicons> lex;
    std::unique_ptr<LayoutBoundaryDecision> decision;
    QList<Correction> corrections;
    QStringList vetoes;
    bool correctAnswer = true;

    void SetUp() override {
        SimulatedLayouts::forgetAll();
        SwitcherFixture::SetUp();
        env.defaults().set("layoutSwitchEnabled", true);
        speller.languages = {QStringLiteral("en_US"), QStringLiteral("ru_RU")};
        lex = std::make_unique<LayoutLexicons>(env.root() + QStringLiteral("/models"), LayoutSwitcherRules{});
        lex->spellLang = QStringLiteral("ru_RU");
        lex->spellLangEn = QStringLiteral("en_US");
        lex->spellLoaded = true;
        SetUpModels();
        attach();
    }
    void TearDown() override { SimulatedLayouts::forgetAll(); }

    // A fresh decision over the current engine, watching its corrections and vetoes.
    void attach() {
        decision = std::make_unique<LayoutBoundaryDecision>(*engine, *lex);
        engine->vetoSink = [this](const QString& code) { vetoes << code; };
        steps.correct = [this](const QString& word, const QString& to, std::optional<QChar>,
                                       const QString& layout, bool nativeOK, const EditRights&,
                                       LayoutSwitcher::CorrectionKind) {
            corrections.append({word, to, layout, nativeOK});
            return correctAnswer;
        };
    }
    void rebuild(const QHash<QString, QString>& vars) {
        makeEngine(vars);
        engine->models.clear();
        SetUpModels();
        attach();
    }
    void SetUpModels() {
        const QString models = murmeloSourceRoot() + QStringLiteral("/resources/layout-models/");
        for (const QString& code : {QStringLiteral("en"), QStringLiteral("ru")}) {
            if (auto m = NgramModel::load(models + code + QStringLiteral(".json")))
                engine->models.insert_or_assign(code, std::move(*m));
        }
        engine->loaded = true;
    }
    void knows(const QString& language, const QStringList& words) { speller.addWords(language, words); }
    void corpus(const QStringList& words, qint64 count = 100) {
        for (const QString& w : words) lex->corpusFreq.insert(w, count);
    }
    bool consider(const QString& word, LayoutSwitcher::BufStart start = LayoutSwitcher::BufStart::clean,
                  bool onEnter = false) {
        return decision->consider(word, onEnter ? QChar('\n') : QChar(' '), start, onEnter);
    }
    QString lastTo() const { return corrections.isEmpty() ? QString() : corrections.last().to; }
};

}  // namespace murmelo::test
