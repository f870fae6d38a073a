#pragma once

namespace murmelo {

// What switching polish does to its neighbours, as the program does it: the corrector server
// is started or stopped, the polish card is hidden and the underline marks are cleared. Tests
// install a derived one that watches.
class PolishSwitchSteps {
public:
    virtual ~PolishSwitchSteps() = default;
    virtual void startCorrector(bool force);
    virtual void stopCorrector();
    virtual void hideCard();
    virtual void polishUnderlineClear();

    static PolishSwitchSteps& shared();
};

// The master switch of polish ("polishEnabled", read through the one rule of isPolishEnabled):
// stores the choice, then starts the corrector server, or stops it and takes the polish card
// and the underline marks away. The status menu and onboarding call it.
void setPolishEnabled(bool on);

// Repair of polish key packets that did not land: on unless "polishEditRepairOff" is true or
// MURMELO_POLISH_EDIT_REPAIR is exactly "0".
bool isPolishEditRepairEnabled();

// Settings of polish read at every use: the card of edits, and whether a trusted model may
// respell words (not while the system's own spelling correction works in the front app).
bool isPolishCardEnabled();
bool isPolishTrustModel();

}  // namespace murmelo
