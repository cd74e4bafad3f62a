// "--restart-explorer".
#pragma once

// Ends the desktop shell of the tool's own session and makes sure one runs again.
void RestartShell();
