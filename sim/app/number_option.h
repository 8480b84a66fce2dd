// Numbers on the command line, read exactly as the files' numbers are (text_util's
// parse_double): decimal, finite and within a double's range. "", "0x10" and "1e400" are
// refused with a message naming the option, as any other argument that cannot be used.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "text_util.h"

namespace sim {

inline CLI::Option* add_number_option(CLI::App& app, const std::string& name, double& target,
                                      const std::string& description) {
    CLI::Option* option = app.add_option_function<std::string>(
        name,
        [&target, name](const std::string& text) {
            if (!parse_double(text, target))
                throw CLI::ValidationError(name, "\"" + text + "\" is not a finite decimal number");
        },
        description);
    return option->type_name("NUMBER")->default_str(number_text(target));
}

}  // namespace sim
