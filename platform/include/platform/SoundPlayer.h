#pragma once
#include <QString>

#include <memory>

namespace murmelo {

// One short bundled sound, loaded once and played as often as needed.
class Sound {
public:
    virtual ~Sound() = default;
    virtual bool isPlaying() = 0;
    virtual void stop() = 0;
    // Starts the sound from its beginning; returns at once.
    virtual void play() = 0;
};

// The program's own short sounds, by name ("Pop", "Tink", "Bottle"). Not bound to a thread,
// but one sound is used from one thread at a time.
class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    // The sound of that name, or none when there is no such sound or it cannot be played.
    virtual std::shared_ptr<Sound> load(const QString& name) = 0;

    // The installed player; before one is installed, a player without sounds.
    static SoundPlayer& shared();
    static void install(SoundPlayer* player);
};

}  // namespace murmelo
