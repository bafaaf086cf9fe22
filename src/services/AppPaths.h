// The program's private folders and the one way its files are written, in one include: the folders value
// (AppFolders.h), the start-up take-over of the earlier product's folders (FolderTakeOver.h), private
// writes (PrivateWrite.h) and store files that are read or set aside (StoreFile.h).
#pragma once

#include "services/AppFolders.h"
#include "services/FolderTakeOver.h"
#include "services/PrivateWrite.h"
#include "services/StoreFile.h"
