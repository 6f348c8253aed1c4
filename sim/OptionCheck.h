#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <string>
#include <utility>

// A check of an option's text with this simulator's own message; CLI11 puts the option's
// name in front.
inline CLI::Validator OptionCheck(std::function<bool(const std::string&)> valid,
                                  std::string message) {
    return CLI::Validator(
        [valid = std::move(valid), message = std::move(message)](std::string& text) {
            return valid(text) ? std::string() : message + ": " + text;
        },
        "");
}
