// The layout switcher as a person meets it: the real program, a real application in front
// (scripts/desktop-session --app: mousepad, featherpad or xterm), and a person typing with
// real key timing from another X client (PersonKeyboard). The person presses physical keys;
// what they give depends on the layout locked at that moment, the program's switches
// included. Each phrase is typed on a line of its own and read back from the application.
//
// A phrase holds when
// - no key was lost or doubled: the line has one character per key typed, each one that
//   key gives in one of the two layouts (a correction retypes in the other layout, it never
//   changes keys);
// - every word ends as the switcher's own table wants it, or as the table's listed
//   exception for that word;
// - the terminal received no control byte (a copy or paste chord reaches xterm as ^C, ^V).
#include "DesktopHarness.h"
#include "PersonKeyboard.h"
#include "RealApp.h"
#include "base/DevPaths.h"

#include <QElapsedTimer>
#include <QFile>
#include <gtest/gtest.h>

using namespace murmelo;
using test::PersonStep;
using test::PhysicalKey;

namespace {

struct Phrase {
    QString typed, wanted, got;  // got: the table's listed exception, or empty
};

// The tests' phrases (RealAppPhrases.txt beside this file), with the expectations of the
// switcher's own table where it has the phrase.
QList<Phrase> readPhrases() {
    QHash<QString, Phrase> table;
    QFile t(murmeloSourceRoot() + QStringLiteral("/app/layout/LayoutPhrases.tsv"));
    if (t.open(QIODevice::ReadOnly)) {
        for (const QByteArray& raw : t.readAll().split('\n')) {
            const QStringList c = QString::fromUtf8(raw).split(QLatin1Char('\t'));
            if (c.size() >= 2 && !c[0].startsWith(QLatin1Char('#'))) table.insert(c[0], {c[0], c[1], c.value(2)});
        }
    }
    QList<Phrase> out;
    QFile f(murmeloSourceRoot() + QStringLiteral("/tests/desktop/RealAppPhrases.txt"));
    if (!f.open(QIODevice::ReadOnly)) return out;
    for (const QByteArray& raw : f.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw);
        if (line.trimmed().isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
        const QStringList c = line.split(QLatin1Char('\t'));
        if (c.size() >= 2) out.append({c[0], c[1], QString()});
        else if (table.contains(c[0])) out.append(table.value(c[0]));
        else out.append({c[0], QString(), QString()});  // reported by the test: no expectation
    }
    return out;
}

// The layout whose keys give the word's letters (1: Russian), as the table's own test
// decides it; a word without letters keeps the one before.
int groupOfWord(const QString& word, int before) {
    int cyrillic = 0, latin = 0;
    for (QChar c : word) {
        if (c.script() == QChar::Script_Cyrillic) ++cyrillic;
        else if (c.isLetter()) ++latin;
    }
    return cyrillic + latin == 0 ? before : cyrillic > latin ? 1 : 0;
}

// What the person does for a phrase: which layout they start in, the keys, and, for a phrase
// typed right that mixes the two, their own switch before each word of the other language.
// A phrase typed in the wrong layout is typed on without a switch: the person has not
// noticed. The keys of the line's characters are kept for the check.
struct Plan {
    int startGroup = 0;
    QList<PersonStep> steps;
    QList<PhysicalKey> keys;  // one per character of the line, the final space included
    QString missing;          // characters no key gives
};

Plan planFor(const test::PersonKeyboard& person, const Phrase& p) {
    Plan plan;
    const QStringList words = p.typed.split(QLatin1Char(' '));
    int group = -1;
    for (const QString& w : words) group = group < 0 && groupOfWord(w, -1) >= 0 ? groupOfWord(w, 0) : group;
    plan.startGroup = group < 0 ? 0 : group;
    group = plan.startGroup;
    const bool typedRight = p.typed == p.wanted;
    auto key = [&](PhysicalKey k) {
        plan.steps.append({PersonStep::Kind::key, k, 0});
        plan.keys.append(k);
    };
    for (qsizetype i = 0; i < words.size(); ++i) {
        const int wordGroup = groupOfWord(words[i], group);
        if (i > 0) key({test::PersonKeyboard::kSpace, false});
        if (typedRight && wordGroup != group) plan.steps.append({PersonStep::Kind::lockGroup, {}, wordGroup});
        group = wordGroup;
        for (QChar c : words[i]) {
            if (const auto k = person.keyFor(c, group)) key(*k);
            else plan.missing += c;
        }
    }
    key({test::PersonKeyboard::kSpace, false});
    plan.steps.append({PersonStep::Kind::key, {test::PersonKeyboard::kReturn, false}, 0});
    return plan;
}

QString keysAsLayout(const test::PersonKeyboard& person, const QList<PhysicalKey>& keys, int group) {
    QString out;
    for (const PhysicalKey& k : keys) out += person.charOf(k, group);
    return out;
}

// The line as the keys of the US layout that give it, for messages: "приве а" -> "ghbdt f".
QString lineAsUsKeys(const test::PersonKeyboard& person, const QString& line) {
    QString out;
    for (QChar c : line) {
        const int g = c.script() == QChar::Script_Cyrillic ? 1 : 0;
        const auto k = person.keyFor(c, g);
        out += k ? person.charOf(*k, 0) : QStringLiteral("?");
    }
    return out;
}

struct RealAppTyping : ::testing::Test {
    test::DesktopProgram program;
    std::unique_ptr<test::RealApp> app;
    std::unique_ptr<test::PersonKeyboard> person;
    QStringList failures;

