// The test display on a busy shared X server.
#pragma once

// Starts SDL video, trying again for a while when the X server refuses the connection (the
// display set-up itself would end the process), then opens the test display.
void openTestDisplayRetrying();
