// The shipped layout model files (resources/layout-models, made by scripts/layout-data): they
// must read in the formats the layout lexicons and the n-gram scorer expect, and carry the
// words the switcher leans on. Reading them takes well under a second.

#include <gtest/gtest.h>

#include <QtCore/QFile>
#include <QtCore/QHash>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QStringDecoder>
#include <QtCore/QStringList>

#include "ondrix_fst.h"

#include <cmath>
#include <cstring>
#include <optional>

namespace {

QString modelsDir() { return QStringLiteral(MURMELO_LAYOUT_MODELS_DIR); }

QByteArray readAll(const QString& name) {
    QFile f(modelsDir() + "/" + name);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

struct Model {
    int order = 0;
    QChar boundary;
    QString alphabet;
    QHash<QString, QHash<QChar, double>> logprob;
    QHash<QString, double> unseen;
    double defaultUnseen = 0;
};

// Reads a model file strictly: every key present with its type, every inner value a number.
// Returns the reason when the file does not fit.
std::optional<QString> loadModel(const QString& name, Model& m) {
    const QByteArray bytes = readAll(name);
    if (bytes.isEmpty()) return "missing or empty";
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (!doc.isObject()) return "not a JSON object: " + error.errorString();
    const QJsonObject o = doc.object();
    const QJsonValue order = o.value("order");
    if (!order.isDouble() || order.toDouble() != std::floor(order.toDouble())) return "order";
    m.order = order.toInt();
    if (!o.value("boundary").isString() || o.value("boundary").toString().isEmpty()) return "boundary";
    m.boundary = o.value("boundary").toString().at(0);
    if (!o.value("alphabet").isString()) return "alphabet";
    m.alphabet = o.value("alphabet").toString();
    if (!o.value("logprob").isObject()) return "logprob";
    const QJsonObject lp = o.value("logprob").toObject();
    for (auto it = lp.begin(); it != lp.end(); ++it) {
        if (!it.value().isObject()) return "logprob context " + it.key();
        if (it.key().size() != 2) return "context of other than two characters: " + it.key();
        const QJsonObject row = it.value().toObject();
        for (auto c = row.begin(); c != row.end(); ++c) {
            if (c.key().size() != 1 || !c.value().isDouble()) return "logprob entry " + it.key() + c.key();
            m.logprob[it.key()][c.key().at(0)] = c.value().toDouble();
        }
    }
    if (!o.value("unseen_logprob").isObject()) return "unseen_logprob";
    const QJsonObject un = o.value("unseen_logprob").toObject();
    for (auto it = un.begin(); it != un.end(); ++it) {
        if (!it.value().isDouble()) return "unseen_logprob entry " + it.key();
        m.unseen[it.key()] = it.value().toDouble();
    }
    if (!o.value("default_unseen_logprob").isDouble()) return "default_unseen_logprob";
    m.defaultUnseen = o.value("default_unseen_logprob").toDouble();
    return std::nullopt;
}

// Mean log-probability of a word, padded with the boundary, each character predicted from the
// two before it.
std::optional<double> score(const Model& m, const QString& word) {
    QString text;
    for (QChar c : word.toLower()) text += m.alphabet.contains(c) ? c : QChar(' ');
    text = text.trimmed();
    if (text.isEmpty()) return std::nullopt;
    const QString pad(m.order - 1, m.boundary);
    const QString padded = pad + text + pad;
    const int positions = padded.size() - m.order + 1;
    double sum = 0;
    for (int i = 0; i < positions; ++i) {
        const QString ctx = padded.mid(i, 2);
        const QChar next = padded.at(i + 2);
        const auto row = m.logprob.constFind(ctx);
        if (row == m.logprob.cend()) sum += m.defaultUnseen;
        else if (row->contains(next)) sum += row->value(next);
        else sum += m.unseen.value(ctx, m.defaultUnseen);
    }
    return sum / positions;
}

TEST(LayoutModelFiles, NgramModelsLoadAndTellTheLanguagesApart) {
    Model en, ru;
    ASSERT_EQ(loadModel("en.json", en).value_or(QString()).toStdString(), "");
    ASSERT_EQ(loadModel("ru.json", ru).value_or(QString()).toStdString(), "");
    for (const Model* m : {&en, &ru}) {
        EXPECT_EQ(m->order, 3);
        EXPECT_FALSE(m->alphabet.contains(m->boundary));
        EXPECT_GT(m->logprob.size(), 500);
    }
    EXPECT_TRUE(ru.alphabet.contains(QStringLiteral("ё")));

    // Each pair: the same keys read on the right layout, then on the wrong one.
    struct Case { const char* name; QString right; const Model* rightModel; QString wrong; const Model* wrongModel; };
    const Case cases[] = {
        {"привет / ghbdtn", QStringLiteral("привет"), &ru, QStringLiteral("ghbdtn"), &en},
        {"спасибо / cgfcb,j", QStringLiteral("спасибо"), &ru, QStringLiteral("cgfcb,j"), &en},
        {"щёлкните / o`krybnt", QStringLiteral("щёлкните"), &ru, QStringLiteral("o`krybnt"), &en},
        {"hello / руддщ", QStringLiteral("hello"), &en, QStringLiteral("руддщ"), &ru},
        {"keyboard / лунищфкв", QStringLiteral("keyboard"), &en, QStringLiteral("лунищфкв"), &ru},
        {"don't / вщтэе", QStringLiteral("don't"), &en, QStringLiteral("вщтэе"), &ru},
    };
    for (const Case& c : cases) {
        const auto right = score(*c.rightModel, c.right);
        const auto wrong = score(*c.wrongModel, c.wrong);
        ASSERT_TRUE(right && wrong) << c.name;
        EXPECT_GT(*right, *wrong + 0.3) << c.name;
    }
}

QString readLayoutText(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// The same keys on the US and the Russian layout.
const QString US_KEYS = QStringLiteral("`1234567890-=qwertyuiop[]\\asdfghjkl;'zxcvbnm,./");
const QString RU_KEYS = QStringLiteral("ё1234567890-=йцукенгшщзхъ\\фывапролджэячсмитьбю.");

QString onOtherLayout(const QString& word, const QString& from, const QString& to) {
    QString out;
    for (QChar c : word) {
        const qsizetype i = from.indexOf(c);
        out += i >= 0 ? to.at(i) : c;
    }
    return out;
}

// Words kept out of the models' training (a sample the pipeline writes beside this test): the
// models alone must tell most of them from the same keys read on the other layout.
TEST(LayoutModelFiles, ModelsAloneCatchHeldOutWordsTypedOnTheWrongLayout) {
    Model en, ru;
    ASSERT_EQ(loadModel("en.json", en).value_or(QString()).toStdString(), "");
    ASSERT_EQ(loadModel("ru.json", ru).value_or(QString()).toStdString(), "");
    struct Case { const char* lang; const Model* own; const Model* other; const QString& from; const QString& to; };
    const Case cases[] = {{"ru", &ru, &en, RU_KEYS, US_KEYS}, {"en", &en, &ru, US_KEYS, RU_KEYS}};
    for (const Case& c : cases) {
        const QStringList words = readLayoutText(QStringLiteral(MURMELO_TEST_DATA_DIR "/layout-heldout-") + c.lang + ".txt")
                                      .split('\n', Qt::SkipEmptyParts);
        ASSERT_GE(words.size(), 1000) << c.lang;
        int caught = 0, wrong = 0;
        for (const QString& w : words) {
            const auto own = score(*c.own, w);
            const auto other = score(*c.other, onOtherLayout(w, c.from, c.to));
            caught += own && (!other || *own > *other);
            wrong += own && other && *other > *own;
        }
        const double caughtShare = double(caught) / words.size(), wrongShare = double(wrong) / words.size();
        EXPECT_GE(caughtShare, 0.97) << c.lang;
        EXPECT_LE(wrongShare, 0.015) << c.lang;
    }
}

// One TSV file read the way the lexicon loader reads it.
struct Table {
    QList<QStringList> rows;
    QString problem;
};

Table readTsv(const QString& name, int minFields, int integerColumn) {
    Table t;
    const QByteArray bytes = readAll(name);
    if (bytes.isEmpty()) { t.problem = "missing or empty"; return t; }
    if (bytes.contains('\r')) { t.problem = "carriage return"; return t; }
    QStringDecoder decode(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decode(bytes);
    if (decode.hasError()) { t.problem = "not UTF-8"; return t; }
    int lineNo = 0;
    for (const QString& line : text.split('\n')) {
        ++lineNo;
        if (line.isEmpty()) continue;
        const QStringList fields = line.split('\t');
        if (fields.contains(QString()) || fields.size() < minFields) {
            t.problem = QString("line %1 has empty or too few fields").arg(lineNo);
            return t;
        }
        if (integerColumn >= 0) {
            bool ok = false;
            fields.at(integerColumn).toLongLong(&ok);
            if (!ok) { t.problem = QString("line %1: no integer in column %2").arg(lineNo).arg(integerColumn + 1); return t; }
        }
        t.rows.append(fields);
    }
    return t;
}

QHash<QString, QStringList> byFirstTwo(const Table& t, bool pairKey) {
    QHash<QString, QStringList> out;
    for (const QStringList& r : t.rows) out.insert(pairKey ? r[0] + '\t' + r[1] : r[0], r);
    return out;
}

TEST(LayoutModelFiles, RussianTablesReadAndHoldKnownWords) {
    const Table freq = readTsv("ru_freq.tsv", 2, 1);
    const Table open = readTsv("ru_open.tsv", 3, 1);
    const Table typos = readTsv("ru_typos.tsv", 2, -1);
    const Table bigrams = readTsv("ru_bigrams.tsv", 3, 2);
    for (const auto& [name, t] : {std::pair{"ru_freq", &freq}, {"ru_open", &open}, {"ru_typos", &typos},
                                  {"ru_bigrams", &bigrams}}) {
        EXPECT_EQ(t->problem.toStdString(), "") << name;
        EXPECT_GT(t->rows.size(), 10000) << name;
    }

    const auto f = byFirstTwo(freq, false);
    for (const char* w : {"привет", "спасибо", "нет", "это", "клавиатура", "щёлкните", "щелкните"})
        EXPECT_GT(f.value(QString::fromUtf8(w)).value(1).toLongLong(), 0) << w;
    // Everyday words clear the switcher's frequency floors (900 for a twin reading, 50 for
    // a spelling candidate); a rare word stays below the first.
    EXPECT_GE(f.value(QStringLiteral("нет")).value(1).toLongLong(), 900);
    EXPECT_GE(f.value(QStringLiteral("спасибо")).value(1).toLongLong(), 50);
    EXPECT_LT(f.value(QStringLiteral("клавиатура")).value(1).toLongLong(), 900);

    const auto o = byFirstTwo(open, false);
    ASSERT_TRUE(o.contains(QStringLiteral("слово")));
    EXPECT_TRUE(o.value(QStringLiteral("слово")).at(2).contains(','));  // known to several sources

    const auto ty = byFirstTwo(typos, false);
    EXPECT_EQ(ty.value(QStringLiteral("вобще")).value(1).toStdString(), "вообще");
    // A generated typo never hides a real word.
    for (const char* w : {"привет", "слово", "нет"}) EXPECT_FALSE(ty.contains(QString::fromUtf8(w))) << w;

    const auto b = byFirstTwo(bigrams, true);
    EXPECT_GT(b.value(QStringLiteral("может\tбыть")).value(2).toLongLong(), 1);
}

TEST(LayoutModelFiles, RussianWordFormSetHoldsInflectedFormsAndNothingElse) {
    const QByteArray path = (modelsDir() + "/ru_forms.fst").toUtf8();
    ondrix_fst* set = ondrix_fst_open(path.constData());
    ASSERT_TRUE(set) << path.constData();
    EXPECT_GT(ondrix_fst_len(set), 1000000u);
    auto has = [set](const char* w) { return ondrix_fst_contains(set, w, std::strlen(w)); };
    for (const char* w : {"привет", "пошла", "клавиатурами", "ещё", "еще"}) EXPECT_TRUE(has(w)) << w;
    for (const char* w : {"ghbdtn", "приветт", "клавиатурамии"}) EXPECT_FALSE(has(w)) << w;
    ondrix_fst_close(set);
}

}  // namespace
