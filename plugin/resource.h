// Resource and control IDs of Tavi.dll, shared by the resource script and the
// dialog window.
#pragma once

#define IDR_TAVI_MANIFEST 2           // isolation-aware manifest: common controls 6
#define IDI_EXIT 101                  // tool-bar icon 0, "Beenden": blue cross
#define IDI_SONDERZEICHEN 102         // tool-bar icon 1: capital A with umlaut and ampersand
#define IDI_KOMPRIMIEREN 103          // tool-bar icon 2: clamp
#define IDI_SONDERZ_KOMP 104          // tool-bar icon 3: green and orange picture

#define IDC_TOOLBAR 1000              // the tool bar across the top
#define IDC_EXITBTN 1001              // tool button "Beenden"
#define IDC_TAVIBTN 1002              // tool button "Sonderzeichen"
#define IDC_COMPBTN 1003              // tool button "Komprimieren"
#define IDC_SONDERZANDCOMPBTN 1004    // tool button "Sonderzeichen && Komprimieren"
#define IDC_STATELABEL 1010           // "Status aktueller Text:"
#define IDC_PROGRESSBAR 1011          // progress of the compression, 0 to 100
#define IDC_SCRIPTLABEL 1012          // "Script enthalten"
#define IDC_PRELABEL 1013             // "<PRE>-formatierter Text"
#define IDC_LABEL1 1014               // "Textlänge:"
#define IDC_TEXTLENLABEL 1015         // the text's length
#define IDC_TOOLBARLINE 1016          // the line along the tool bar's bottom edge
