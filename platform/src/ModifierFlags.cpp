#include "platform/ModifierFlags.h"

#include "platform/Service.h"

namespace murmelo {
namespace {

// Without a backend nothing reads as held.
class NoModifierFlags : public ModifierFlags {
public:
    quint64 current() const override { return 0; }
};

}  // namespace

ModifierFlags& ModifierFlags::shared() {
    if (auto* f = installedService<ModifierFlags>()) return *f;
    static NoModifierFlags none;
    return none;
}

void ModifierFlags::install(ModifierFlags* flags) { installService<ModifierFlags>(flags); }

}  // namespace murmelo
