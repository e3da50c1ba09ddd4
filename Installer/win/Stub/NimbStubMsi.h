/* Running Windows Installer on one extracted package and turning its result into the
 * installer's own: 0, 3010 (reboot required), 1641 (restart started) or 1 after a message. */
#pragma once
#include <windows.h>
#include <stdint.h>

/** Installs the package at @p pszPackage with @p pszMsiArguments as Windows Installer's
 *  command line (empty: an empty one), with its full user interface unless the run is
 *  silent, and a verbose log into @p pszLogPath unless that is null. Every package of a run
 *  logs to the same file: the first call for a path starts the log, later ones append.
 *  @returns 0, 3010, 1641, or 1 after the failure has been reported (silently when the
 *  user cancelled). */
int RunWindowsInstaller(const char *pszPackage, const char *pszMsiArguments, const char *pszLogPath);

/** The installer's result for Windows Installer's @p uResult on @p pszPackage, with the
 *  message that goes with it: the reboot line in silent runs, the failure with the
 *  system's text for the code, or with the code in decimal when no text exists. */
int MapInstallerResult(uint32_t uResult, const char *pszPackage);