    void SetUp() override {
        if (!test::RealApp::available()) GTEST_SKIP() << "needs a test desktop with an application (scripts/desktop-session --app)";
        app = std::make_unique<test::RealApp>();
        person = std::make_unique<test::PersonKeyboard>();
        ASSERT_TRUE(person->isOpen());
    }
    void TearDown() override {
        if (person && person->isOpen()) person->lockGroup(0);
        if (HasFailure() && program.running()) {
            program.keepHome();
            std::fprintf(stderr, "the program's log: %s\n", qPrintable(program.logPath()));
        }
    }

    void start(bool live) {
        ASSERT_TRUE(program.start(live ? "{}" : R"({"layoutLiveConvert": false})")) << program.log().toStdString();
        ASSERT_TRUE(app->focus()) << app->why().toStdString();
    }
    QString where(bool live) const {
        return app->name() + (live ? QStringLiteral(", live correction on") : QStringLiteral(", live correction off"));
    }

    // Waits until the text after `before` settles: a line ended by Return when `lineEnded`
    // (the Return of the phrase came through), unchanged for `stillMs`. The expected text
    // ends the wait at once.
    QString settle(const QString& before, const QStringList& expected, bool lineEnded = true, int stillMs = 600) {
        QString last;
        QElapsedTimer still;
        still.start();
        test::waitUntil([&] {
            const QString now = app->text();
            if (now != last) {
                last = now;
                still.restart();
            }
            if (!now.startsWith(before)) return still.elapsed() > stillMs;
            const QString rest = now.mid(before.size());
            if (expected.contains(rest)) return true;
            return (!lineEnded || rest.endsWith(QLatin1Char('\n'))) && still.elapsed() > stillMs;
        }, 8);
        return last;
    }

