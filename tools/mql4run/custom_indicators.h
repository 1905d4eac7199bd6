// The indicators Expert Advisors read through iCustom: hidden instances the
// terminal starts on first read, keeps up with their symbol's bars and
// ends with the run.
#pragma once

#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "tools/mql4run/runner.h"

namespace mql4run {

// One hidden instance per symbol, timeframe, indicator and inputs, with its
// own OnInit, imports, buffers and objects, recalculated when its symbol
// has new bars, and ended with the run, as the terminal keeps them.
class CustomIndicators {
public:
    // The indicators' DLLs are loaded from `folder`; what goes wrong is
    // said on `err`, and the read finds nothing.
    CustomIndicators(std::string folder, mql::Terminal* terminal, std::ostream& err);
    ~CustomIndicators();
    CustomIndicators(const CustomIndicators&) = delete;
    CustomIndicators& operator=(const CustomIndicators&) = delete;

    // The Terminal's iCustom: buffer `mode` at `shift` of the indicator;
    // false when there is none (no such indicator, buffer or bar).
    bool buffer_value(mql::Program& caller, const std::string& symbol, int timeframe, const std::string& name,
                      const std::vector<std::string>& inputs, int mode, int shift, double* value);

private:
    struct Hidden;
    std::unique_ptr<Hidden> start_hidden(mql::Program& caller, const std::string& symbol, const std::string& name,
                                         const std::vector<std::string>& inputs);

    std::string folder_;
    mql::Terminal* terminal_;
    std::ostream& err_;
    std::map<std::string, std::unique_ptr<Hidden>> hidden_;
};

}  // namespace mql4run
