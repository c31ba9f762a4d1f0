#pragma once

#include <stdexcept>

namespace quolva::store {

// Base of every failure of the store's files and formats (frame store, JPEG pictures, AVI files).
// The message is meant for the error box: it says what failed and on which file.
class StoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A write that found no room (a full disk, a file size limit) or failed otherwise; what the file held
// before the write is intact. A recording stops on it instead of trying again every tick.
class StoreWriteError : public StoreError {
public:
    using StoreError::StoreError;
};

} // namespace quolva::store
