#pragma once
#include "StoreError.h"
#include "WinTypes.h"

namespace quolva::store {

// A failure of the AVI file services. The message names the file and the fault; the code is the
// AVIERR_* value that the Win32-style functions return for it.
class AviError : public StoreError {
public:
    AviError(HRESULT code, const std::string& message) : StoreError(message), code_(code) {}
    HRESULT code() const noexcept { return code_; }

private:
    HRESULT code_;
};

} // namespace quolva::store
