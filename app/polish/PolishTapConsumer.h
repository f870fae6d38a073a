#pragma once
#include "input/TapConsumers.h"

namespace murmelo {

// What the event tap asks of polish: its revert chord takes back the newest polish edit that
// still has its underline.
class PolishTapConsumer : public TapPolish {
public:
    void revertLast() override;
};

}  // namespace murmelo
