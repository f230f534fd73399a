// String resources of the toolbox's Windows test program (ToolsSystem_test.rc).
#pragma once

#define IDS_PLAIN 100         // No placeholder: comes back as it is.
#define IDS_FILE 101          // One %s inside a sentence.
#define IDS_RIGHT 102         // Width, filled on the left.
#define IDS_LEFT 103          // Minus and width, filled on the right.
#define IDS_PRECISION 104     // Precision cuts the value.
#define IDS_INDEXED 105       // Index 0 twice, with all parts.
#define IDS_PERCENT 106       // "%%" and a placeholder.
#define IDS_UMLAUT 107        // Text beyond Latin-1's ASCII half survives.
#define IDS_NUMBER 108        // %d: does not take a text.
#define IDS_SECOND 109        // Asks for a second argument.
#define IDS_LONG 110          // 1030 "x" and a %s: cut at 1023 code units.
#define IDS_WRAPPED 4464      // Found if 70000 were taken modulo 65536.
