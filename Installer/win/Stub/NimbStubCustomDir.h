/* The ".custom" directory beside the executable, copied whole into the extraction
 * directory before any package is installed. */
#pragma once
#include "NimbStub.h"

/** Name of the directory beside the executable and of its copy. */
inline constexpr char CUSTOM_DIR_NAME[] = ".custom";

/** Copies ".custom" from beside the executable into @p pszExtractionDir and lists the copy
 *  for clean-up. Without such a directory nothing happens.
 *  @returns 0, or 1 after reporting. */
int CopyCustomDirectory(const char *pszExtractionDir);
