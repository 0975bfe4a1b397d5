#pragma once
// Errors of the sample catalogue's own work (files it reads and writes).

#include "base/error.h"

class ECatalogError : public EAmbitoneError {
public:
    using EAmbitoneError::EAmbitoneError;
};
