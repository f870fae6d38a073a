#include "base/Localization.h"

#include "base/Bundle.h"
#include "base/Defaults.h"
#include "base/Format.h"
#include "base/LanguageRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <memory>
#include <mutex>

namespace murmelo {
namespace {

struct Table {
    QString language;
    QString path;
    QHash<QString, QString> texts;
};

std::mutex tableMutex;
std::shared_ptr<const Table> current;
std::optional<QStringList> systemLanguagesOverride;

QHash<QString, QString> readTable(const QString& lproj) {
    QFile f(QDir(lproj).filePath("Localizable.strings"));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return Localization::parseTable(QString::fromUtf8(f.readAll()));
}

QStringList preferredLanguages() {
    QStringList list;
    for (const QVariant& v : Defaults::shared().listValue("AppleLanguages"))
        if (v.typeId() == QMetaType::QString && !v.toString().isEmpty()) list << v.toString();
    if (!list.isEmpty()) return list;
    if (systemLanguagesOverride) return *systemLanguagesOverride;
    return QLocale::system().uiLanguages();
}

std::shared_ptr<const Table> chooseTable() {
    auto table = std::make_shared<Table>();
    // A developer's checkout may stand in for one language's table.
    const QString repo = qEnvironmentVariable("MURMELO_REPO_ROOT");
    const QString override = qEnvironmentVariable("MURMELO_UI_LANGUAGE_OVERRIDE");
    if (!repo.isEmpty() && !override.isEmpty() && Localization::shipped().contains(override)) {
        const QString lproj = QDir(repo).filePath("resources/" + override + ".lproj");
        if (QFileInfo(lproj).isDir()) {
            table->language = override;
            table->path = lproj;
            table->texts = readTable(lproj);
            return table;
        }
    }
    // Else the application's own resources, in the first preferred language they hold.
    table->language = QStringLiteral("ru");
    for (const QString& preferred : preferredLanguages()) {
        const QString code = LanguageRegistry::normalized(preferred);
        if (!Localization::shipped().contains(code)) continue;
        if (!QFileInfo(Bundle::resourcePath(code + ".lproj")).isDir()) continue;
        table->language = code;
        break;
    }
    const QString lproj = Bundle::resourcePath(table->language + ".lproj");
    if (QFileInfo(lproj).isDir()) {
        table->path = lproj;
        table->texts = readTable(lproj);
    }
    return table;
}

std::shared_ptr<const Table> activeTable() {
    std::lock_guard lock(tableMutex);
    if (!current) current = chooseTable();
    return current;
}

}  // namespace

QString L(const QString& key, const QString& ruDefault) {
    const auto table = activeTable();
    const auto it = table->texts.constFind(key);
    return it == table->texts.constEnd() ? ruDefault : *it;
}

QString L(const QString& key, const QString& ruFormat, const QVariantList& args) {
    return formatSpec(L(key, ruFormat), args);
}

namespace Localization {

const QStringList& shipped() {
    static const QStringList list{QStringLiteral("ru"), QStringLiteral("en")};
    return list;
}

QString language() { return activeTable()->language; }

QString tablePath() { return activeTable()->path; }

void resetForTesting(std::optional<QStringList> systemLanguages) {
    std::lock_guard lock(tableMutex);
    current.reset();
    systemLanguagesOverride = std::move(systemLanguages);
}

QHash<QString, QString> parseTable(const QString& text, QString* error) {
    QHash<QString, QString> out;
    const qsizetype n = text.size();
    qsizetype i = 0;
    int line = 1;
    auto fail = [&](const QString& why) {
        if (error) *error = QStringLiteral("line %1: %2").arg(line).arg(why);
        return out;
    };
    auto skipSpace = [&]() -> bool {
        while (i < n) {
            const QChar c = text[i];
            if (c == '\n') { ++line; ++i; }
            else if (c.isSpace()) ++i;
            else if (c == '/' && i + 1 < n && text[i + 1] == '/') {
                while (i < n && text[i] != '\n') ++i;
            } else if (c == '/' && i + 1 < n && text[i + 1] == '*') {
                const qsizetype end = text.indexOf("*/", i + 2);
                if (end < 0) return false;
                line += int(text.mid(i, end - i).count('\n'));
                i = end + 2;
            } else break;
        }
        return true;
    };
    auto quoted = [&](QString& value) -> bool {
        if (i >= n || text[i] != '"') return false;
        ++i;
        while (i < n && text[i] != '"') {
            QChar c = text[i++];
            if (c == '\n') ++line;
            if (c != '\\') { value += c; continue; }
            if (i >= n) return false;
            const QChar e = text[i++];
            if (e == 'n') value += '\n';
            else if (e == 't') value += '\t';
            else if (e == 'r') value += '\r';
            else if ((e == 'u' || e == 'U') && i + 4 <= n) {
                bool ok = false;
                const ushort code = text.mid(i, 4).toUShort(&ok, 16);
                if (!ok) return false;
                value += QChar(code);
                i += 4;
            } else value += e;
        }
        if (i >= n) return false;
        ++i;
        return true;
    };
    if (error) error->clear();
    while (true) {
        if (!skipSpace()) return fail("unclosed comment");
        if (i >= n) break;
        QString key, value;
        if (!quoted(key)) return fail("expected a quoted key");
        if (!skipSpace() || i >= n || text[i] != '=') return fail("expected = after \"" + key + "\"");
        ++i;
        if (!skipSpace() || !quoted(value)) return fail("expected a quoted text for \"" + key + "\"");
        if (!skipSpace() || i >= n || text[i] != ';') return fail("expected ; after \"" + key + "\"");
        ++i;
        // A second entry for a key wins, but a translator should hear about it.
        if (out.contains(key) && error && error->isEmpty())
            *error = QStringLiteral("line %1: duplicate key \"%2\"").arg(line).arg(key);
        out.insert(key, value);
    }
    return out;
}

}  // namespace Localization
}  // namespace murmelo
