/* Access to a directory the installer creates: only the user who runs it, the system and
 * the administrators, whatever the parent directory would pass on. */
#pragma once
#include "rt/types.h"
#include "rt/status.h"

/** Replaces the access list of directory @p pszDir by a protected one that grants full
 *  access, inherited by everything created inside, to the process's user, to SYSTEM (the
 *  Windows Installer service reads the packages as SYSTEM) and to the Administrators
 *  group, and to no one else. */
RTSTATUS RestrictDirectoryAccess(const char *pszDir);