    // Types each phrase on a line of its own and checks what the line holds.
    // Without the program (`alone`) every line must read exactly as typed: a check of the
    // person and of the reading, which the program's own rows rest on.
    void typePhrases(bool live, bool alone = false, int rows = -1) {
        QList<Phrase> phrases = readPhrases();
        ASSERT_GE(phrases.size(), 40);
        // MURMELO_REALAPP_ROWS=3,17 types only those rows (with the seed printed, as they ran).
        QList<int> only;
        for (const QString& n : qEnvironmentVariable("MURMELO_REALAPP_ROWS").split(QLatin1Char(','), Qt::SkipEmptyParts))
            only << n.toInt();
        int checked = 0, silent = 0;
        for (const Phrase& phrase : phrases) {
            ++checked;
            if (rows >= 0 && checked > rows) break;
            if (!only.isEmpty() && !only.contains(checked)) continue;
            person->beginTake(unsigned(checked));
            const QString row = QStringLiteral("[%1] row %2 «%3»")
                                    .arg(alone ? app->name() + QStringLiteral(", no program") : where(live))
                                    .arg(checked)
                                    .arg(phrase.typed);
            const Phrase p = alone ? Phrase{phrase.typed, phrase.typed, QString()} : phrase;
            if (p.wanted.isEmpty()) {
                failures << row + QStringLiteral(": no expectation (not in LayoutPhrases.tsv and none given)");
                continue;
            }
            const Plan plan = planFor(*person, phrase);
            if (!plan.missing.isEmpty()) {
                failures << row + QStringLiteral(": no key gives «%1»").arg(plan.missing);
                continue;
            }
            const QString before = app->text();
            const QStringList controlsBefore = app->controlBytes();
            if (person->lockedGroup() != plan.startGroup) person->lockGroup(plan.startGroup);
            person->perform(plan.steps);
            QStringList expected{p.wanted + QStringLiteral(" \n")};
            if (!p.got.isEmpty()) expected << p.got + QStringLiteral(" \n");
            const QString after = settle(before, expected);
            // Nothing at all reaches the application (it lost the focus, or hung): three such
            // rows in a row end the table, which would only wait out every row.
            silent = after == before ? silent + 1 : 0;
            if (silent == 3) {
                failures << row + QStringLiteral(": nothing reached %1 for three rows; the rest is not typed").arg(app->name());
                break;
            }
            if (!after.startsWith(before)) {
                failures << row + QStringLiteral(": the text before the line changed: «%1» became «%2»")
                                      .arg(before.right(60), after.right(80));
                continue;
            }
            QString line = after.mid(before.size());
            line.chop(line.endsWith(QLatin1Char('\n')) ? 1 : 0);
            QStringList problems;
            // Keys: one character per key, each what that key gives in one of the layouts.
            bool keysKept = line.size() == plan.keys.size();
            for (qsizetype i = 0; keysKept && i < line.size(); ++i)
                keysKept = line[i] == person->charOf(plan.keys[i], 0) || line[i] == person->charOf(plan.keys[i], 1);
            if (!keysKept)
                problems << QStringLiteral("keys lost or doubled: typed %1, got %2 (as US keys: typed «%3», got «%4»)")
                                .arg(plan.keys.size())
                                .arg(line.size())
                                .arg(keysAsLayout(*person, plan.keys, 0), lineAsUsKeys(*person, line));
            // Words: as the table wants them, or as its listed exception.
            const QStringList got = QString(line).chopped(line.endsWith(QLatin1Char(' ')) ? 1 : 0).split(QLatin1Char(' '));
            const QStringList wanted = p.wanted.split(QLatin1Char(' '));
            const QStringList known = (p.got.isEmpty() ? p.wanted : p.got).split(QLatin1Char(' '));
            QStringList wrongWords;
            for (qsizetype i = 0; i < std::max(got.size(), wanted.size()); ++i) {
                if (got.value(i) != wanted.value(i) && got.value(i) != known.value(i))
                    wrongWords << QStringLiteral("«%1» for «%2»").arg(got.value(i), wanted.value(i));
            }
            if (!wrongWords.isEmpty()) problems << QStringLiteral("words: ") + wrongWords.join(QStringLiteral(", "));
            const QStringList controls = app->controlBytes().mid(controlsBefore.size());
            if (!controls.isEmpty()) problems << QStringLiteral("control bytes reached the terminal: ") + controls.join(QStringLiteral(", "));
            if (!problems.isEmpty())
                failures << row + QStringLiteral("\n      want «%1»%2\n      got  «%3»\n      ")
                                      .arg(p.wanted, p.got.isEmpty() ? QString() : QStringLiteral(" or «%1»").arg(p.got), line) +
                                problems.join(QStringLiteral("\n      "));
        }
        RecordProperty("phrases", checked);
        RecordProperty("failed", int(failures.size()));
    }

    // Types a word key by key as a person who watches the screen, and stops as soon as the
    // program flips it; then the space, when it was not flipped. Returns the text as typed
    // (before any correction), which the undo must bring back.
    QString typeWatching(const QString& word, int group) {
        if (person->lockedGroup() != group) person->lockGroup(group);
        const QString before = app->text();
        QString typed;
        for (QChar c : word) {
            const auto k = person->keyFor(c, group);
            if (!k) return {};
            typed += c;
            person->perform({{PersonStep::Kind::key, *k, 0}});
            // The person looks: the line as it stands a moment after the key.
            const QString shown = settle(before, {}, false, 250).mid(before.size());
            if (shown != typed) return typed;  // flipped while typed
        }
        person->tap(test::PersonKeyboard::kSpace);
        return typed + QLatin1Char(' ');
    }

