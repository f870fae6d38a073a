#pragma once
#include "platform/SoundPlayer.h"

#include <QByteArray>

namespace murmelo::linuxdesktop {

// Our own short tones, written as WAV files to the cache folder on first use and played by
// `paplay` started as a child with an explicit argument list: the sound server does the
// mixing and a hung server never blocks the caller.
class PaplaySoundPlayer : public SoundPlayer {
public:
    std::shared_ptr<Sound> load(const QString& name) override;

    // The WAV file of a bundled tone; empty for an unknown name.
    static QByteArray toneWav(const QString& name);
};

}  // namespace murmelo::linuxdesktop
