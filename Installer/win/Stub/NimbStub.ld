/* Augments the linker's default layout for the product only: every section the image
 * carries costs a tail padded to the file alignment (512 bytes), so two small ones go.
 *
 * The initialiser and terminator tables (".CRT$X..", sorted by suffix as before) join the
 * read-only data: start-up only reads them, and its own markers delimit each table.
 *
 * The unwind tables that libgcc's 64-bit division helpers bring along are dropped: the
 * product has no unwinder and nothing registers or reads them. */
SECTIONS
{
  .rdata BLOCK(__section_alignment__) :
  {
    *(.rdata)
    *(SORT(.rdata$*))
    KEEP (*(SORT(.CRT$XC*)))
    KEEP (*(SORT(.CRT$XI*)))
    KEEP (*(SORT(.CRT$XL*)))
    KEEP (*(SORT(.CRT$XP*)))
    KEEP (*(SORT(.CRT$XT*)))
  }
  /DISCARD/ : { *(.eh_frame*) }
}
INSERT BEFORE .rdata;
