#pragma once
// What the switcher engine asks of dictation, which lives outside it: typing without Command
// while a dictation records finishes that dictation first. The shell implements this.

namespace murmelo {

class SwitcherDictation {
public:
    virtual ~SwitcherDictation() = default;
    virtual bool isRecording() = 0;
    virtual void stopRecording() = 0;
};

}  // namespace murmelo
