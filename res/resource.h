// Resource identifiers shared by the resource scripts and the code.
#pragma once

#define IDI_ORVI 101
#define IDB_CLOSE 102
#define IDB_CLOSE_PRESSED 103
#define IDB_MINIMIZE 104
#define IDB_MINIMIZE_PRESSED 105
