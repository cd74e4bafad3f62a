#include "cleanup/empty_folders.h"

// Not built yet.
void RemoveAllUsersEmptyFolders() {}
