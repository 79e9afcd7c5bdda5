// The option reader shared by tarskverb-host's commands.
#include "host/command-line.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "host/exit-codes.h"

namespace tarskhost {

namespace {

constexpr const char* kEndOfOptions = "--";

bool startsWith(const std::string& text, const char* start) { return text.rfind(start, 0) == 0; }

// strtol and strtod skip leading white space; an argument " 5" is not a number here.
bool startsLikeNumber(const std::string& text) {
    return !text.empty() && std::isspace(static_cast<unsigned char>(text[0])) == 0;
}

}  // namespace

CommandLine::CommandLine(const std::vector<std::string>& args, std::span<const OptionSpec> options,
                         OptionSyntax syntax)
    : args(args), options(options), syntax(syntax) {}

const OptionSpec* CommandLine::find(const std::string& optionName) const {
    for (const OptionSpec& option : options) {
        if (optionName == option.name) {
            return &option;
        }
    }
    return nullptr;
}

bool CommandLine::looksLikeOption(const std::string& arg) const {
    if (syntax.loneDashIsPositional && arg == "-") {
        return false;
    }
    return !arg.empty() && startsWith(arg, syntax.optionStart);
}

CommandLine::Item CommandLine::fail(std::string message) {
    errorText = std::move(message);
    return Item::error;
}

CommandLine::Item CommandLine::next() {
    if (!errorText.empty()) {
        return Item::error;
    }
    currentName.clear();
    currentValue.clear();
    while (at < args.size()) {
        const std::string& arg = args[at++];
        if (optionsEnded || !looksLikeOption(arg)) {
            currentValue = arg;
            return Item::positional;
        }
        if (syntax.doubleDashEndsOptions && arg == kEndOfOptions) {
            optionsEnded = true;
            continue;
        }
        currentName = arg;
        const size_t equals = syntax.attachedValues ? arg.find('=') : std::string::npos;
        if (equals != std::string::npos) {
            currentName = arg.substr(0, equals);
        }
        const OptionSpec* option = find(currentName);
        if (option == nullptr) {
            return fail("unknown option '" + currentName + "'");
        }
        if (!option->takesValue) {
            if (equals != std::string::npos) {
                return fail(currentName + " takes no value");
            }
            return Item::option;
        }
        if (equals != std::string::npos) {
            currentValue = arg.substr(equals + 1);
            return Item::option;
        }
        if (at >= args.size() || (!syntax.valueMayStartWithDoubleDash && startsWith(args[at], kEndOfOptions))) {
            return fail(option->missingValueMessage != nullptr ? std::string(option->missingValueMessage)
                                                                 : currentName + " needs a value");
        }
        currentValue = args[at++];
        return Item::option;
    }
    return Item::end;
}

bool readWholeNumber(const std::string& text, long low, long high, long& value) {
    if (!startsLikeNumber(text)) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const long number = std::strtol(text.c_str(), &end, 10);
    if (end != text.c_str() + text.size() || errno != 0 || number < low || number > high) {
        return false;
    }
    value = number;
    return true;
}

bool readDecimal(const std::string& text, double low, double high, double& value) {
    if (!startsLikeNumber(text)) {
        return false;
    }
    char* end = nullptr;
    const double number = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(number) || number < low || number > high) {
        return false;
    }
    value = number;
    return true;
}

std::string limitText(double value) {
    char text[32];
    std::snprintf(text, sizeof(text), "%g", value);
    return text;
}

int reportUsageError(const char* command, const std::string& message) {
    std::fprintf(stderr, "tarskverb-host %s: %s\n(tarskverb-host --help lists the options)\n", command,
                 message.c_str());
    return kExitUsage;
}

int reportFailure(const std::string& message) {
    std::fprintf(stderr, "tarskverb-host: %s\n", message.c_str());
    return kExitFailure;
}

}  // namespace tarskhost
