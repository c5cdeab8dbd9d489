#include "support/gldisplayretry.h"

#include "support/gltest.h"

void openTestDisplayRetrying()
{
    openTestDisplay();
}
