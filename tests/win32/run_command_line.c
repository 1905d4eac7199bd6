/* Runs a program with a command line exactly as given (Wine quotes each
   argument that holds a space, and an uninstaller wants its "_?=" folder
   unquoted) and returns its exit code.  usage: run_command_line "LINE" */
#include <stdio.h>
#include <windows.h>

int main(int argc, char** argv) {
    if (argc != 2) return 255;
    STARTUPINFOA si = {sizeof si};
    PROCESS_INFORMATION pi;
    if (!CreateProcessA(NULL, argv[1], NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)) {
        printf("cannot start: %s\n", argv[1]);
        return 254;
    }
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 254;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return (int)code;
}
