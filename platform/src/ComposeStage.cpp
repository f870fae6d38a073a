#include "platform/ComposeStage.h"

namespace murmelo {

namespace {
ComposeStage* composeStageStorage = nullptr;
bool composeStandModeStorage = false;
}  // namespace

ComposeStage* ComposeStage::installed() { return composeStageStorage; }

void ComposeStage::install(ComposeStage* stage) { composeStageStorage = stage; }

bool ComposeStage::standMode() { return composeStandModeStorage; }

void ComposeStage::setStandMode(bool on) { composeStandModeStorage = composeStandModeStorage || on; }

void ComposeStage::resetForTesting() {
    composeStageStorage = nullptr;
    composeStandModeStorage = false;
}

}  // namespace murmelo
