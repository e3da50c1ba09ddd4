/* The installing end of the run: the publisher certificate in silent runs, then Windows
 * Installer on every extracted package that suits the host. */
#pragma once
#include "NimbStub.h"

/** Adds every embedded certificate to the local machine's trusted-publisher store, stopping
 *  at the first failure. @returns 0, or 1 after reporting. */
int InstallCertificates();

/** Whether the run's result lets further packages install: success, or a success that
 *  needs a restart later (not one that has already started it). */
bool InstallMayContinue(int rcRun);

/** Runs Windows Installer on each extracted ".msi" of the @p cPackages packages that suits
 *  the host, in package order, while the result lets it; ".cab" files only sit beside them.
 *  A failure replaces @p rcRun; a success leaves it, so that an earlier package's request
 *  for a restart survives. @returns the run's result. */
int InstallPackages(uint32_t cPackages, const RunSettings *pSettings, int rcRun);
