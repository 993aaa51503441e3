/* Resource identifiers shared by quillet.rc and the Win32 views.
   Plain #defines so that windres can read this file too. */
#pragma once

#define IDI_QUILLET 1        /* application icon: first icon group, so the shell shows it */
#define IDB_ILLUSTRATION 101 /* main window picture, 215 x 370, 256 colours, magenta = clear */
#define IDB_MENU_ICONS 102   /* ImageList2: 24 x 24 menu icons side by side, 32-bit with alpha */
#define IDB_LOGO 103         /* about box: the maker's logo, 130 x 62, 32-bit with alpha */
