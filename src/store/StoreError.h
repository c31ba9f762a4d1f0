#pragma once
#include <stdexcept>
#include <string>

namespace quolva::store {

// Base of every file-format and file-access failure in store/: the message names the file and the fault.
class StoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace quolva::store
