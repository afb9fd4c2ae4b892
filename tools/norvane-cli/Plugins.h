#pragma once

#include <string>
#include <vector>

namespace norvane::cli
{

/** `norvane-cli plugins [--json]`: the installed instruments and effects, as the application
    classes and offers them. */
int plugins(const std::vector<std::string>& args);

} // namespace norvane::cli
