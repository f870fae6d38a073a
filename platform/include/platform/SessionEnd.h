#pragma once
#include <functional>

namespace murmelo {

// The system's notice that the user's session is ending. Quits that come from it are not
// the user's and are never questioned.
class SessionEnd {
public:
    enum class Kind { logOut, restart, shutDown };

    virtual ~SessionEnd() = default;
    // The handler runs on the main thread; one handler, replaced by the next call.
    virtual void setHandler(std::function<void(Kind)> handler) = 0;

    static SessionEnd& shared();
    static void install(SessionEnd* sessionEnd);
};

}  // namespace murmelo
