#include "base/BuildStamp.h"

#include "base/Bundle.h"
#include "base/Defaults.h"
#include "base/Localization.h"

namespace murmelo::BuildStamp {
namespace {

QStringList indexed(const char* stem, int count) {
    QStringList out;
    for (int i = 0; i < count; ++i)
        if (auto v = Bundle::infoString(QString::fromLatin1(stem) + QString::number(i))) out << *v;
    return out;
}

}  // namespace

std::optional<QString> branch() { return Bundle::infoString("MurmeloBuildBranch"); }
std::optional<QString> commit() { return Bundle::infoString("MurmeloBuildCommit"); }
std::optional<QString> time() { return Bundle::infoString("MurmeloBuildTime"); }
std::optional<QString> root() { return Bundle::infoString("MurmeloBuildRoot"); }
bool dirty() { return Bundle::infoString("MurmeloBuildDirty") == QStringLiteral("1"); }

QStringList recent() { return indexed("MurmeloBuildRecent", 3); }

QStringList whatsNew() {
    const QStringList lines = indexed("MurmeloWhatsNew", 6);
    return lines.isEmpty() ? recent() : lines;
}

bool isWork() {
    const auto b = branch();
    return b && *b != QLatin1String("main") && *b != QLatin1String("HEAD");
}

bool showsPanel() {
    if (!isWork()) return false;
    const QString key = QString::fromLatin1(BUILD_PANEL_KEY);
    if (Defaults::shared().object(key)) return Defaults::shared().boolValue(key);
    return true;
}

QString badge() {
    const auto b = branch();
    if (!b) return QStringLiteral("?");
    QString rest = *b;
    if (rest.startsWith(QLatin1String(badgePrefix))) rest = rest.mid(qsizetype(strlen(badgePrefix)));
    // A trailing "-" and six characters is a generated suffix, not part of the name.
    const qsizetype dash = rest.lastIndexOf('-');
    if (dash >= 0 && rest.size() - dash == 7) rest = rest.left(dash);
    const QStringList pieces = rest.split('-', Qt::SkipEmptyParts);
    return pieces.mid(0, 2).join('-');
}

QString line() {
    const auto b = branch();
    if (!b) return L("build.unknown", "сборка без штампа");
    QString out = *b + QStringLiteral(" · ") + commit().value_or(QStringLiteral("?"));
    if (dirty()) out += QStringLiteral(" + несохранённые правки");
    if (const auto t = time()) out += QStringLiteral(" · ") + *t;
    return out;
}

}  // namespace murmelo::BuildStamp
