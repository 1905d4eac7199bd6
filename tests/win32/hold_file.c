/* Holds a file open without sharing, as a running host holds its DLL, until
   the file RELEASE exists (the test creates it once it has seen what it
   waits for), or at the latest after SECONDS: the installer tests' stand-in
   for a running MetaStock. Killing it from outside Wine does not reliably
   end the Windows process, and a fixed time raced with a slow machine.
   usage: hold_file PATH RELEASE SECONDS */
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    HANDLE file = CreateFileA(argv[1], GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        printf("cannot open %s\n", argv[1]);
        return 1;
    }
    printf("held\n");
    fflush(stdout);
    const DWORD limit = (DWORD)atoi(argv[3]) * 1000;
    for (DWORD waited = 0; waited < limit; waited += 100) {
        if (GetFileAttributesA(argv[2]) != INVALID_FILE_ATTRIBUTES) break;
        Sleep(100);
    }
    CloseHandle(file);
    return 0;
}
