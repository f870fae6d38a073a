#include "platform/SoundPlayer.h"

#include "platform/Service.h"

namespace murmelo {
namespace {

class NoSoundPlayer : public SoundPlayer {
public:
    std::shared_ptr<Sound> load(const QString&) override { return nullptr; }
};

}  // namespace

SoundPlayer& SoundPlayer::shared() {
    if (auto* p = installedService<SoundPlayer>()) return *p;
    static NoSoundPlayer none;
    return none;
}

void SoundPlayer::install(SoundPlayer* player) { installService<SoundPlayer>(player); }

}  // namespace murmelo
