// A test suite that loads one built plug-in once, as the charting host does,
// and fails each test plainly when the library could not be loaded.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "harness/plugin.h"

namespace testing_support {

// Path::path() names the plug-in's file.
template <class Path>
class LoadedPlugin : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        plugin_ = new harness::Plugin;
        loaded_ = plugin_->load(Path::path(), &error_);
    }
    static void TearDownTestSuite() {
        delete plugin_;
        plugin_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(loaded_) << error_; }

    static inline harness::Plugin* plugin_ = nullptr;
    static inline bool loaded_ = false;
    static inline std::string error_;
};

}  // namespace testing_support
