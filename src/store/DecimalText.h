#pragma once

#include "store/StoreError.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace quolva::store {

// A text that should have held a number but did not.
class DecimalTextError : public StoreError {
public:
    using StoreError::StoreError;
};

enum class DecimalTextProblem { None, Empty, NotANumber, OutOfRange };

struct DecimalParse {
    std::int32_t value = 0;
    DecimalTextProblem problem = DecimalTextProblem::None;
    bool Ok() const { return problem == DecimalTextProblem::None; }
};

// Removes leading and trailing characters with codes 0 to 32 (blanks, tabs, line ends, NULs).
std::string_view StripBlanks(std::string_view text);

// Reads a signed 32-bit decimal from text, after StripBlanks: an optional '+' or '-' followed by at
// least one digit, nothing else. Never throws.
DecimalParse TryParseDecimalInt32(std::string_view text);

// The one way the system reads numbers from text. Throws DecimalTextError on empty text, anything
// that is not a decimal number, or a value outside the 32-bit range. `what` names the field for the
// message, e.g. "the frame count of /home/a/x.avi.xxx".
std::int32_t ParseDecimalInt32(std::string_view text, std::string_view what);

// The message ParseDecimalInt32 throws for a failed parse of `text` as `what`.
std::string DecimalTextMessage(std::string_view text, std::string_view what, DecimalTextProblem problem);

// Shows arbitrary bytes inside a message: in double quotes, control bytes escaped as \xNN, long texts
// cut short with "...".
std::string QuoteForMessage(std::string_view text);

} // namespace quolva::store
