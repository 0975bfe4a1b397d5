#pragma once
// The root of every exception the system raises. Each component derives its
// own class (EStoreError, EMMWaveError, ...) so that a handler can tell who
// failed, while the window's guard shows any of them by its message text.

#include <stdexcept>
#include <string>

class EAmbitoneError : public std::runtime_error {
public:
    explicit EAmbitoneError(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};
