/* The product's version numbers, its name and the numbers of its resources, as plain
 * macros so that the resource script and the program read the same definitions. */
#pragma once

#define NIMB_VERSION_MAJOR    1
#define NIMB_VERSION_MINOR    0
#define NIMB_VERSION_BUILD    0
#define NIMB_VERSION_REVISION 1

/** The product's name; also the title of every message box. */
#define NIMB_PRODUCT_TITLE "Nimbrel Installer"
/** The product's name as the stem of a file name. */
#define NIMB_PRODUCT_FILE_STEM "NimbrelInstaller"
/** Who makes the product, named in the version block. */
#define NIMB_PRODUCT_MAKER "Nimbrel"

#define NIMB_STRINGIFY_(x) #x
#define NIMB_STRINGIFY(x) NIMB_STRINGIFY_(x)
/** "r1": the revision, the version block's special-build string. */
#define NIMB_SPECIAL_BUILD_TEXT "r" NIMB_STRINGIFY(NIMB_VERSION_REVISION)
/** "1.0.0r1": the form --version prints. */
#define NIMB_VERSION_TEXT NIMB_STRINGIFY(NIMB_VERSION_MAJOR) "." NIMB_STRINGIFY(NIMB_VERSION_MINOR) "." \
                          NIMB_STRINGIFY(NIMB_VERSION_BUILD) NIMB_SPECIAL_BUILD_TEXT
/** "NimbrelInstaller-1.0.0r1": the internal name; the original file name adds ".exe". */
#define NIMB_INTERNAL_NAME NIMB_PRODUCT_FILE_STEM "-" NIMB_VERSION_TEXT

/** The icon group that the shell shows for the executable. */
#define NIMB_STUB_ICON_GROUP 101
