#include "core/NeighbourServices.h"

namespace murmelo {
namespace {
NeighbourServices* g_installed = nullptr;
}  // namespace

NeighbourServices& NeighbourServices::shared() {
    if (g_installed) return *g_installed;
    static NeighbourServices process;
    return process;
}

void NeighbourServices::install(NeighbourServices* services) { g_installed = services; }

}  // namespace murmelo
