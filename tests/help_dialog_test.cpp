// The help window: the page rule, the settings file, the dialog on its own
// thread and the state machine of the dialog exports. The same tests run on
// the posix stand-in and, in the win64 lane, on the real window under Wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <random>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "scratch_path.h"
#include "helpwindow/dialog_control.h"
#include "helpwindow/help_dialog.h"
#include "helpwindow/help_page.h"
#include "platform/debug_output.h"
#include "platform/dialog_settings.h"
#include "platform/dynamic_library.h"
#include "platform/text_codec.h"
#include "services/globals.h"

#if defined(_WIN32)
#include "platform/win32/unique_resource.h"
#else
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

using testing_support::scratch_path;

using barsight::Globals;
namespace dialog = barsight::dialog;

const std::string kPages = std::string(barsight::kHelpBase) + "plugin/Inds1/";

TEST(HelpPage, AddressRule) {
    const std::string base = barsight::kHelpBase;
    const struct {
        const char* text;
        std::string page;
    } cases[] = {
        {"VSATrend", kPages + "VSATrend.htm"},
        {"", kPages + ".htm"},
        {"x;SOS12", kPages + "SOS12.htm"},
        {"x;SOW3;more;fields", kPages + "SOW3.htm"},
        {"SOS1;plain", kPages + "none.htm"},  // only the second field counts
        {"x;", kPages + "none.htm"},          // empty second field
        {";", kPages + "none.htm"},
        {"x;sos1", kPages + "none.htm"},      // case-sensitive
        {"x;aSOSb;", kPages + "aSOSb.htm"},   // contains, anywhere
        {"Barsight;SOS3;2024.01.02 10:00", kPages + "SOS3.htm"},  // a MetaTrader arrow's name
        {"Signal_name-2", kPages + "Signal_name-2.htm"},
        // Names a client or a page may well have are kept, percent-encoded
        // (UTF-8) where an address cannot carry them.
        {"No supply", kPages + "No%20supply.htm"},
        {"VSA.Trend", kPages + "VSA.Trend.htm"},
        {"ATR(Periods)", kPages + "ATR(Periods).htm"},
        {"Qualit\xc3\xa9", kPages + "Qualit%C3%A9.htm"},
        {"100% #1?", kPages + "100%25%20%231%3F.htm"},
        {"SOS3.htm", kPages + "SOS3.htm.htm"},
        {"COM0", kPages + "COM0.htm"},        // not a device
        {"CONSOLE", kPages + "CONSOLE.htm"},  // nor is this
        // What could leave the folder, change the address or name a device
        // gives the default page.
        {"a b/c", kPages + "none.htm"},
        {"../../x", kPages + "none.htm"},
        {"x;SOS../../y", kPages + "none.htm"},
        {"C:\\x", kPages + "none.htm"},
        {"x;SOS3\\..", kPages + "none.htm"},
        {"\\\\host\\share", kPages + "none.htm"},
        {"a:b", kPages + "none.htm"},
        {"..", kPages + "none.htm"},
        {".hidden", kPages + "none.htm"},
        {"trailing.", kPages + "none.htm"},
        {"trailing ", kPages + "none.htm"},
        {"tab\there", kPages + "none.htm"},
        {"new\nline", kPages + "none.htm"},
        {"CON", kPages + "none.htm"},
        {"con.txt", kPages + "none.htm"},
        {"Nul ", kPages + "none.htm"},
        {"AUX.x.y", kPages + "none.htm"},
        {"COM1", kPages + "none.htm"},
        {"lpt9.htm", kPages + "none.htm"},
        {"COM\xc2\xb9", kPages + "none.htm"},
        {"x;SOSPRN", kPages + "SOSPRN.htm"},
    };
    for (const auto& c : cases) EXPECT_EQ(barsight::help_page_for(base, c.text), c.page) << c.text;
    // The page path plugin/Inds1/NAME.htm (17 characters around the name)
    // must fit in MAX_PATH (260).
    const std::string longest(243, 'a');
    EXPECT_EQ(barsight::help_page_for(base, longest), kPages + longest + ".htm");
    EXPECT_EQ(barsight::help_page_for(base, longest + "a"), kPages + "none.htm");
    EXPECT_EQ(barsight::default_help_page(base), kPages + "none.htm");
    // A local base whose page file does not exist: the index page.
    EXPECT_EQ(barsight::help_page_for("file:///opt/none/help/", "VSAInd"),
              "file:///opt/none/help/plugin/Inds1/none.htm");
}

// HelpBase values: only http:, https: and local file: addresses or folders.
TEST(HelpPage, HelpBaseChecks) {
    const struct {
        const char* value;
        const char* base;  // empty: refused
    } cases[] = {
        {"https://example.com/docs", "https://example.com/docs/"},
        {"  HTTP://example.com/docs/  ", "HTTP://example.com/docs/"},
        {"file:///D:/Help/", "file:///D:/Help/"},
        {"file:///opt/help", "file:///opt/help/"},
        {"javascript:alert(1)", ""},
        {"vbscript:msgbox(1)", ""},
        {"data:text/html,<b>x</b>", ""},
        {"ftp://example.com/", ""},
        {"\\\\host\\share\\", ""},
        {"//host/share/", ""},
        {"file://host/share/", ""},
        {"file:////host/share/", ""},
        {"file:C:/x/", ""},
        {"https:///nohost", ""},
        {"https://example.com/?page=", ""},
        {"https://example.com/#top", ""},
        {"https://example.com/\nforged trace line", ""},
        {"https://example.com/\x7f", ""},
        {"    ", ""},
        {"help", ""},  // a relative folder
    };
    for (const auto& c : cases) {
        std::string reason;
        const std::string base = barsight::checked_help_base(c.value, &reason);
        EXPECT_EQ(base, c.base) << c.value;
        if (*c.base == '\0') {
            EXPECT_FALSE(reason.empty()) << c.value;
        }
    }
    // A local folder becomes its file: address.
    std::string reason;
    const std::string folder = platform::own_module_directory();
    EXPECT_EQ(barsight::checked_help_base(folder, &reason), platform::folder_file_url(folder));
}

