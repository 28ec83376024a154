// The message of the exception of type E that an action throws, so that a test compares the
// exact text users see; an action that throws nothing gives a text no message has.
#pragma once

#include <string>

template <typename E, typename F> std::string messageOf(F action) {
    try {
        action();
    } catch (const E& e) {
        return e.message();
    }
    return "(no exception)";
}
