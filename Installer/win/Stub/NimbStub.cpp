/* The installer stub's main program. */
#include "rt/types.h"

extern "C" int main(int argc, char **argv, char **envp)
{
    (void)argc; (void)argv; (void)envp;
    return 0;
}
