#include "input/TapFuse.h"

#include "base/Localization.h"
#include "base/Log.h"
#include "input/HistoryMenus.h"

#include <algorithm>

namespace murmelo {
namespace {

struct FuseState {
    std::vector<double> disables;
    int episodes = 0;
    std::optional<double> lightUntil;
    std::optional<double> offUntil;
    bool burnedOut = false;
};

FuseState& fuse() {
    static FuseState s;
    return s;
}

std::map<qint64, double>& deadlines() {
    static std::map<qint64, double> d;
    return d;
}

QString n(double v) { return QString::number(qint64(v)); }

void refreshMenu() { HistoryMenus::refreshTapFuseItem(); }

}  // namespace

namespace TapFuse {

bool shouldReEnable(Reason reason, double now) {
    FuseState& s = fuse();
    if (reason == Reason::userInput) return !s.burnedOut;
    if (s.burnedOut) return false;

    s.disables.push_back(now);
    std::erase_if(s.disables, [&](double t) { return now - t > window; });
    if (int(s.disables.size()) < maxDisables) {
        logLine(QStringLiteral("tap отвалился по таймауту (") + QString::number(s.disables.size()) + QStringLiteral("/") +
                QString::number(maxDisables) + QStringLiteral(" за ") + n(window) + QStringLiteral(" с) - поднимаю"));
        return true;
    }

    s.disables.clear();
    ++s.episodes;
    bool answer = false;
    if (s.episodes >= maxEpisodes) {
        s.burnedOut = true;
        s.offUntil.reset();
        s.lightUntil.reset();
        logLine(QStringLiteral("⚠ ПЕРЕХВАТ СНЯТ ДО ПЕРЕЗАПУСКА: ") + QString::number(s.episodes) +
                QStringLiteral(" эпизода зависаний. ") +
                QStringLiteral("Не работают ни правки, ни горячие клавиши - включая диктовку: ") +
                QStringLiteral("она читается из того же перехвата. Зато клавиатура и мышь ваши. ") +
                QStringLiteral("Разбор: строки «главный поток стоял» выше в этом логе"));
        answer = false;
    } else if (!s.lightUntil) {
        s.lightUntil = now + cooldown;
        logLine(QStringLiteral("⚠ ПРАВКИ ПРИ ПЕЧАТИ НА ПАУЗЕ ") + n(cooldown) + QStringLiteral(" с: ") +
                QString::number(maxDisables) + QStringLiteral(" зависания за ") + n(window) +
                QStringLiteral(" с. Перехват оставлен - диктовка и хоткеи работают, ") +
                QStringLiteral("тяжёлые слои пропускаются (эпизод ") + QString::number(s.episodes) + QStringLiteral("/") +
                QString::number(maxEpisodes) + QStringLiteral(")"));
        answer = true;
    } else {
        s.offUntil = now + cooldown;
        s.lightUntil.reset();
        logLine(QStringLiteral("⚠ ПЕРЕХВАТ СНЯТ НА ") + n(cooldown) + QStringLiteral(" с: зависания продолжились ДАЖЕ с ") +
                QStringLiteral("выключенными правками, значит дело не в них. Диктовка и хоткеи тоже ") +
                QStringLiteral("молчат это время (эпизод ") + QString::number(s.episodes) + QStringLiteral("/") +
                QString::number(maxEpisodes) + QStringLiteral(")"));
        answer = false;
    }
    refreshMenu();
    return answer;
}

bool heavyLayersSuspended(double now) {
    FuseState& s = fuse();
    if (!s.lightUntil) return false;
    if (now < *s.lightUntil) return true;
    s.lightUntil.reset();
    logLine(QStringLiteral("правки при печати вернулись после паузы - слежу дальше"));
    refreshMenu();
    return false;
}

bool mayRearm(double now) {
    FuseState& s = fuse();
    if (s.burnedOut) return false;
    if (!s.offUntil) return true;
    if (now >= *s.offUntil) {
        s.offUntil.reset();
        logLine(QStringLiteral("перехват возвращён после паузы - слежу дальше"));
        refreshMenu();
        return true;
    }
    return false;
}

std::optional<QString> menuLine() {
    const FuseState& s = fuse();
    if (s.burnedOut)
        return L(QStringLiteral("menu.tapFuse.off"),
                 QStringLiteral("Перехват снят до перезапуска: не работают ни правки, ни диктовка"));
    if (s.offUntil)
        return L(QStringLiteral("menu.tapFuse.offTemp"),
                 QStringLiteral("Перехват снят на несколько минут: не работают ни правки, ни диктовка"));
    if (s.lightUntil)
        return L(QStringLiteral("menu.tapFuse.paused"),
                 QStringLiteral("Правки при печати на паузе (диктовка работает): приложение подвешивало ввод"));
    return std::nullopt;
}

void reset() { fuse() = FuseState{}; }
int episodes() { return fuse().episodes; }
bool burnedOut() { return fuse().burnedOut; }

}  // namespace TapFuse

namespace SwallowedKeys {

void noteSwallowedDown(qint64 keyCode, double now) { deadlines()[keyCode] = now + ttl; }

bool shouldSwallowUp(qint64 keyCode, double now) {
    auto it = deadlines().find(keyCode);
    if (it == deadlines().end()) return false;
    const double deadline = it->second;
    deadlines().erase(it);
    return now <= deadline;
}

int sweepExpired(double now) { return int(std::erase_if(deadlines(), [&](const auto& e) { return e.second < now; })); }

void reset() { deadlines().clear(); }
int trackedCount() { return int(deadlines().size()); }

}  // namespace SwallowedKeys
}  // namespace murmelo
