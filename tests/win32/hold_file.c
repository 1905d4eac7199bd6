/* Holds a file open without sharing, as a running host holds its DLL, until
   killed or SECONDS have passed: the installer tests' stand-in for a
   running MetaStock.  usage: hold_file PATH SECONDS */
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    HANDLE file = CreateFileA(argv[1], GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        printf("cannot open %s\n", argv[1]);
        return 1;
    }
    printf("held\n");
    fflush(stdout);
    Sleep((DWORD)atoi(argv[2]) * 1000);
    CloseHandle(file);
    return 0;
}