// --- settings file --------------------------------------------------------------

std::string config_text(const std::string& x, const std::string& y) {
    return "<?xml version=\"1.0\"?>\n<configuration>\n  <appSettings>\n"
           "    <add key=\"Other\" value=\"keep\" />\n"
           "    <add key=\"DialogX\" value=\"" + x + "\" />\n"
           "    <add key=\"DialogY\" value=\"" + y + "\" />\n"
           "  </appSettings>\n</configuration>\n";
}

std::string config_path() { return platform::own_module_path() + ".config"; }

void write_text(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

TEST(DialogSettings, ReadAndWriteWithoutCreatingKeys) {
    const std::string path = config_path() + ".settings-test";
    struct Case {
        const char* name;
        std::string file;  // empty: no file
        bool ok;
        int32_t x, y;
        bool writable;  // both keys exist
    } cases[] = {
        {"both", config_text("120", "-45"), true, 120, -45, true},
        {"blanks and sign", config_text(" +7 ", "\t8"), true, 7, 8, true},
        {"no file", "", false, 0, 0, false},
        {"no keys", "<configuration><appSettings/></configuration>", false, 0, 0, false},
        {"y not a number", config_text("5", "five"), false, 5, 0, true},
        {"x too large", config_text("2147483648", "1"), false, 0, 0, true},
        {"broken xml", "<configuration><appSettings>", false, 0, 0, false},
        {"a folder", "<folder>", false, 0, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(path);
        if (c.file == "<folder>") std::filesystem::create_directory(path);
        else if (!c.file.empty()) write_text(path, c.file);
        int32_t x = 0, y = 0;
        std::string error;
        EXPECT_EQ(platform::read_dialog_position(path, &x, &y, &error), c.ok) << error;
        if (c.file == "<folder>") {
            EXPECT_NE(error.find("Is a directory"), std::string::npos) << error;
        }
        EXPECT_EQ(x, c.x);
        EXPECT_EQ(y, c.y);
        if (!c.ok) {
            EXPECT_FALSE(error.empty());
        }
        // Writing never creates the keys.
        const bool written = platform::write_dialog_position(path, 33, 44, &error);
        EXPECT_EQ(written, c.writable);
    }
    std::filesystem::remove_all(path);
    write_text(path, config_text("1", "2"));
    std::string error;
    ASSERT_TRUE(platform::write_dialog_position(path, -5, 600, &error)) << error;
    int32_t x = 0, y = 0;
    ASSERT_TRUE(platform::read_dialog_position(path, &x, &y, &error)) << error;
    EXPECT_EQ(x, -5);
    EXPECT_EQ(y, 600);
    std::ifstream in(path);
    const std::string saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(saved.find("keep"), std::string::npos);  // the rest of the file stays
    std::remove(path.c_str());
}

// Saving the position keeps what the user wrote: the declaration with its
// encoding, comments, processing instructions, other settings and deep
// nesting; only the two values change.
TEST(DialogSettings, SavingKeepsTheRestOfTheFile) {
    const std::string path = config_path() + ".keep-test";
#if defined(_WIN32)
    const int depth = 100;  // MSXML reads at most 256 levels
#else
    const int depth = 20000;
#endif
    std::string deep;
    for (int i = 0; i < depth; ++i) deep += "<n>";
    deep += "leaf";
    for (int i = 0; i < depth; ++i) deep += "</n>";
    auto prolog = [](const std::string& gap) {
        return "<?xml version=\"1.0\" encoding=\"utf-8\"?>" + gap + "<!-- the user's own note -->" +
               gap + "<?app-hint keep?>" + gap;
    };
    const std::string head =
        "<configuration>\n  <appSettings>\n"
        "    <!-- position of the help window -->\n"
        "    <add key=\"Other\" value=\"keep \xc3\xa9\"/>\n"
        "    <add key='Quoted' value='a &amp; b &#233; &gt;'   />\n";
    const std::string tail = "  </appSettings>\n  <deep>" + deep + "</deep>\n</configuration>";
    auto file = [&](const char* x, const char* y, const std::string& gap = "\n") {
        return prolog(gap) + head + "    <add key=\"DialogX\" value=\"" + x + "\"/>\n" +
               "    <add key=\"DialogY\" value=\"" + y + "\"/>\n" + tail + gap;
    };
    write_text(path, file("1", "2"));
    std::string error;
    ASSERT_TRUE(platform::write_dialog_position(path, 345, -67, &error)) << error;
    std::ifstream in(path, std::ios::binary);
    const std::string saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
#if defined(_WIN32)
    // MSXML may reflow white space: check what must survive.
    for (const char* kept : {"encoding=", "the user's own note", "position of the help window",
                             "app-hint", "keep \xc3\xa9", "leaf"})
        EXPECT_NE(saved.find(kept), std::string::npos) << kept;
#else
    // Byte for byte: the line ends outside the root, the entity references
    // and the quoting as written (the file is 140 KB).
    EXPECT_TRUE(saved == file("345", "-67")) << saved.size() << " bytes: " << saved.substr(0, 400);
#endif
    int32_t x = 0, y = 0;
    ASSERT_TRUE(platform::read_dialog_position(path, &x, &y, &error)) << error;
    EXPECT_EQ(x, 345);
    EXPECT_EQ(y, -67);
    std::remove(path.c_str());
}

#if !defined(_WIN32)
// A save keeps the file's encoding and its byte-order mark, and the file's
// permissions (the new file replaces the old one).
TEST(DialogSettings, SavingKeepsEncodingAndByteOrderMark) {
    const std::string path = config_path() + ".bom-test";
    auto saved_text = [&] {
        std::ifstream in(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    };
    auto utf16le = [](const std::string& ascii) {
        std::string out;
        for (const char c : ascii) out += std::string(1, c) + '\0';
        return out;
    };
    auto same = [](const std::string& s) { return s; };
    // The plain UTF-8 save is the reference the others are compared with.
    std::string error;
    write_text(path, config_text("1", "2"));
    ASSERT_TRUE(platform::write_dialog_position(path, 9, 8, &error)) << error;
    const std::string reference = saved_text();
    ASSERT_NE(reference.find("value=\"9\""), std::string::npos);
    const struct {
        const char* name;
        std::string mark;
        std::function<std::string(const std::string&)> encode;
    } cases[] = {
        {"utf-8, no mark", "", same},
        {"utf-8 with mark", "\xEF\xBB\xBF", same},
        {"utf-16le with mark", "\xFF\xFE", utf16le},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        write_text(path, c.mark + c.encode(config_text("1", "2")));
        chmod(path.c_str(), 0640);
        ASSERT_TRUE(platform::write_dialog_position(path, 9, 8, &error)) << error;
        const std::string saved = saved_text();
        EXPECT_TRUE(saved == c.mark + c.encode(reference)) << saved.size() << " bytes";
        struct stat info {};
        stat(path.c_str(), &info);
        EXPECT_EQ(info.st_mode & 0777, 0640u);
    }
    std::remove(path.c_str());
}

// A settings file large enough that writing it takes a while, with
// HelpBase after the padding: a save cut short would lose it.
std::string large_config() {
    std::string text = "<?xml version=\"1.0\"?>\n<configuration>\n  <appSettings>\n";
    for (int i = 0; i < 40000; ++i)
        text += "    <add key=\"Pad" + std::to_string(i) + "\" value=\"" + std::string(60, 'p') + "\" />\n";
    text += "    <add key=\"DialogX\" value=\"1\" />\n    <add key=\"DialogY\" value=\"2\" />\n"
            "    <add key=\"HelpBase\" value=\"https://example.com/h/\" />\n"
            "  </appSettings>\n</configuration>\n";
    return text;
}

bool whole_settings(const std::string& path) {
    int32_t x = 0, y = 0;
    std::string base, error;
    return platform::read_dialog_position(path, &x, &y, &error) &&
           platform::read_app_setting(path, "HelpBase", &base, &error) &&
           base == "https://example.com/h/";
}

// Runs `body` in a child process; its exit code (or -1 when it was killed).
template <class Body>
pid_t start_child(Body body) {
    const pid_t pid = fork();
    if (pid == 0) _exit(body());
    return pid;
}

int child_status(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A process killed while it saves leaves the old file or the new one,
// never a part of one (a 4 MB file saved in place was left cut short or
// empty, losing HelpBase for good).
TEST(DialogSettings, SaveKilledHalfwayLeavesAWholeFile) {
    const std::string path = config_path() + ".killed-save";
    write_text(path, large_config());
    for (int round = 0; round < 12; ++round) {
        const pid_t saver = start_child([&] {
            std::string error;
            for (int32_t i = 0;; ++i)
                if (!platform::write_dialog_position(path, i, i, &error)) return 1;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(5 + 7 * round));
        kill(saver, SIGKILL);
        EXPECT_EQ(child_status(saver), -1);
        ASSERT_TRUE(whole_settings(path)) << "round " << round;
    }
    std::remove(path.c_str());
    for (const auto& entry : std::filesystem::directory_iterator(
             std::filesystem::path(path).parent_path()))
        if (entry.path().string().rfind(path + ".", 0) == 0) std::filesystem::remove(entry.path());
}

// Two processes opening and moving the window on one file: neither ever
// reads a file that is empty or cut short, and no save fails.
TEST(DialogSettings, TwoProcessesNeverReadAPartialFile) {
    const std::string path = config_path() + ".two-processes";
    std::string text = config_text("5", "6");
    text.insert(text.find("</appSettings>"), "<add key=\"HelpBase\" value=\"https://example.com/h/\" />\n");
    write_text(path, text);
    ASSERT_TRUE(whole_settings(path));
    std::vector<pid_t> children;
    for (int who = 0; who < 2; ++who)
        children.push_back(start_child([&, who] {
            std::string error;
            for (int32_t i = 0; i < 300; ++i) {
                if (!whole_settings(path)) return 2;
                if (!platform::write_dialog_position(path, who, i, &error)) return 3;
            }
            return 0;
        }));
    for (const pid_t child : children) EXPECT_EQ(child_status(child), 0);
    EXPECT_TRUE(whole_settings(path));
    std::remove(path.c_str());
}

// A save never writes through, or takes the mode of, a file it did not
// make: links and files planted beside the settings at the name the old
// save used (<config>.<pid>.tmp) are left as they were, and the saved file
// keeps its own mode. A settings file that is itself a link is written
// through (the link stays); a read-only one and one above 8 MiB are kept.
TEST(DialogSettings, SaveIsSafeAgainstPlantedAndSpecialFiles) {
    namespace fs = std::filesystem;
    const fs::path folder = scratch_path("barsight-planted-settings");
    fs::remove_all(folder);
    fs::create_directories(folder);
    const std::string path = (folder / "BarsightPlugin.dll.config").string();
    const std::string victim = (folder / "victim.txt").string();
    const std::string guessed = path + "." + std::to_string(getpid()) + ".tmp";
    const auto text_of = [](const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    };
    const auto mode_of = [](const std::string& file) {
        struct stat info {};
        return lstat(file.c_str(), &info) == 0 ? info.st_mode : 0u;
    };
    const struct {
        const char* name;
        std::function<void()> plant;
        bool saves;
        std::function<bool()> after;
    } cases[] = {
        {"a link at the guessed temporary name",
         [&] { symlink(victim.c_str(), guessed.c_str()); }, true,
         [&] { return text_of(victim) == "untouched" && (mode_of(path) & 0777) == 0640; }},
        {"a file another user made writable at the guessed name",
         [&] { write_text(guessed, "planted"); chmod(guessed.c_str(), 0666); }, true,
         [&] { return text_of(guessed) == "planted" && (mode_of(path) & 0777) == 0640; }},
        {"the settings file a link to another",
         [&] {
             fs::rename(path, victim);
             symlink(victim.c_str(), path.c_str());
         },
         true, [&] { return S_ISLNK(mode_of(path)) && text_of(victim) == config_text("11", "12"); }},
        {"a read-only settings file",
         [&] { chmod(path.c_str(), 0444); }, false,
         [&] { return text_of(path) == config_text("1", "2") && (mode_of(path) & 0777) == 0444; }},
        {"a settings file above 8 MiB",
         [&] {
             std::string big = config_text("1", "2");
             big.insert(big.find("</configuration>"), "<!--" + std::string(9 << 20, 'x') + "-->");
             write_text(path, big);
         },
         false, [&] { return fs::file_size(path) > (9u << 20); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const auto& entry : fs::directory_iterator(folder)) fs::remove(entry.path());
        write_text(path, config_text("1", "2"));
        chmod(path.c_str(), 0640);
        write_text(victim, "untouched");
        c.plant();
        std::string error;
        EXPECT_EQ(platform::write_dialog_position(path, 11, 12, &error), c.saves) << error;
        EXPECT_TRUE(c.after());
        std::size_t files = 0;
        for (const auto& entry : fs::directory_iterator(folder)) files += entry.path() != guessed;
        EXPECT_EQ(files, 2u) << "the settings and the victim only: no temporary file left";
        chmod(path.c_str(), 0644);
    }
    fs::remove_all(folder);
}

// A folder where no file can be created (read-only, the file writable):
// the position is still saved, in place. Run as an unprivileged user when
// the test runs as root, for whom permissions do not apply.
TEST(DialogSettings, ReadOnlyFolderWithAWritableFileStillSaves) {
    namespace fs = std::filesystem;
    const fs::path folder = scratch_path("barsight-readonly-settings");
    fs::remove_all(folder);
    fs::create_directories(folder);
    const std::string path = (folder / "BarsightPlugin.dll.config").string();
    write_text(path, config_text("1", "2"));
    chmod(path.c_str(), 0666);
    chmod(folder.c_str(), 0555);
    const pid_t saver = start_child([&] {
        if (geteuid() == 0 && setuid(65534) != 0) return 9;
        std::string error;
        return platform::write_dialog_position(path, 70, 80, &error) ? 0 : 1;
    });
    EXPECT_EQ(child_status(saver), 0);
    int32_t x = 0, y = 0;
    std::string error;
    EXPECT_TRUE(platform::read_dialog_position(path, &x, &y, &error)) << error;
    EXPECT_EQ(x, 70);
    EXPECT_EQ(y, 80);
    chmod(folder.c_str(), 0755);
    fs::remove_all(folder);
}
#endif

// The base address: the settings key, else the help folder beside the
// plug-in (a file: address), else the web.
TEST(HelpPage, BaseResolution) {
    namespace fs = std::filesystem;
    const fs::path root = scratch_path("barsight-help-base");
    fs::remove_all(root);
    const std::string plain = (root / "plain").string();
    const std::string spaced = (root / "Program Files" / "Barsight x").string();
    const std::string accented = (root / fs::u8path("h\xc3\xa9lp \xe2\x82\xac")).string();
    const std::string empty_folder = (root / "nothing").string();
    for (const std::string& dir : {plain, spaced, accented}) {
        fs::create_directories(fs::u8path(dir) / "help" / "plugin" / "Inds1");
        std::ofstream(fs::u8path(dir) / "help" / "plugin" / "Inds1" / "none.htm") << "index";
        std::ofstream(fs::u8path(dir) / "help" / "plugin" / "Inds1" / "SOS3.htm") << "no supply";
        std::ofstream(fs::u8path(dir) / "help" / "plugin" / "Inds1" / "No supply.htm") << "named";
    }
    fs::create_directories(fs::u8path(empty_folder) / "help");
    const std::string config = (root / "settings.config").string();
    auto settings = [&](const char* key_value) {
        std::string text = "<configuration><appSettings>";
        if (key_value != nullptr) text += std::string("<add key=\"HelpBase\" value=\"") + key_value + "\"/>";
        write_text(config, text + "</appSettings></configuration>");
    };

    settings("https://example.com/docs");
    EXPECT_EQ(barsight::resolve_help_base(config, plain), "https://example.com/docs/");
    settings("file:///D:/Help/");
    EXPECT_EQ(barsight::resolve_help_base(config, plain), "file:///D:/Help/");
    settings("");  // empty: as if absent
    const std::string from_folder = barsight::resolve_help_base(config, plain);
    settings(nullptr);
    EXPECT_EQ(barsight::resolve_help_base(config, plain), from_folder);
    EXPECT_EQ(barsight::resolve_help_base(config + ".missing", plain), from_folder);
    EXPECT_EQ(from_folder.rfind("file://", 0), 0u) << from_folder;
    EXPECT_EQ(from_folder.back(), '/');
    // A folder without the index page, or none at all: the web.
    EXPECT_EQ(barsight::resolve_help_base(config, empty_folder), barsight::kHelpBase);
    EXPECT_EQ(barsight::resolve_help_base(config, ""), barsight::kHelpBase);

    // With the local folder as base, a page is addressed from its path when
    // its file exists, and the index page stands in for one that does not.
    for (const std::string& dir : {plain, spaced}) {
        const std::string local = barsight::resolve_help_base(config, dir);
        const std::string page = barsight::help_page_for(local, "No supply");
        EXPECT_EQ(page.rfind(local, 0), 0u) << page;
        EXPECT_EQ(page.substr(local.size()), "plugin/Inds1/No%20supply.htm") << page;
        EXPECT_EQ(barsight::help_page_for(local, "Missing page"), barsight::default_help_page(local));
        EXPECT_EQ(barsight::help_page_for(local, ""), local + "plugin/Inds1/.htm");
    }
    // A refused HelpBase is named, and the help folder is used instead.
    settings("javascript:alert(1)");
    std::string refused;
    EXPECT_EQ(barsight::resolve_help_base(config, plain, &refused), from_folder);
    EXPECT_EQ(refused, "HelpBase ignored: only http:, https: and file: addresses are allowed");

#if defined(_WIN32)
    // What UrlCreateFromPathW makes of the folder: file:///Z:/... under Wine,
    // spaces as %20, other characters left as they are.
    const std::string spaced_url = barsight::resolve_help_base(config, spaced);
    EXPECT_NE(spaced_url.find("Program%20Files/Barsight%20x/help/"), std::string::npos) << spaced_url;
    // Windows leaves non-ASCII characters as they are; Wine's
    // UrlCreateFromPathW escapes those of Latin-1 (%E9) and leaves the rest.
    const std::string accented_url = barsight::resolve_help_base(config, accented);
    EXPECT_TRUE(accented_url.find("h\xc3\xa9lp%20\xe2\x82\xac/help/") != std::string::npos ||
                accented_url.find("h%E9lp%20\xe2\x82\xac/help/") != std::string::npos)
        << accented_url;
#else
    EXPECT_EQ(from_folder, "file://" + plain + "/help/");
    EXPECT_EQ(barsight::resolve_help_base(config, spaced),
              "file://" + root.string() + "/Program%20Files/Barsight%20x/help/");
    EXPECT_EQ(barsight::resolve_help_base(config, accented),
              "file://" + root.string() + "/h%C3%A9lp%20%E2%82%AC/help/");
    // A MetaTrader arrow's name leads to a page file that exists.
    const std::string page =
        barsight::help_page_for(barsight::resolve_help_base(config, spaced), "Barsight;SOS3;2024.01.02 10:00");
    std::string path = page.substr(std::string("file://").size());
    for (std::size_t at; (at = path.find("%20")) != std::string::npos;) path.replace(at, 3, " ");
    EXPECT_TRUE(fs::is_regular_file(path)) << page;
#endif
    fs::remove_all(root);
}

// --- the dialog and its exports -------------------------------------------------

std::mutex g_mutex;
std::vector<std::string> g_trace, g_debug;
void on_trace(const std::string& t) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_trace.push_back(t);
}
void on_debug(const std::string& t) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_debug.push_back(t);
}

class DialogExports : public ::testing::Test {
protected:
    void SetUp() override {
        write_text(config_path(), config_text("0", "0"));
        clear();
        barsight::set_trace_hook_for_testing(&on_trace);
        platform::set_debug_output_hook(&on_debug);
    }
    void TearDown() override {
        dialog::kill();
        barsight::set_trace_hook_for_testing(nullptr);
        platform::set_debug_output_hook(nullptr);
    }
    static void clear() {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_trace.clear();
        g_debug.clear();
    }
    static std::vector<std::string> trace() {
        std::lock_guard<std::mutex> lock(g_mutex);
        return g_trace;
    }
    static bool debug_has(const std::string& line) {
        std::lock_guard<std::mutex> lock(g_mutex);
        return std::find(g_debug.begin(), g_debug.end(), line + "\n") != g_debug.end();
    }
    // StartDialog waits 200 ms for the window; a slow first construction
    // (a fresh Wine prefix loading COM and MSXML) may take longer.
    static void start_and_wait() {
        dialog::start();
        for (int i = 0; i < 1000 && barsight::dialog::myHelpDialog.load() == nullptr &&
                        dialog::is_running() == 1;
             ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    static platform::HelpWindowState window_state() {
        barsight::VSAHelpDialog* d = barsight::dialog::myHelpDialog.load();
        return d != nullptr ? d->window().state() : platform::HelpWindowState{};
    }
};

TEST_F(DialogExports, BeforeAnyStartNothingHappens) {
    EXPECT_EQ(dialog::is_running(), -1);
    dialog::hide();
    dialog::kill();
    EXPECT_EQ(trace(), (std::vector<std::string>{"Hide Dialog", "Kill Dialog"}));
    EXPECT_EQ(barsight::dialog::windowThread.load(), nullptr);
}

TEST_F(DialogExports, StartShowHideUserCloseShowKill) {
    start_and_wait();
    EXPECT_EQ(dialog::is_running(), 1);
    barsight::DialogThread* thread = barsight::dialog::windowThread.load();
    dialog::start();  // a second start creates nothing
    EXPECT_EQ(barsight::dialog::windowThread.load(), thread);
    ASSERT_NE(barsight::dialog::myHelpDialog.load(), nullptr);
    EXPECT_TRUE(debug_has("VSA Help Dialog Constructor: START"));
    EXPECT_TRUE(debug_has("Dialog: " + platform::own_module_path()));
    EXPECT_TRUE(debug_has("Dialog To Center Screen"));
    EXPECT_TRUE(debug_has("VSA Help Dialog Constructor: STOP"));

    // Built: hidden and transparent, on its own thread, with its first page.
    platform::HelpWindowState s = window_state();
    EXPECT_TRUE(s.exists);
    EXPECT_EQ(s.opacity, 0.0);
    EXPECT_EQ(s.class_name, "VSAHelpDialog");
    EXPECT_EQ(s.title, "Indicator Help");
    EXPECT_TRUE(s.topmost);
    EXPECT_TRUE(s.tool_window);
    EXPECT_TRUE(s.layered);
    EXPECT_EQ(s.client_width, 292);
    EXPECT_EQ(s.client_height, 466);
    EXPECT_TRUE(s.on_owner_thread);

    dialog::show(0, "chart;SOS7");
    s = window_state();
    EXPECT_TRUE(s.visible);
    EXPECT_EQ(s.opacity, 1.0);
    EXPECT_EQ(s.page, kPages + "SOS7.htm");
    const std::vector<std::string> t = trace();
    EXPECT_NE(std::find(t.begin(), t.end(), "Show -> " + kPages + "SOS7.htm"), t.end());

    dialog::hide();
    s = window_state();
    EXPECT_FALSE(s.visible);
    EXPECT_EQ(s.opacity, 0.0);
    EXPECT_EQ(dialog::is_running(), 1);

    // The user moves the window: the position goes to the settings file.
    dialog::show(0, "chart;SOS7");
    barsight::dialog::myHelpDialog.load()->window().user_move(140, 90);
    int32_t x = 0, y = 0;
    std::string error;
    ASSERT_TRUE(platform::read_dialog_position(config_path(), &x, &y, &error)) << error;
    EXPECT_EQ(x, 140);
    EXPECT_EQ(y, 90);

    // A user close only hides; the window, its page and the thread stay.
    barsight::dialog::myHelpDialog.load()->window().user_close();
    EXPECT_TRUE(debug_has("Dialog Mask Close"));
    s = window_state();
    EXPECT_TRUE(s.exists);
    EXPECT_FALSE(s.visible);
    EXPECT_EQ(s.page, kPages + "SOS7.htm");
    EXPECT_EQ(dialog::is_running(), 1);

    dialog::show(0, "VSATrend");
    s = window_state();
    EXPECT_TRUE(s.visible);
    EXPECT_EQ(s.page, kPages + "VSATrend.htm");

    dialog::kill();
    EXPECT_TRUE(debug_has("Dialog Real Close"));
    EXPECT_TRUE(thread != nullptr);
    EXPECT_EQ(dialog::is_running(), -1);
    EXPECT_EQ(barsight::dialog::windowThread.load(), nullptr);
    EXPECT_EQ(barsight::dialog::myHelpDialog.load(), nullptr);
}

TEST_F(DialogExports, NewWindowReadsTheSavedPosition) {
    write_text(config_path(), config_text("150", "120"));
    dialog::show(0, "VSASpread");  // starts the thread itself
    ASSERT_NE(barsight::dialog::myHelpDialog.load(), nullptr);
    EXPECT_TRUE(debug_has("Set Desktop Location (150,120)"));
    const platform::HelpWindowState s = window_state();
    EXPECT_TRUE(s.visible);
    EXPECT_EQ(s.page, kPages + "VSASpread.htm");
    dialog::kill();
    // "DialogX" positive but "DialogY" 0: centred.
    write_text(config_path(), config_text("150", "0"));
    clear();
    start_and_wait();
    EXPECT_TRUE(debug_has("Dialog To Center Screen"));
}

TEST_F(DialogExports, BrokenSettingsFallBackToTheCentre) {
    const struct {
        const char* name;
        std::string text;
    } cases[] = {{"no keys", "<configuration><appSettings/></configuration>"},
                 {"not numbers", config_text("left", "top")},
                 {"not xml", "garbage"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        write_text(config_path(), c.text);
        clear();
        start_and_wait();
        ASSERT_NE(barsight::dialog::myHelpDialog.load(), nullptr);
        bool config_error = false;
        {
            std::lock_guard<std::mutex> lock(g_mutex);
            for (const std::string& line : g_debug) config_error |= line.rfind("Config Error: ", 0) == 0;
        }
        EXPECT_TRUE(config_error);
        EXPECT_TRUE(debug_has("Dialog To Center Screen"));
        // A move cannot be saved (the keys are never created), and nothing breaks.
        barsight::dialog::myHelpDialog.load()->window().user_move(10, 20);
        dialog::show(0, "x");
        EXPECT_TRUE(window_state().visible);
        dialog::kill();
        EXPECT_EQ(dialog::is_running(), -1);
    }
}

// The browser control is part of the window; without it (under Wine with
// ieframe disabled, BARSIGHT_EXPECT_NO_BROWSER set) the window still works.
TEST_F(DialogExports, WindowWithOrWithoutBrowser) {
    const bool expect_browser = std::getenv("BARSIGHT_EXPECT_NO_BROWSER") == nullptr;
    dialog::show(0, "VSAInd");
    const platform::HelpWindowState s = window_state();
    EXPECT_EQ(s.browser, expect_browser);
    EXPECT_TRUE(s.visible);
    EXPECT_EQ(s.page, kPages + "VSAInd.htm");
    dialog::hide();
    EXPECT_FALSE(window_state().visible);
}

#if !defined(_WIN32)
// A FIFO as the settings file is refused, not waited on: the window is
// built (centred), and KillDialog returns. A hang fails by the TIMEOUT.
TEST_F(DialogExports, FifoAsSettingsFileIsRefused) {
    std::remove(config_path().c_str());
    ASSERT_EQ(mkfifo(config_path().c_str(), 0600), 0);
    start_and_wait();
    EXPECT_EQ(dialog::is_running(), 1);
    dialog::kill();
    EXPECT_EQ(dialog::is_running(), -1);
    EXPECT_TRUE(debug_has("Config Error: cannot read " + config_path() + ": not a regular file"));
    std::remove(config_path().c_str());
}
#endif

#if defined(_WIN32)
// The browser host comes from the system folder only: an atl.dll beside the
// program (the test copies this program beside a planted one and sets
// BARSIGHT_PLANTED_ATL) is never loaded.
TEST_F(DialogExports, AtlFromTheSystemFolderOnly) {
    // With a planted atl.dll beside the program (the help_window_planted_atl
    // test) as without one, the system's is the one loaded.
    const char* planted = std::getenv("BARSIGHT_PLANTED_ATL");
    dialog::show(0, "VSAInd");
    EXPECT_TRUE(window_state().browser);
    const HMODULE atl = GetModuleHandleW(L"atl.dll");
    ASSERT_NE(atl, nullptr);
    wchar_t file[MAX_PATH] = {}, system[MAX_PATH] = {};
    GetModuleFileNameW(atl, file, MAX_PATH);
    GetSystemDirectoryW(system, MAX_PATH);
    EXPECT_EQ(_wcsnicmp(file, system, wcslen(system)), 0) << platform::utf8_from_wide(file);
    if (planted != nullptr) {
        EXPECT_EQ(GetModuleHandleW(platform::wide_from_utf8(planted).c_str()), nullptr);
    }
    dialog::hide();
}
#endif

TEST_F(DialogExports, NullUrlIsReportedAndNothingShown) {
    start_and_wait();
    clear();
    dialog::show(0, nullptr);
    const std::vector<std::string> t = trace();
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0], "Show Dialog");
    EXPECT_EQ(t[1], "ShowDialog: url is a null pointer, ShowDialog, BarsightPlugin");
    EXPECT_EQ(window_state().opacity, 0.0);  // still fully transparent: nothing shown
}

TEST_F(DialogExports, KillRacingAStart) {
    for (int round = 0; round < 10; ++round) {
        std::thread starter([] { dialog::start(); });
        std::this_thread::sleep_for(std::chrono::milliseconds(round * 3));
        // The start sleeps 200 ms after creating the thread; kill as soon as
        // the record is there, while the window is being built or running.
        while (barsight::dialog::windowThread.load() == nullptr)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        dialog::kill();
        starter.join();
        EXPECT_EQ(dialog::is_running(), -1) << round;
        EXPECT_EQ(barsight::dialog::windowThread.load(), nullptr);
        EXPECT_EQ(barsight::dialog::myHelpDialog.load(), nullptr);
    }
}

// KillDialog while the window is still being built: the thread closes the
// window itself as soon as it is built and ends; nothing keeps running, and
// a window that was recorded is no longer recorded once the thread ended.
TEST_F(DialogExports, KillWhileTheWindowIsBeingBuilt) {
    for (int round = 0; round < 10; ++round) {
        barsight::DialogThread thread;
        thread.start();
        std::this_thread::sleep_for(std::chrono::microseconds(round * 500));
        thread.request_kill();
        thread.join();
        EXPECT_TRUE(thread.ended()) << round;
        EXPECT_FALSE(thread.with_dialog([](barsight::VSAHelpDialog&) {})) << round;
        EXPECT_EQ(barsight::dialog::myHelpDialog.load(), nullptr) << round;
    }
}

TEST_F(DialogExports, FiftyCyclesLeaveNothingBehind) {
    for (int cycle = 0; cycle < 50; ++cycle) {
        start_and_wait();
        dialog::show(0, "x;SOW1");
        ASSERT_EQ(dialog::is_running(), 1) << cycle;
        dialog::kill();
        ASSERT_EQ(dialog::is_running(), -1) << cycle;
    }
}

TEST_F(DialogExports, CallsOnAClosedWindowFailCleanly) {
    start_and_wait();
    barsight::DialogThread* thread = barsight::dialog::windowThread.load();
    ASSERT_NE(thread, nullptr);
    // Closed for real behind the exports' back: the thread destroys the
    // window and ends (Ended); the record of the window is cleared.
    ASSERT_TRUE(thread->with_dialog([](barsight::VSAHelpDialog& w) { w.KillDisplay(); }));
    for (int i = 0; i < 500 && dialog::is_running() == 1; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(dialog::is_running(), -1);
    EXPECT_EQ(barsight::dialog::myHelpDialog.load(), nullptr);
    EXPECT_FALSE(thread->with_dialog([](barsight::VSAHelpDialog&) {}));
    clear();
    dialog::hide();  // no window: nothing to hide
    dialog::show(0, "VSATrend");  // the ended thread shows nothing
    const std::vector<std::string> t = trace();
    ASSERT_GE(t.size(), 3u);
    EXPECT_EQ(t[0], "Hide Dialog");
    EXPECT_EQ(t.back(), "ShowDialog: the help window could not be started, ShowDialog, BarsightPlugin");
    dialog::kill();  // leaves Ended for Idle
    EXPECT_EQ(barsight::dialog::windowThread.load(), nullptr);
    dialog::show(0, "VSATrend");  // a new thread and window
    EXPECT_EQ(dialog::is_running(), 1);
    EXPECT_TRUE(window_state().visible);
}

// A client polling IsDialogRunning from one thread while another starts,
// shows and kills the dialog: the poll never reads a freed record (TSan and
// ASan lanes) and never waits behind a join.
TEST_F(DialogExports, PollingWhileAnotherThreadCycles) {
    dialog::set_start_pause_for_testing(std::chrono::milliseconds(0));
    std::atomic<bool> done{false};
    std::atomic<int> polls{0}, seen_running{0};
    std::thread poller([&] {
        while (!done.load()) {
            const int32_t r = dialog::is_running();
            EXPECT_TRUE(r == 1 || r == -1) << r;
            if (r == 1) ++seen_running;
            ++polls;
        }
    });
    for (int cycle = 0; cycle < 50; ++cycle) {
        dialog::start();
        dialog::show(0, "x;SOS3");
        dialog::kill();
    }
    done.store(true);
    poller.join();
    dialog::set_start_pause_for_testing(std::chrono::milliseconds(200));
    EXPECT_GT(polls.load(), 50);
    EXPECT_GT(seen_running.load(), 0);
    EXPECT_EQ(dialog::is_running(), -1);
}

// Every window is destroyed by the thread that built it, the dialog thread,
// never by the thread that ends the dialog.
TEST_F(DialogExports, WindowsDieOnTheDialogThread) {
    const platform::HelpWindowCounts before = platform::help_window_counts_for_testing();
    for (int cycle = 0; cycle < 5; ++cycle) {
        dialog::show(0, "VSATrend");
        dialog::kill();
    }
    const platform::HelpWindowCounts after = platform::help_window_counts_for_testing();
    EXPECT_EQ(after.built - before.built, 5);
    EXPECT_EQ(after.destroyed - before.destroyed, 5);
    EXPECT_EQ(after.destroyed_off_owner_thread, before.destroyed_off_owner_thread);
}

// ShowDialog shows the window (at its place) first, then sends it to the page.
TEST_F(DialogExports, ShowsBeforeItNavigates) {
    start_and_wait();
    dialog::show(0, "VSASpread");
    const platform::HelpWindowState s = window_state();
    EXPECT_EQ(s.page, kPages + "VSASpread.htm");
    EXPECT_TRUE(s.visible_at_navigate);
    dialog::hide();
    dialog::show(0, "VSATrend");  // a hidden window too
    EXPECT_TRUE(window_state().visible_at_navigate);
}

// A failure at each step of building the window in turn: the thread ends
// cleanly, the caller of StartDialog is unharmed, and nothing the window had
// taken (windows, GDI objects, COM references, the apartment) is left.
TEST_F(DialogExports, FailureAtEachConstructionStepLeavesNothing) {
#if defined(_WIN32)
    using platform::win32::Resource;
    const Resource kinds[] = {Resource::kWindow,    Resource::kWindowClass,  Resource::kGdiObject,
                              Resource::kIcon,      Resource::kComReference, Resource::kBstr,
                              Resource::kVariant,   Resource::kApartment,    Resource::kWindowDc,
                              Resource::kPaintDc,   Resource::kMemoryDc};
    std::vector<int> before;
    for (Resource k : kinds) before.push_back(platform::win32::live_resources(k));
#endif
    int failed_steps = 0;
    for (int step = 1; step <= 40; ++step) {
        SCOPED_TRACE(step);
        platform::set_construction_fault_for_testing(step);
        dialog::start();
        barsight::DialogThread* thread = barsight::dialog::windowThread.load();
        ASSERT_NE(thread, nullptr);
        for (int i = 0; i < 1000 && barsight::dialog::myHelpDialog.load() == nullptr && !thread->ended(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        const bool thrown = platform::construction_fault_thrown_for_testing();
        platform::set_construction_fault_for_testing(0);
        if (!thrown) {
            // Past the last step: the window was built and works.
            EXPECT_NE(barsight::dialog::myHelpDialog.load(), nullptr);
            dialog::kill();
            break;
        }
        ++failed_steps;
        EXPECT_TRUE(thread->ended());
        EXPECT_EQ(dialog::is_running(), -1);
        EXPECT_EQ(barsight::dialog::myHelpDialog.load(), nullptr);
        dialog::kill();
#if defined(_WIN32)
        for (std::size_t k = 0; k < before.size(); ++k)
            EXPECT_EQ(platform::win32::live_resources(kinds[k]), before[k]) << "kind " << k;
#endif
    }
    EXPECT_GE(failed_steps, 4);
    // After all that, a window builds as usual.
    dialog::show(0, "VSATrend");
    EXPECT_TRUE(window_state().visible);
    dialog::kill();
#if defined(_WIN32)
    for (std::size_t k = 0; k < before.size(); ++k)
        EXPECT_EQ(platform::win32::live_resources(kinds[k]), before[k]) << "kind " << k;
#endif
}

// Every address the window is sent to, the first included, goes to the
// trace as "Navigate " + the address; with the help folder beside the
// library the pages are its files.
TEST_F(DialogExports, NavigationIsTracedAndUsesTheHelpFolder) {
    namespace fs = std::filesystem;
    start_and_wait();
    dialog::show(0, "x;SOS3");
    dialog::kill();
    std::vector<std::string> t = trace();
    EXPECT_NE(std::find(t.begin(), t.end(), "Navigate " + kPages + "none.htm"), t.end());
    EXPECT_NE(std::find(t.begin(), t.end(), "Navigate " + kPages + "SOS3.htm"), t.end());

    const fs::path help = fs::u8path(platform::own_module_directory()) / "help";
    fs::create_directories(help / "plugin" / "Inds1");
    std::ofstream(help / "plugin" / "Inds1" / "none.htm") << "index";
    std::ofstream(help / "plugin" / "Inds1" / "SOW5.htm") << "page";
    clear();
    dialog::show(0, "x;SOW7");  // no such file in the help folder: the index
    const std::string missing = window_state().page;
    dialog::show(0, "x;SOW5");
    const std::string page = window_state().page;
    dialog::kill();
    const std::string base = platform::folder_file_url(help.u8string());
    fs::remove_all(help);
    EXPECT_EQ(missing, base + "plugin/Inds1/none.htm");
    EXPECT_EQ(page, base + "plugin/Inds1/SOW5.htm");
    t = trace();
    EXPECT_NE(std::find(t.begin(), t.end(), "Navigate " + base + "plugin/Inds1/none.htm"), t.end());
    EXPECT_NE(std::find(t.begin(), t.end(), "Navigate " + page), t.end());
}

}  // namespace
