#include "polish/PolishTapConsumer.h"

#include "polish/PolishUnderline.h"

namespace murmelo {

void PolishTapConsumer::revertLast() { PolishUnderline::revertLast(); }

}  // namespace murmelo
