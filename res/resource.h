// Resource ids of the program: shared by the resource script and the code.
#pragma once

// String table
#define IDS_TOTAL_DEVICE 9
#define IDS_TOTAL_DIRECTORY 10
#define IDS_FREE_SPACE 11
#define IDS_THIS_DIRECTORY 12
#define IDS_DIRECTORIES_ETC 13
#define IDS_REMOVE_DIRECTORY 15
#define IDS_REMOVE_FILE 16
#define IDS_ACCESS_DENIED 17
#define IDS_NOT_FOUND_REFRESH 18
