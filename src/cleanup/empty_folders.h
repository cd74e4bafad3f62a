// "--remove-all-users-empty-folders".
#pragma once

// Removes the maker's machine-wide folders when they are empty.
void RemoveAllUsersEmptyFolders();
