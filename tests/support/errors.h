// The text of the QvxError a call raises.
#pragma once

#include <functional>
#include <string>

#include "base/error.h"

namespace qvxtest {

inline std::string error_of(const std::function<void()>& f) {
    try {
        f();
    } catch (const Vantrel::QVX::QvxError& e) {
        return e.text();
    }
    return "(no error)";
}

}  // namespace qvxtest
