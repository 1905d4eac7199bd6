// msxhost client: trading-client exports called in order, in one process.
#include "tools/msxhost/commands.h"

#include <iostream>
#include <memory>
#include <thread>

#include "harness/client_call.h"
#include "platform/debug_output.h"
#include "platform/dynamic_library.h"
#include "platform/plain_window.h"
#include "tools/msxhost/options.h"

namespace msxhost {

int cmd_client(int argc, char** argv) {
    if (argc < 4) return usage();
    const std::string path = argv[2];
    std::string error;
    platform::DynamicLibrary library = platform::DynamicLibrary::open(path, &error);
    if (!library.loaded()) {
        std::cerr << "msxhost: " << error << "\n";
        return 1;
    }
    intptr_t window = 0;
    // Windows of this thread, destroyed by it when the run ends.
    std::vector<std::unique_ptr<platform::PlainWindow>> windows;
    int i = 3;
    while (i < argc) {
        const std::string name = argv[i++];
        std::vector<std::string> args;
        for (; i < argc && std::string(argv[i]) != "--"; ++i)
            args.push_back(std::string(argv[i]) == "$window" ? std::to_string(window) : argv[i]);
        if (i < argc) ++i;  // the "--" between calls
        std::string output;
        if (name == "unload") {
            library = platform::DynamicLibrary();
            output = "unload";
        } else if (name == "load") {
            library = platform::DynamicLibrary::open(path, &error);
            if (!library.loaded()) {
                std::cerr << "msxhost: " << error << "\n";
                return 1;
            }
            output = "load";
        } else if (name == "loaded") {
            output = std::string("loaded = ") + (platform::DynamicLibrary::is_loaded(path) ? "1" : "0");
        } else if (name == "thread") {
            std::thread([] {}).join();
            output = "thread";
        } else if (name == "window") {
            windows.push_back(std::make_unique<platform::PlainWindow>("msxhost client"));
            window = windows.back()->handle();
            output = "window = " + std::to_string(window);
        } else if (!library.loaded()) {
            std::cerr << "msxhost: the plug-in is unloaded\n";
            return 1;
        } else if (const harness::ClientCallStatus got = harness::call_client_export(library, name, args, &output);
                   got != harness::ClientCallStatus::done) {
            std::cerr << "msxhost: " << output << "\n";
            return got == harness::ClientCallStatus::usage ? 2 : 1;
        }
        std::cout << output << std::endl;
        platform::debug_output(("msxhost: " + output).c_str());
    }
    return 0;
}

}  // namespace msxhost
