// The option reader shared by tarskverb-host's commands: declared options (flags or options with a
// value), positional arguments, and readers for whole and decimal numbers within a range. It reads one
// argument per call, so that a command reports the first fault in the order the user wrote it.
#pragma once

#include <span>
#include <string>
#include <vector>

namespace tarskhost {

// One option a command understands.
struct OptionSpec {
    const char* name;                               // "--block"
    bool takesValue = false;                        // "--block 512"; otherwise a flag
    const char* missingValueMessage = nullptr;      // instead of "NAME needs a value"
};

// How a command spells its options; each command keeps the spelling its users know.
struct OptionSyntax {
    const char* optionStart = "-";           // an argument starting so is an option ("-" or "--")
    bool loneDashIsPositional = false;       // "-" alone is an argument (e.g. a file name), not an option
    bool doubleDashEndsOptions = false;      // after "--" every argument is positional
    bool attachedValues = false;             // "--block=512" as well as "--block 512"
    bool valueMayStartWithDoubleDash = true; // "--block --tail": false makes that a missing value
};

class CommandLine {
public:
    enum class Item { option, positional, error, end };

    CommandLine(const std::vector<std::string>& args, std::span<const OptionSpec> options, OptionSyntax syntax = {});

    // Reads the next argument. option: name() and value() (empty for a flag) describe it; positional:
    // value() holds it; error: error() says what is wrong, and every later call answers error again.
    Item next();

    const std::string& name() const { return currentName; }
    const std::string& value() const { return currentValue; }
    const std::string& error() const { return errorText; }
    bool is(const char* optionName) const { return currentName == optionName; }

private:
    const OptionSpec* find(const std::string& optionName) const;
    bool looksLikeOption(const std::string& arg) const;
    Item fail(std::string message);

    const std::vector<std::string>& args;
    std::span<const OptionSpec> options;
    OptionSyntax syntax;
    size_t at = 0;
    bool optionsEnded = false;
    std::string currentName;
    std::string currentValue;
    std::string errorText;
};

// A whole number written in decimal, nothing before or after it, from low to high. value is left
// alone when the text is not one.
bool readWholeNumber(const std::string& text, long low, long high, long& value);

// A finite decimal number (as strtod reads it), nothing before or after it, from low to high. value
// is left alone when the text is not one.
bool readDecimal(const std::string& text, double low, double high, double& value);

// "%g" of a number, for the limits in messages: 3600 rather than 3600.000000.
std::string limitText(double value);

// Prints "tarskverb-host COMMAND: MESSAGE" and the pointer to --help on stderr; answers kExitUsage.
int reportUsageError(const char* command, const std::string& message);

// Prints "tarskverb-host: MESSAGE" on stderr (a file or the plug-in failed); answers kExitFailure.
int reportFailure(const std::string& message);

}  // namespace tarskhost
