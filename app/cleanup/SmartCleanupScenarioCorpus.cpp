#include "cleanup/SmartCleanupScenarioCorpus.h"

#include "cleanup/SmartCleanupSkillRegistry.h"

#include <QSet>
#include <QStringList>

#include <algorithm>

namespace murmelo::SmartCleanupScenarioCorpus {
namespace {

using Skills = QList<SmartCleanupSkillID>;
namespace R = SmartCleanupSkillRegistry;

struct Pattern {
    QString id;
    QStringList markers;
    Skills skills;
};

SmartCleanupScenarioCase make(const QString& id, const QString& input, const QString& expected,
                              SmartCleanupScenarioOrigin origin, const Skills& skills) {
    return {id, input, expected, SmartCleanupMode::clean, origin, skills};
}

QList<Pattern> patterns(const QString& language) {
    const bool ru = language == QStringLiteral("ru");
    const auto markers = [&](std::initializer_list<const char*> r, std::initializer_list<const char*> e) {
        QStringList out;
        for (const char* m : ru ? r : e) out << QString::fromUtf8(m);
        return out;
    };
    return {
        {"marker-digits", markers({"пункт 1", "пункт 2", "пункт 3"}, {"number 1", "number 2", "number 3"}),
         {R::markerThenNumber()}},
        {"marker-words", markers({"пункт один", "пункт два", "пункт три"}, {"number one", "number two", "number three"}),
         {R::markerThenNumber()}},
        {"steps", markers({"шаг один", "шаг два", "шаг три"}, {"step one", "step two", "step three"}),
         {R::markerThenNumber()}},
        {"ordinal-marker",
         markers({"первый пункт", "второй пункт", "третий пункт"}, {"first point", "second point", "third point"}),
         {R::ordinalThenMarker()}},
        {"ordinal-marker-bare", markers({"первый пункт", "второй пункт", "третий"}, {"first point", "second point", "third"}),
         {R::ordinalThenMarker(), R::bareOrdinalContinuation()}},
        {"single-marker-bare", markers({"первый пункт", "второй", "третий"}, {"first point", "second", "third"}),
         {R::ordinalThenMarker(), R::bareOrdinalContinuation()}},
        {"bare-ordinals", markers({"первый", "второй", "третий"}, {"first", "second", "third"}),
         {R::bareOrdinalContinuation()}},
        {"discourse", markers({"во-первых", "во-вторых", "в-третьих"}, {"firstly", "secondly", "thirdly"}),
         {R::discourseOrdinal()}},
    };
}

QStringList titlesOf(const QString& language) {
    if (language == QStringLiteral("ru")) return {QStringLiteral("План"), QStringLiteral("Задачи"), QStringLiteral("Шаги")};
    return {QStringLiteral("Plan"), QStringLiteral("Tasks"), QStringLiteral("Steps")};
}

QStringList itemsOf(const QString& language) {
    if (language == QStringLiteral("ru"))
        return {QStringLiteral("проверить сборку"), QStringLiteral("перезапустить приложение"),
                QStringLiteral("зафиксировать результат")};
    return {QStringLiteral("check the build"), QStringLiteral("restart the application"),
            QStringLiteral("record the result")};
}

QList<SmartCleanupScenarioCase> generatedLanguageCases(const QString& language, const QStringList& titles,
                                                       const QStringList& items, const QList<Pattern>& patterns) {
    static const QStringList separators = {QStringLiteral(", "), QStringLiteral(" — "), QStringLiteral(": "),
                                           QStringLiteral("; "), QStringLiteral(". ")};
    QList<SmartCleanupScenarioCase> out;
    for (qsizetype t = 0; t < titles.size(); ++t) {
        for (const Pattern& pattern : patterns) {
            const qsizetype n = std::min(pattern.markers.size(), items.size());
            for (qsizetype d = 0; d < separators.size(); ++d) {
                QStringList parts, lines;
                for (qsizetype k = 0; k < n; ++k) {
                    parts << pattern.markers[k] + separators[d] + items[k];
                    lines << QString::number(k + 1) + QStringLiteral(". ") + items[k];
                }
                out << make(language + QStringLiteral(".generated.") + pattern.id + QStringLiteral(".t") +
                                QString::number(t) + QStringLiteral(".d") + QString::number(d),
                            titles[t] + QStringLiteral(", ") + parts.join(QStringLiteral(", ")) + QStringLiteral("."),
                            titles[t] + QStringLiteral(":\n") + lines.join(QStringLiteral("\n")) + QStringLiteral("."),
                            SmartCleanupScenarioOrigin::generated, pattern.skills);
            }
        }
    }
    return out;
}

QList<SmartCleanupScenarioCase> generatedNumericMarkerCases(const QString& language, const QStringList& titles,
                                                            const QStringList& items) {
    QList<SmartCleanupScenarioCase> out;
    if (items.size() < 3) return out;
    const QString &i1 = items[0], &i2 = items[1], &i3 = items[2];
    for (qsizetype t = 0; t < titles.size(); ++t) {
        const QString& title = titles[t];
        const QString spaced = title + ":\n1. " + i1 + "\n2. " + i2 + "\n3. " + i3 + ".";
        const QList<std::tuple<QString, QString, QString>> variants = {
            {"spaced", title + ": 1. " + i1 + ", 2. " + i2 + ", 3. " + i3 + ".", spaced},
            {"collapsed", title + ":1. " + i1 + "2. " + i2 + "3. " + i3 + ".", spaced},
            {"tight", title + ":1." + i1 + "2." + i2 + "3." + i3 + ".", spaced},
            {"parentheses", title + ", 1) " + i1 + ", 2) " + i2 + ", 3) " + i3 + ".", spaced},
            {"sentence-header", title + ". 1. " + i1 + ". 2. " + i2 + ". 3. " + i3 + ".",
             title + ".\n1. " + i1 + ".\n2. " + i2 + ".\n3. " + i3 + "."},
        };
        for (const auto& [variant, input, expected] : variants) {
            out << make(language + QStringLiteral(".generated.numeric.") + variant + QStringLiteral(".t") +
                            QString::number(t),
                        input, expected, SmartCleanupScenarioOrigin::generated, {R::standaloneNumeric()});
        }
    }
    return out;
}

bool endsWithTerminal(const QString& text) {
    return text.endsWith(u'.') || text.endsWith(u'!') || text.endsWith(u'?');
}

}  // namespace

QList<SmartCleanupScenarioCase> builtIn() {
    const auto b = SmartCleanupScenarioOrigin::builtIn;
    QList<SmartCleanupScenarioCase> out = {
        make("ru.user.marker-number",
             "План, пункт 1, сделать много, пункт 2, проверить, пункт 3, заработать кучу денег.",
             "План:\n1. сделать много\n2. проверить\n3. заработать кучу денег.", b, {R::markerThenNumber()}),
        make("ru.user.ordinal-marker-bare",
             "Давай запишем план. Первый пункт – проверить работу Murmelo. Второй пункт – перезапустить его. Третий – "
             "заработать денег.",
             "Давай запишем план.\n1. проверить работу Murmelo.\n2. перезапустить его.\n3. заработать денег.", b,
             {R::ordinalThenMarker(), R::bareOrdinalContinuation()}),
        make("ru.user.single-marker-bare-no-delimiters",
             "Давай напишем план. Первый пункт протестировать, второй зарелизить, третий заработать.",
             "Давай напишем план.\n1. протестировать\n2. зарелизить\n3. заработать.", b,
             {R::ordinalThenMarker(), R::bareOrdinalContinuation()}),
        make("en.ordinal-marker-bare", "Plan. First point — check the build. Second point — restart it. Third — ship.",
             "Plan.\n1. check the build.\n2. restart it.\n3. ship.", b,
             {R::ordinalThenMarker(), R::bareOrdinalContinuation()}),
        make("ru.discourse", "План, во-первых, проверить, во-вторых, перезапустить, в-третьих, заработать.",
             "План:\n1. проверить\n2. перезапустить\n3. заработать.", b, {R::discourseOrdinal()}),
        make("ru.user.numeric-markers", "Давай запишем план. 1. Проверить работу, 2. Перезапустить, 3. Заработать.",
             "Давай запишем план.\n1. Проверить работу\n2. Перезапустить\n3. Заработать.", b,
             {R::standaloneNumeric()}),
        make("ru.user.numeric-markers-collapsed", "Давай напишем план:1. протестировать2. зарелизить3. заработать",
             "Давай напишем план:\n1. протестировать\n2. зарелизить\n3. заработать", b, {R::standaloneNumeric()}),
    };
    out << negativeCases();
    return out;
}

QList<SmartCleanupScenarioCase> negativeCases() {
    static const char* const texts[] = {
        "Нам нужен пункт 1 договора.",
        "Первый пункт договора связан со вторым пунктом приложения.",
        "Сначала проверь первый документ, затем второй документ.",
        "Он занял первое место, а коллега второе место.",
        "Версии 1.2 и 2.3 остаются совместимыми.",
        "Открой раздел номер один.",
        "Проверим первый пункт позже.",
        "Первый пользователь открыл второй документ.",
        "The first point of the contract references the second section.",
        "Check the first document and then the second document.",
        "Version 1.2 works with version 2.3.",
        "Open item one.",
        "The first user opened the second document.",
        "This is the first point we discussed.",
        "Пункт один договора и пять процентов комиссии.",
        "Номер один — это просто рейтинг.",
        "Step one is mentioned without a second step.",
        "Firstly is a word we are discussing.",
        "Во-первых — это вводное слово без продолжения списка.",
        "Третий — единственное порядковое слово в предложении.",
        "Модель 1. Работает с моделью 2. Хорошо.",
        "Файлы report1.txt и report2.txt лежат рядом.",
        "Температура выросла с 1.5 до 2.0 градуса.",
        "В 1. Главе упомянута 2. Версия документа.",
        "Первый документ связан со вторым документом и третьим документом.",
    };
    QList<SmartCleanupScenarioCase> out;
    int k = 0;
    for (const char* text : texts) {
        const QString t = QString::fromUtf8(text);
        out << make(QStringLiteral("negative.") + QString::number(k++), t, t, SmartCleanupScenarioOrigin::builtIn, {});
    }
    return out;
}

QList<SmartCleanupScenarioCase> generated() {
    QList<SmartCleanupScenarioCase> out;
    for (const char* lang : {"ru", "en"}) {
        const QString language = QString::fromLatin1(lang);
        out << generatedLanguageCases(language, titlesOf(language), itemsOf(language), patterns(language));
    }
    for (const char* lang : {"ru", "en"}) {
        const QString language = QString::fromLatin1(lang);
        out << generatedNumericMarkerCases(language, titlesOf(language), itemsOf(language));
    }
    return out;
}

QList<SmartCleanupScenarioCase> generated(const QList<SmartCleanupScenarioCase>& fromConfirmed) {
    QList<SmartCleanupScenarioCase> out;
    for (const SmartCleanupScenarioCase& c : fromConfirmed) {
        if (c.origin != SmartCleanupScenarioOrigin::confirmedCorrection) continue;
        QSet<QString> produced;
        const auto offer = [&](const QString& suffix, const QString& input, const QString& expected) {
            if (input == c.input && expected == c.expected) return;
            const QString pair = input + QChar(u'\0') + expected;
            if (produced.contains(pair)) return;
            produced.insert(pair);
            out << SmartCleanupScenarioCase{c.id + QStringLiteral(".generated.") + suffix, input, expected, c.mode,
                                            SmartCleanupScenarioOrigin::generated, c.requiredSkills};
        };
        const auto redash = [](QString text, QChar dash) {
            return text.replace(QChar(0x2013), dash).replace(QChar(0x2014), dash);
        };
        for (const auto& [suffix, dash] : {std::pair{"en-dash", QChar(0x2013)}, std::pair{"em-dash", QChar(0x2014)},
                                           std::pair{"hyphen", QChar(u'-')}}) {
            offer(QString::fromLatin1(suffix), redash(c.input, dash), redash(c.expected, dash));
        }
        QString spaced = c.input;
        spaced.replace(QStringLiteral(", "), QStringLiteral(",  "))
            .replace(QStringLiteral(" – "), QStringLiteral("  –  "))
            .replace(QStringLiteral(" — "), QStringLiteral("  —  "));
        offer(QStringLiteral("spacing"), spaced, c.expected);
        if (!c.input.isEmpty() && !c.expected.isEmpty() && endsWithTerminal(c.input) && endsWithTerminal(c.expected)) {
            offer(QStringLiteral("no-terminal-punctuation"), c.input.chopped(1), c.expected.chopped(1));
        }
    }
    return out;
}

}  // namespace murmelo::SmartCleanupScenarioCorpus
