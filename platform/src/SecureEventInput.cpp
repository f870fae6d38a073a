#include "platform/SecureEventInput.h"

#include "platform/Service.h"

namespace murmelo {
namespace {

class NoSecureEventInput : public SecureEventInput {
public:
    bool isEnabled() override { return false; }
    std::optional<QString> holderRegistryText() override { return std::nullopt; }
};

}  // namespace

SecureEventInput& SecureEventInput::shared() {
    if (auto* s = installedService<SecureEventInput>()) return *s;
    static NoSecureEventInput none;
    return none;
}

void SecureEventInput::install(SecureEventInput* secureInput) { installService<SecureEventInput>(secureInput); }

}  // namespace murmelo
