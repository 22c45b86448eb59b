// Placeholder until the registration lands: nothing is ever registered.
#include "core/registration/context_menu_registration.h"

namespace veltrane {
namespace {
class NoRegistration : public ContextMenuRegistration {
public:
    bool IsRegistered() override { return false; }
    void Register(const std::string&, const std::string&) override {
        throw RegistrationError("Failed to create key .mpo");
    }
    void Unregister() override {}
    std::string RegisteredModeWord() override { return {}; }
};
}  // namespace

std::unique_ptr<ContextMenuRegistration> CreatePlatformRegistration() {
    return std::make_unique<NoRegistration>();
}

bool RefreshRegistration(ContextMenuRegistration& registration, const std::string&) {
    return registration.IsRegistered();
}

}  // namespace veltrane
