#include "ai/AiSeam.h"

#include "ai/AIProvider.h"
#include "ai/OpenAIKeychain.h"
#include "ai/QuickActionsController.h"

namespace murmelo {

AiSeam::AiSeam() {
    openAIKeychainRepairAccess = [] { return OpenAIKeychain::shared().repairAccess(); };
    openAIKeychainWarmUp = [] { OpenAIKeychain::shared().warmUp(); };
    aiProviderIsReady = [] { return AIProvider::isReady(); };
    quickActionsDismiss = [] {
        if (QuickActionsController* c = QuickActionsController::installed()) c->dismiss();
    };
}

}  // namespace murmelo
