#include "debug_capture.h"

#include <cstdio>
#include <fstream>
#include <iterator>

#include "platform/dynamic_library.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
extern char** environ;
#endif

namespace testing_support {

#if defined(_WIN32)

namespace {

std::wstring quote(const std::string& arg) {
    std::wstring out = L"\"";
    for (char c : arg) {
        if (c == '"') out += L'\\';
        out += static_cast<wchar_t>(static_cast<unsigned char>(c));
    }
    return out + L"\"";
}

std::string read_debug_string(HANDLE process, const OUTPUT_DEBUG_STRING_INFO& info) {
    const SIZE_T units = info.nDebugStringLength;
    if (units == 0) return {};
    if (info.fUnicode) {
        std::wstring wide(units, L'\0');
        SIZE_T got = 0;
        ReadProcessMemory(process, info.lpDebugStringData, &wide[0], units * sizeof(wchar_t), &got);
        wide.resize(got / sizeof(wchar_t));
        while (!wide.empty() && wide.back() == L'\0') wide.pop_back();
        std::string out;
        for (wchar_t c : wide) out += c < 128 ? static_cast<char>(c) : '?';
        return out;
    }
    std::string narrow(units, '\0');
    SIZE_T got = 0;
    ReadProcessMemory(process, info.lpDebugStringData, &narrow[0], units, &got);
    narrow.resize(got);
    while (!narrow.empty() && narrow.back() == '\0') narrow.pop_back();
    return narrow;
}

}  // namespace

CapturedRun run_capturing_debug_output(const std::vector<std::string>& args) {
    CapturedRun run;
    std::wstring command;
    for (const std::string& a : args) {
        if (!command.empty()) command += L' ';
        command += quote(platform::native_path(a));
    }
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS,
                        nullptr, nullptr, &si, &pi))
        return run;
    run.started = true;
    bool first_breakpoint = true;
    for (;;) {
        DEBUG_EVENT ev{};
        if (!WaitForDebugEvent(&ev, 60000)) {
            TerminateProcess(pi.hProcess, 99);
            break;
        }
        DWORD status = DBG_CONTINUE;
        bool done = false;
        switch (ev.dwDebugEventCode) {
            case CREATE_PROCESS_DEBUG_EVENT:
                if (ev.u.CreateProcessInfo.hFile) CloseHandle(ev.u.CreateProcessInfo.hFile);
                break;
            case LOAD_DLL_DEBUG_EVENT:
                if (ev.u.LoadDll.hFile) CloseHandle(ev.u.LoadDll.hFile);
                break;
            case OUTPUT_DEBUG_STRING_EVENT:
                run.strings.push_back(read_debug_string(pi.hProcess, ev.u.DebugString));
                break;
            case EXCEPTION_DEBUG_EVENT:
                if (ev.u.Exception.ExceptionRecord.ExceptionCode == EXCEPTION_BREAKPOINT &&
                    first_breakpoint) {
                    first_breakpoint = false;
                } else {
                    status = DBG_EXCEPTION_NOT_HANDLED;
                }
                break;
            case EXIT_PROCESS_DEBUG_EVENT:
                run.exit_code = static_cast<int>(ev.u.ExitProcess.dwExitCode);
                done = true;
                break;
            default:
                break;
        }
        ContinueDebugEvent(ev.dwProcessId, ev.dwThreadId, status);
        if (done) break;
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return run;
}

#else

CapturedRun run_capturing_debug_output(const std::vector<std::string>& args) {
    CapturedRun run;
    char path_template[] = "/tmp/barsight-debug-XXXXXX";
    const int fd = mkstemp(path_template);
    if (fd < 0) return run;
    close(fd);
    const std::string path = path_template;

    std::vector<std::string> env_strings;
    for (char** e = environ; *e != nullptr; ++e)
        if (std::string(*e).rfind("BARSIGHT_DEBUG_OUTPUT=", 0) != 0) env_strings.push_back(*e);
    env_strings.push_back("BARSIGHT_DEBUG_OUTPUT=" + path);
    std::vector<char*> envp, argv;
    for (std::string& e : env_strings) envp.push_back(&e[0]);
    envp.push_back(nullptr);
    std::vector<std::string> arg_copy = args;
    for (std::string& a : arg_copy) argv.push_back(&a[0]);
    argv.push_back(nullptr);

    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data()) == 0) {
        run.started = true;
        int status = 0;
        waitpid(pid, &status, 0);
        run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string current;
    for (char c : bytes) {
        if (c == '\0') {
            run.strings.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    std::remove(path.c_str());
    return run;
}

#endif

}  // namespace testing_support
