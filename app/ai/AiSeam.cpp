#include "ai/AiSeam.h"

#include "ai/AIProvider.h"
#include "ai/OpenAIKeychain.h"

namespace murmelo {

AiSeam::AiSeam() {
    openAIKeychainRepairAccess = [] { return OpenAIKeychain::shared().repairAccess(); };
    openAIKeychainWarmUp = [] { OpenAIKeychain::shared().warmUp(); };
    aiProviderIsReady = [] { return AIProvider::isReady(); };
}

}  // namespace murmelo