    // Backspace right after each kind of correction brings back what was typed, and no card
    // comes up; the next line starts with Return.
    void undoEachCorrection(bool live) {
        struct Case {
            const char* what;
            QString word;
            int group;
        };
        const QList<Case> cases{
            {"a short Russian word", QStringLiteral("ljv"), 0},
            {"a long Russian word", QStringLiteral("rjvgm.nth"), 0},
            {"an English word", QStringLiteral("цщкдв"), 1},
        };
        for (qsizetype i = 0; i < cases.size(); ++i) {
            const Case& c = cases[i];
            person->beginTake(unsigned(1000 + i));
            const QString row = QStringLiteral("[%1] Backspace after %2 «%3»").arg(where(live), QString::fromLatin1(c.what), c.word);
            const QString before = app->text();
            const QString typed = typeWatching(c.word, c.group);
            // The correction has landed: the line no longer reads as typed.
            const QString correctedLine = settle(before, {}, false, 300).mid(before.size());
            if (correctedLine == typed) {
                failures << row + QStringLiteral(": not corrected, the line is «%1»").arg(correctedLine);
            } else {
                person->tap(test::PersonKeyboard::kBackSpace);
                const QString line = settle(before, {typed}, false).mid(before.size());
                if (line != typed)
                    failures << row + QStringLiteral(": typed «%1», corrected to «%2», and Backspace left «%3»")
                                          .arg(typed, correctedLine, line);
            }
            person->lockGroup(0);
            person->tap(test::PersonKeyboard::kReturn);
            settle(before, {}, true);
        }
    }

    // Double right Shift converts the word just typed, with no chord reaching a terminal.
    void convertByDoubleShift(bool live) {
        person->beginTake(2000);
        const QString row = QStringLiteral("[%1] double right Shift after «hello»").arg(where(live));
        const QString before = app->text();
        const QStringList controlsBefore = app->controlBytes();
        person->lockGroup(0);
        QList<PersonStep> steps;
        for (QChar c : QStringLiteral("hello")) steps.append({PersonStep::Kind::key, *person->keyFor(c, 0), 0});
        person->perform(steps);
        settle(before, {QStringLiteral("hello")}, false);
        person->perform({{PersonStep::Kind::key, {test::PersonKeyboard::kRightShift, false}, 0},
                         {PersonStep::Kind::key, {test::PersonKeyboard::kRightShift, false}, 0}});
        const QString line = settle(before, {QStringLiteral("руддщ")}, false).mid(before.size());
        if (line != QStringLiteral("руддщ")) failures << row + QStringLiteral(": the line is «%1», not «руддщ»").arg(line);
        const QStringList controls = app->controlBytes().mid(controlsBefore.size());
        if (!controls.isEmpty())
            failures << row + QStringLiteral(": control bytes reached the terminal: ") + controls.join(QStringLiteral(", "));
        person->lockGroup(0);
        person->tap(test::PersonKeyboard::kReturn);
        settle(before, {}, true);
    }

    void reportFailures() {
        // Cards come up on the audit's time, after the line was checked: looked for at the end.
        for (const QString& card : program.log().split(QLatin1Char('\n')).filter(QStringLiteral("card shown")))
            failures << QStringLiteral("[%1] a card came up: %2").arg(app->name(), card);
        EXPECT_TRUE(failures.isEmpty()) << failures.size() << " failed (person seed " << person->seed() << "):\n"
                                        << failures.join(QLatin1Char('\n')).toStdString();
    }
};

// The person's keys, overlapping ones and capitals among them, all reach the application as
// typed when no program is there to correct them; the application is read back whole.
TEST_F(RealAppTyping, KeysArriveAsTypedWithoutTheProgram) {
    ASSERT_TRUE(app->focus()) << app->why().toStdString();
    typePhrases(true, true, 12);
    reportFailures();
}

TEST_F(RealAppTyping, PhrasesLiveOn) {
    start(true);
    ASSERT_FALSE(HasFatalFailure());
    typePhrases(true);
    reportFailures();
}

TEST_F(RealAppTyping, PhrasesLiveOff) {
    start(false);
    ASSERT_FALSE(HasFatalFailure());
    typePhrases(false);
    reportFailures();
}

TEST_F(RealAppTyping, UndoAndConversionLiveOn) {
    start(true);
    ASSERT_FALSE(HasFatalFailure());
    undoEachCorrection(true);
    convertByDoubleShift(true);
    reportFailures();
}

TEST_F(RealAppTyping, UndoAndConversionLiveOff) {
    start(false);
    ASSERT_FALSE(HasFatalFailure());
    undoEachCorrection(false);
    convertByDoubleShift(false);
    reportFailures();
}

}  // namespace
