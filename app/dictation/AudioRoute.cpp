#include "dictation/AudioRoute.h"

#include "base/Log.h"
#include "platform/AudioInput.h"

namespace murmelo::AudioRoute {
namespace {

bool listening = false;

}  // namespace

QString currentInputName() {
    const auto device = AudioInput::shared().defaultInputDevice();
    if (!device) return QStringLiteral("нет устройства");
    if (device->name) return *device->name;
    return QStringLiteral("устройство ") + QString::number(device->id);
}

void startListening(std::function<void()> onChange) {
    if (listening) return;
    listening = true;
    const int status = AudioInput::shared().addDefaultInputListener([onChange = std::move(onChange)] {
        logLine(QStringLiteral("аудио: устройство ввода сменилось → ") + currentInputName() +
                QStringLiteral(", пересобираю рекордер"));
        if (onChange) onChange();
    });
    if (status != 0) {
        listening = false;
        logLine(QStringLiteral("аудио: не удалось подписаться на смену устройства ввода (") + QString::number(status) +
                QStringLiteral(")"));
        return;
    }
    logLine(QStringLiteral("аудио: слушаю смену устройства ввода, сейчас — ") + currentInputName());
}

void resetForTesting() { listening = false; }

}  // namespace murmelo::AudioRoute
