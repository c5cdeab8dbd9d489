#include "driver/showpass.h"

bool endsShow(int32_t enteredPart, int32_t previousPart)
{
    // Order 0 entered from anywhere else (the first frame, a jump, a module that wraps from
    // another order) plays on; a module that never makes this change plays for ever.
    return enteredPart == 0 && previousPart == lastScenePart;
}
