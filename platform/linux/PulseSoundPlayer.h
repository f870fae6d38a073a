#pragma once
#include "platform/SoundPlayer.h"

#include <QByteArray>
#include <memory>

namespace murmelo::linuxdesktop {

// Our own short tones played through the sound server (libpulse): one connection for the
// program, one playback stream per play. play() returns at once; a server that is slow or
// gone never blocks the caller, the sound is then simply not heard.
class PulseSoundPlayer : public SoundPlayer {
public:
    PulseSoundPlayer();
    ~PulseSoundPlayer() override;
    std::shared_ptr<Sound> load(const QString& name) override;

    // The WAV file of a bundled tone (16-bit mono); empty for an unknown name.
    static QByteArray toneWav(const QString& name);
    static constexpr int SAMPLE_RATE = 22050;

    class Engine;

private:
    std::shared_ptr<Engine> engine_;
};

}  // namespace murmelo::linuxdesktop
