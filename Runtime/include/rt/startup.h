/* Process start-up for programs without a C runtime: the entry point such a program
 * defines. Start-up runs the initialisers, splits the command line into UTF-8 arguments by
 * the Windows quoting rules and calls it; its result becomes the process's exit code once
 * the at-exit callbacks and the terminators have run. */
#pragma once
#include "rt/types.h"

RT_C_DECLS_BEGIN

/** The program: @p argc arguments in @p argv, which ends with a null entry; @p envp is
 *  always null. */
int main(int argc, char **argv, char **envp);

RT_C_DECLS_END
