#pragma once
#include "platform/KeyEventPoster.h"

namespace murmelo::linuxdesktop {

// A poster that may hold posts back while the user holds a key (XTestKeyPoster): what the
// event tap needs of it to keep the user's keys and ours in the order the user meant.
class OrderedPoster {
public:
    virtual ~OrderedPoster() = default;
    // Sends now, before anything held back: the erase of a user's key that landed after
    // text of ours still waiting.
    virtual bool postAhead(const KeyEvent& event) = 0;
    // How many posts are held back.
    virtual int waiting() const = 0;
    // The user pressed or let go of a key: held-back posts may go.
    virtual void userKeysChanged() = 0;
    // Posts between these reach the server in one write at the end: sent one by one, a
    // busy machine may let another client's key (the user's) land among them.
    virtual void beginBatch() = 0;
    virtual void endBatch() = 0;
};

}  // namespace murmelo::linuxdesktop
