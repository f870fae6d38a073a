#pragma once
#include "platform/SessionEnd.h"

namespace murmelo::sim {

// A session end that a test announces.
class SimSessionEnd : public SessionEnd {
public:
    void setHandler(std::function<void(Kind)> handler) override { handler_ = std::move(handler); }
    bool hasHandler() const { return bool(handler_); }
    void end(Kind kind) {
        if (handler_) handler_(kind);
    }

private:
    std::function<void(Kind)> handler_;
};

}  // namespace murmelo::sim
