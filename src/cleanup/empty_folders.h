// "--remove-all-users-empty-folders".
#pragma once

#include "process/interactive_user.h"

// Removes the maker's two machine-wide folders "Vantorel" when they are
// empty: the program group folder in the all-users start-menu programs
// folder, then the one in the program-files folder (the 32-bit one, or the
// native one when that cannot be resolved). Each is a plain directory
// removal, which Windows refuses for a folder that holds anything; nothing
// inside is ever deleted. A folder that cannot be resolved skips its step.
// Prints nothing.
void RemoveAllUsersEmptyFolders(const InteractiveUser& user);
