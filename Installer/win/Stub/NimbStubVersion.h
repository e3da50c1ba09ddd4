/* The product's version numbers and name, as plain macros so that the version resource
 * and the program read the same definitions. */
#pragma once

#define NIMB_VERSION_MAJOR    1
#define NIMB_VERSION_MINOR    0
#define NIMB_VERSION_BUILD    0
#define NIMB_VERSION_REVISION 1

/** The product's name; also the title of every message box. */
#define NIMB_PRODUCT_TITLE "Nimbrel Installer"

#define NIMB_STRINGIFY_(x) #x
#define NIMB_STRINGIFY(x) NIMB_STRINGIFY_(x)
/** "1.0.0r1": the form --version prints. */
#define NIMB_VERSION_TEXT NIMB_STRINGIFY(NIMB_VERSION_MAJOR) "." NIMB_STRINGIFY(NIMB_VERSION_MINOR) "." \
                          NIMB_STRINGIFY(NIMB_VERSION_BUILD) "r" NIMB_STRINGIFY(NIMB_VERSION_REVISION)
