#pragma once

namespace murmelo {

// The application's own "reduce motion" setting (the desktop has none to follow): cards and
// indicators appear without slides, sparks and other decorative motion. Off by default; read
// from the defaults at every use.
bool reduceMotion();

}  // namespace murmelo
