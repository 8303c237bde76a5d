#include <cerrno>
#include <cstdlib>

#include "cli.h"

namespace qorvel_cli {
namespace {

const OptionRule* findOption(const std::vector<OptionRule>& rules, const std::string& name) {
    for (const OptionRule& rule : rules) {
        if (name == rule.name) return &rule;
    }
    return nullptr;
}

bool isDigits(const std::string& text, size_t from, bool hexadecimal) {
    if (from >= text.size()) return false;
    for (size_t i = from; i < text.size(); ++i) {
        char c = text[i];
        bool digit = c >= '0' && c <= '9';
        bool hexLetter = (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!digit && !(hexadecimal && hexLetter)) return false;
    }
    return true;
}

// The magnitude of an unsigned decimal or 0x-hexadecimal word. strtoull alone
// would accept leading blanks, signs and trailing garbage.
bool parseMagnitude(const std::string& text, uint64_t* value) {
    bool hexadecimal = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    size_t digitsFrom = hexadecimal ? 2 : 0;
    if (!isDigits(text, digitsFrom, hexadecimal)) return false;
    errno = 0;
    unsigned long long parsed =
        std::strtoull(text.c_str() + digitsFrom, nullptr, hexadecimal ? 16 : 10);
    if (errno == ERANGE) return false;
    *value = parsed;
    return true;
}

}  // namespace

bool Arguments::has(const std::string& option) const {
    for (const auto& entry : options_) {
        if (entry.first == option) return true;
    }
    return false;
}

const std::string* Arguments::find(const std::string& option) const {
    const std::string* found = nullptr;
    for (const auto& entry : options_) {
        if (entry.first == option) found = &entry.second;
    }
    return found;
}

std::string Arguments::value(const std::string& option, const std::string& fallback) const {
    const std::string* found = find(option);
    return found != nullptr ? *found : fallback;
}

bool parseArguments(const std::vector<std::string>& words, const std::vector<OptionRule>& rules,
                    Arguments* arguments, std::string* error) {
    bool optionsEnded = false;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (optionsEnded || word.size() < 3 || word.compare(0, 2, "--") != 0) {
            if (!optionsEnded && word == "--") {
                optionsEnded = true;
                continue;
            }
            arguments->positionals_.push_back(word);
            continue;
        }
        std::string name = word.substr(2);
        std::string value;
        size_t equals = name.find('=');
        bool inlineValue = equals != std::string::npos;
        if (inlineValue) {
            value = name.substr(equals + 1);
            name.erase(equals);
        }
        const OptionRule* rule = findOption(rules, name);
        if (rule == nullptr) {
            *error = "unknown option " + quoted("--" + name, true);
            return false;
        }
        if (rule->takesValue && !inlineValue) {
            if (i + 1 == words.size()) {
                *error = "option " + quoted("--" + name, true) + " needs a value";
                return false;
            }
            value = words[++i];
        } else if (!rule->takesValue && inlineValue) {
            *error = "option " + quoted("--" + name, true) + " takes no value";
            return false;
        }
        arguments->options_.emplace_back(name, value);
    }
    return true;
}

bool parseUnsigned32(const std::string& text, uint32_t* value) {
    uint64_t magnitude = 0;
    if (!parseMagnitude(text, &magnitude) || magnitude > 0xFFFFFFFFull) return false;
    *value = static_cast<uint32_t>(magnitude);
    return true;
}

bool parseSigned(const std::string& text, int64_t minimum, int64_t maximum, int64_t* value) {
    bool negative = !text.empty() && text[0] == '-';
    uint64_t magnitude = 0;
    if (!parseMagnitude(negative ? text.substr(1) : text, &magnitude)) return false;
    if (magnitude > (uint64_t(1) << 62)) return false;
    int64_t signedValue =
        negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
    if (signedValue < minimum || signedValue > maximum) return false;
    *value = signedValue;
    return true;
}

}  // namespace qorvel_cli
