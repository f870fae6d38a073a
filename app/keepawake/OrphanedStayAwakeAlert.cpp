#include "keepawake/OrphanedStayAwakeAlert.h"

#include "base/Localization.h"
#include "keepawake/KeepAwakeSeam.h"

#include <QMessageBox>
#include <QPushButton>

namespace murmelo {
namespace {

OrphanedStayAwakeAlert::Runner g_runner;

OrphanedStayAwakeAlert::Answer runModal(const OrphanedStayAwakeAlert& alert) {
    QMessageBox box;
    box.setIcon(QMessageBox::Warning);
    box.setText(alert.message);
    box.setInformativeText(alert.informativeText);
    QPushButton* keep = box.addButton(alert.buttons.value(0), QMessageBox::AcceptRole);
    box.addButton(alert.buttons.value(1), QMessageBox::RejectRole);
    box.setDefaultButton(keep);
    box.exec();
    return box.clickedButton() == keep ? OrphanedStayAwakeAlert::Answer::keep
                                       : OrphanedStayAwakeAlert::Answer::release;
}

}  // namespace

OrphanedStayAwakeAlert OrphanedStayAwakeAlert::make() {
    OrphanedStayAwakeAlert a;
    a.message = L(QStringLiteral("stayAwake.orphan.title"), QStringLiteral("Ноутбук сейчас не заснёт"));
    a.informativeText = L(QStringLiteral("stayAwake.orphan.body"),
                          QStringLiteral("Запрет сна остался с прошлого раза, а сторожа, который снял бы его по "
                                         "сроку или по разряду батареи, больше нет — так бывает после перезагрузки. "
                                         "Пока это так, машина не заснёт даже с закрытой крышкой и разрядится в "
                                         "ноль."));
    a.buttons << L(QStringLiteral("stayAwake.orphan.keep"), QStringLiteral("Держать дальше"))
              << L(QStringLiteral("stayAwake.orphan.release"), QStringLiteral("Вернуть сон"));
    return a;
}

void OrphanedStayAwakeAlert::show() {
    const OrphanedStayAwakeAlert alert = make();
    const Answer answer = g_runner ? g_runner(alert) : runModal(alert);
    auto& seam = KeepAwakeSeam::shared();
    if (answer == Answer::keep)
        seam.keepAfterOrphan();
    else
        seam.releaseAfterOrphan();
}

void OrphanedStayAwakeAlert::setRunner(Runner runner) { g_runner = std::move(runner); }

}  // namespace murmelo
