#pragma once
#include "store/StoreError.h"

namespace quolva::publish {

// An export that cannot start or cannot go on: the message says what and, where there is one, which file.
class PublishError : public store::StoreError {
public:
    using StoreError::StoreError;
};

} // namespace quolva::publish
