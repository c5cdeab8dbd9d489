// Old name of openTestDisplay, which retries SDL video start-up itself; left for its last caller.
#pragma once

void openTestDisplayRetrying();
