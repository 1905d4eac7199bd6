// Each plug-in's catalogue table against what ships with it: the .def file,
// the built library (the catalogue it reports and the export behind each
// row), and the tests (every row has a suite of its own, named as its
// export).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "harness/client_call.h"
#include "harness/plugin.h"
#include "boundary/BarsightPlugin_catalogue.h"
#include "boundary/orvane_catalogue.h"

namespace {

const char* const kQueryExports[] = {"MSXInfo", "MSXNthFunction", "MSXNthArg",
                                     "MSXNthCustomString"};

struct Shipped {
    const char* label;
    const msx::Catalogue& catalogue;
    const char* def_path;
    const char* library_path;
    std::set<std::string> other_exports;  // the exports that are no catalogue query or row
};

std::vector<Shipped> shipped() {
    std::set<std::string> client;
    for (const harness::ClientSignature& s : harness::client_signatures()) client.insert(s.name);
    return {{"BarsightPlugin", barsight::catalogue::kCatalogue, BARSIGHT_DEF,
             BARSIGHT_PLUGIN_PATH, client},
            {"orvane", orvane::kCatalogue, ORVANE_DEF, ORVANE_PATH, {"DLLMAIN"}}};
}

// The names under EXPORTS, in file order.
std::vector<std::string> def_exports(const char* path) {
    std::ifstream in(path);
    EXPECT_TRUE(in) << "cannot read " << path;
    std::vector<std::string> names;
    bool exports = false;
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string first;
        if (!(words >> first)) continue;
        if (first == "EXPORTS") {
            exports = true;
        } else if (exports) {
            names.push_back(first);
        }
    }
    return names;
}

// The suite names of every TEST, TEST_F and TEST_P in the test sources.
std::set<std::string> test_suites() {
    const std::regex test(R"(\bTEST(?:_F|_P)?\(\s*(\w+)\s*,)");
    const std::regex line_comment(R"(//[^\n]*)");
    std::set<std::string> suites;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(TEST_SOURCES_DIR)) {
        if (entry.path().extension() != ".cpp") continue;
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string source((std::istreambuf_iterator<char>(in)),
                                 std::istreambuf_iterator<char>());
        // A TEST( in a line comment is no test.
        const std::string text = std::regex_replace(source, line_comment, "");
        for (auto m = std::sregex_iterator(text.begin(), text.end(), test);
             m != std::sregex_iterator(); ++m)
            suites.insert((*m)[1]);
    }
    return suites;
}

TEST(CatalogueRows, TheDefExportsTheQueriesTheRowsAndNothingElse) {
    for (const Shipped& s : shipped()) {
        SCOPED_TRACE(s.label);
        const std::vector<std::string> listed = def_exports(s.def_path);
        const std::set<std::string> def(listed.begin(), listed.end());
        EXPECT_EQ(def.size(), listed.size()) << "a name is listed twice";

        std::set<std::string> expected = s.other_exports;
        for (const char* query : kQueryExports) expected.insert(query);
        for (const msx::FunctionRow& row : s.catalogue) {
            EXPECT_TRUE(expected.insert(row.name).second) << "two rows named " << row.name;
            EXPECT_EQ(def.count(row.name), 1u) << "row " << row.name << " is not in the .def";
        }
        for (const std::string& name : def)
            EXPECT_EQ(expected.count(name), 1u) << name << " is exported but is no catalogue row";
        for (const std::string& name : expected)
            EXPECT_EQ(def.count(name), 1u) << name << " is missing from the .def";
    }
}

TEST(CatalogueRows, TheBuiltLibraryReportsTheTableAndExportsEachRow) {
    for (const Shipped& s : shipped()) {
        SCOPED_TRACE(s.label);
        harness::Plugin plugin;
        std::string error;
        ASSERT_TRUE(plugin.load(s.library_path, &error)) << error;
        EXPECT_EQ(plugin.copyright(), s.catalogue.copyright());
        EXPECT_EQ(plugin.version(), 1);
        ASSERT_EQ(plugin.functions().size(), static_cast<std::size_t>(s.catalogue.count()));
        for (int32_t k = 0; k < s.catalogue.count(); ++k) {
            const msx::FunctionRow& row = s.catalogue[k];
            const harness::FunctionInfo& reported = plugin.functions()[static_cast<std::size_t>(k)];
            SCOPED_TRACE(row.name);
            EXPECT_EQ(reported.name, row.name);
            EXPECT_EQ(reported.description, row.description);
            EXPECT_NE(row.calc, nullptr);
            EXPECT_NE(reported.calc, nullptr) << "no export of the row's name";
            ASSERT_EQ(reported.args.size(), static_cast<std::size_t>(row.arg_count));
            for (int32_t a = 0; a < row.arg_count; ++a) {
                EXPECT_EQ(reported.args[static_cast<std::size_t>(a)].name, row.args[a].name);
                EXPECT_EQ(reported.args[static_cast<std::size_t>(a)].type, row.args[a].type);
            }
        }
    }
}

TEST(CatalogueRows, EveryRowHasATestSuiteOfItsOwn) {
    const std::set<std::string> suites = test_suites();
    ASSERT_FALSE(suites.empty()) << "no tests found under " << TEST_SOURCES_DIR;
    for (const Shipped& s : shipped())
        for (const msx::FunctionRow& row : s.catalogue)
            EXPECT_EQ(suites.count(row.name), 1u)
                << s.label << " row " << row.name << " has no tests of its own: TEST("
                << row.name << ", ...) or a fixture of that name";
}

}  // namespace
