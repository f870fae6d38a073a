#include "layout/InputRivals.h"

#include "base/Localization.h"
#include "base/Log.h"
#include "input/OwnedChords.h"
#include "platform/MainQueue.h"
#include "ui/AppState.h"

#include <QAction>
#include <QFileInfo>
#include <QSet>
#include <algorithm>

namespace murmelo::InputRivals {

namespace {

QStringList& reported() {
    static QStringList list;
    return list;
}

TimerHandle& timer() {
    static TimerHandle t;
    return t;
}

QString baseName(const QString& path) { return QFileInfo(path).fileName(); }

// A script's interpreter names the process; the script itself is the first argument that is
// no option.
bool isInterpreter(const QString& name) {
    static const QStringList interpreters = {QStringLiteral("python"), QStringLiteral("perl"), QStringLiteral("ruby"),
                                             QStringLiteral("node"),   QStringLiteral("sh"),   QStringLiteral("bash")};
    for (const QString& i : interpreters)
        if (name == i || (name.startsWith(i) && name.size() > i.size() &&
                          (name[i.size()].isDigit() || name[i.size()] == QLatin1Char('.'))))
            return true;
    return false;
}

void scheduleCheck() {
    timer() = MainQueue::shared().after(checkInterval, [] {
        report(false);
        scheduleCheck();
    });
}

void apply(QAction* item) {
    if (!item) return;
    const std::optional<QString> line = menuLine();
    item->setText(line.value_or(QString()));
    item->setVisible(line.has_value());
}

}  // namespace

const QList<Known>& known() {
    static const QList<Known> list = {
        {QStringLiteral("xneur"), QStringLiteral("X Neural Switcher")},
        {QStringLiteral("gxneur"), QStringLiteral("X Neural Switcher")},
        {QStringLiteral("kxneur"), QStringLiteral("X Neural Switcher")},
        {QStringLiteral("kbdd"), QStringLiteral("kbdd")},
        {QStringLiteral("xxkb"), QStringLiteral("xxkb")},
        {QStringLiteral("keyd"), QStringLiteral("keyd")},
        {QStringLiteral("kmonad"), QStringLiteral("KMonad")},
        {QStringLiteral("kanata"), QStringLiteral("Kanata")},
        {QStringLiteral("udevmon"), QStringLiteral("Interception Tools")},
        {QStringLiteral("xcape"), QStringLiteral("xcape")},
        {QStringLiteral("evremap"), QStringLiteral("evremap")},
        {QStringLiteral("input-remapper-service"), QStringLiteral("Input Remapper")},
        {QStringLiteral("xkeysnail"), QStringLiteral("xkeysnail")},
        {QStringLiteral("keymapperd"), QStringLiteral("keymapper")},
    };
    return list;
}

std::optional<QString> rivalName(const ProcessRow& row) {
    QStringList names;
    const QString exe = baseName(row.executable);
    if (!exe.isEmpty()) names << exe;
    if (!row.arguments.isEmpty()) names << baseName(row.arguments.first());
    if (isInterpreter(exe) || (!row.arguments.isEmpty() && isInterpreter(baseName(row.arguments.first())))) {
        for (qsizetype i = 1; i < row.arguments.size(); ++i) {
            if (row.arguments[i].startsWith(QLatin1Char('-'))) continue;
            names << baseName(row.arguments[i]);
            break;
        }
    }
    for (const Known& k : known())
        if (names.contains(k.process)) return k.name;
    return std::nullopt;
}

QStringList running(const Processes& processes) {
    const std::optional<QList<ProcessRow>> table = processes.table();
    if (!table) return {};
    QSet<QString> found;
    for (const ProcessRow& row : *table) {
        if (row.pid == processes.selfPid()) continue;
        if (auto name = rivalName(row)) found.insert(*name);
    }
    QStringList out(found.begin(), found.end());
    std::sort(out.begin(), out.end());
    return out;
}

QStringList running() {
    QStringList out = running(Processes::shared());
    // X11 names no client behind a grab: a program that holds a chord of ours is named by it.
    for (const QString& chord : OwnedChords::conflicts()) out << QStringLiteral("программа с ") + chord;
    return out;
}

void report(bool force) {
    const QStringList list = running();
    if (!force && list == reported()) return;
    reported() = list;
    if (!list.isEmpty()) {
        logLine(QStringLiteral("⚠ РЯДОМ РАБОТАЕТ ЧУЖОЙ ПЕРЕХВАТЧИК: ") + list.join(QStringLiteral(", ")) +
                QStringLiteral(". ") + QStringLiteral("Обе программы правят одни и те же клавиши: возможны дубли букв, ") +
                QStringLiteral("недоконвертированные слова и правки, спорящие друг с другом. ") +
                QStringLiteral("Прежде чем разбирать жалобу на текст, спроси, работает ли он"));
    } else {
        logLine(QStringLiteral("перехватчики ввода: кроме нас никого"));
    }
    refreshRivalItem();
}

void start() {
    report(true);
    timer().cancel();
    scheduleCheck();
}

std::optional<QString> menuLine() {
    if (reported().isEmpty()) return std::nullopt;
    return L(QStringLiteral("menu.rivals"), QStringLiteral("Рядом работает %1$@ — правки могут спорить"),
             QVariantList{reported().join(QStringLiteral(", "))});
}

void refreshRivalItem() { apply(AppState::shared().rivalItem); }

const QStringList& lastReported() { return reported(); }

void resetForTesting() {
    timer().cancel();
    timer().reset();
    reported().clear();
}

}  // namespace murmelo::InputRivals
