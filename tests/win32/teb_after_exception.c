/* Whether the emulator that runs 32-bit Wine keeps each thread's TEB (the
   fs base) after the thread raises an exception that is continued, once a
   second thread has started. Every OutputDebugStringA under Wine raises
   one; an emulator that loses the TEB there (qemu-user 7.2 does) kills the
   help window's thread and the setup with "illegal instruction". No code of
   ours runs here, so a failure names the emulator, not the plug-in.
   usage: teb_after_exception MODE
     0  OutputDebugStringA
     1  RaiseException, continued by a vectored handler
     2  no exception (the control)
   Exit 0: the same TEB throughout; 1: it changed to the other thread's. */
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

static volatile LONG started = 0, stop = 0;

static DWORD WINAPI worker(void* arg) {
    (void)arg;
    InterlockedExchange(&started, 1);
    while (!stop) Sleep(10);
    return 0;
}

static LONG CALLBACK continue_ours(EXCEPTION_POINTERS* e) {
    return e->ExceptionRecord->ExceptionCode == 0xE0000001 ? EXCEPTION_CONTINUE_EXECUTION
                                                           : EXCEPTION_CONTINUE_SEARCH;
}

static void* teb(void) { return (void*)NtCurrentTeb(); }

int main(int argc, char** argv) {
    int mode = argc > 1 ? atoi(argv[1]) : 0;
    void* t0 = teb();
    HANDLE h = CreateThread(NULL, 0, worker, NULL, 0, NULL);
    if (h == NULL) return 2;
    while (!started) Sleep(1);
    if (mode == 0) {
        OutputDebugStringA("probe\n");
    } else if (mode == 1) {
        AddVectoredExceptionHandler(1, continue_ours);
        RaiseException(0xE0000001, 0, 0, NULL);
    } else {
        Sleep(50);
    }
    void* t1 = teb();
    stop = 1;
    WaitForSingleObject(h, INFINITE);
    CloseHandle(h);
    printf("mode %d: teb %p then %p: %s\n", mode, t0, t1, t1 == t0 ? "same" : "CHANGED");
    return t1 == t0 ? 0 : 1;
}
