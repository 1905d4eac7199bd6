/* Keeps the desktop of a Wine prefix open for a whole test run
   (scripts/wine-prefix.sh starts it with the prefix's server).
   The first window made on a desktop starts Wine's desktop process
   (explorer.exe /desktop), and that process inherits the output of the
   program that made the window. Wine closes a desktop, and so ends that
   process, only one second after the last program on it has ended. Without
   this program the first test that makes a window starts the desktop
   process, and the test runner, which waits for the end of a test's output,
   takes that test as ended only when the desktop closes: one second later
   when it runs alone, and not before every test running beside it (and
   every one started while they run) has ended under a parallel run.
   Here the desktop process is started by this program, its output going
   where this program's goes, and the desktop stays open while this program
   runs: until the prefix's server ends it (wineserver -k).
   Prints "ready" once the desktop is up; exit 1, with the error, when no
   window can be made.
   usage: desktop_keeper */
#include <stdio.h>
#include <windows.h>

int main(void) {
    HWND window = CreateWindowExW(0, L"STATIC", L"desktop keeper", WS_POPUP, 0, 0, 1, 1, NULL,
                                  NULL, NULL, NULL);
    if (window == NULL) {
        printf("desktop_keeper: no window can be made (error %lu)\n", GetLastError());
        return 1;
    }
    printf("ready\n");
    fflush(stdout);
    MSG msg;
    while (GetMessageW(&msg, NULL, 0, 0) > 0) DispatchMessageW(&msg);
    return 0;
}
