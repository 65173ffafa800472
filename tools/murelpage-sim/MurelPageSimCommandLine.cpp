#include "tools/murelpage-sim/MurelPageSimCommandLine.h"

#include <cstdlib>
#include <set>

namespace {

const char kUsage[] =
    "Usage: murelpage-sim COMMAND [OPTIONS]\n"
    "Creates and fills a MurelPage and its shared access object on a development host.\n"
    "\n"
    "Commands:\n"
    "  write       create the page and the access object when missing, write a page image\n"
    "              under the write lock, raise the change counter and time stamp\n"
    "  remove      remove the page and the access object (missing ones are no error)\n"
    "  hold-lock   take the lock, print \"locked\", hold it, release it, print \"unlocked\"\n"
    "  show        print the change counter, time stamp, page size, format and directory\n"
    "\n"
    "Objects (every command):\n"
    "  --page=/NAME           the page (default: $MUREL_PAGE, else /murelpage)\n"
    "  --pagelock=/NAME       the access object (default: $MUREL_PAGELOCK, else /murelpage-lock)\n"
    "\n"
    "write:\n"
    "  --block=FILE           adjust block of exactly 2036 bytes, stored as item 0x800007F4;\n"
    "                         without it the page holds no adjust block, and velkor fails\n"
    "                         on it with INVALID_ID\n"
    "  --version=N            set byte 8 of the block (0..255)\n"
    "  --fix-crc              store the block's correct CRC in bytes 0..3\n"
    "  --break-crc            store a wrong CRC (the correct one with bit 0 flipped)\n"
    "  --item=ID:HEX[:VERSION]  a plain item (repeatable; replaces the default items);\n"
    "                         VERSION only for kind-0 ids (default 0x0100)\n"
    "  --no-items             no plain items\n"
    "  --format=N             format byte (default 1)\n"
    "  --dir-length=N         store N as the directory length\n"
    "  --raw=FILE             write FILE as the page image (no block, item, format or\n"
    "                         directory options)\n"
    "  --size=N               page object size in bytes, 1..65536 (default 8192)\n"
    "  --keep-counter         leave the change counter and time stamp as they are\n"
    "\n"
    "hold-lock:\n"
    "  --seconds=N            how long to hold the lock (default 5)\n"
    "  --read                 take the read lock instead of the write lock\n"
    "\n"
    "Numbers are decimal or 0x-prefixed hexadecimal. Exit status: 0 success, 1 error.\n";

std::string trimmed(const char* text) {
    if (text == nullptr) {
        return {};
    }
    std::string value(text);
    const char* const blanks = " \t\r\n\v\f";
    const size_t first = value.find_first_not_of(blanks);
    if (first == std::string::npos) {
        return {};
    }
    const size_t last = value.find_last_not_of(blanks);
    return value.substr(first, last - first + 1);
}

std::string objectPath(const char* variable, const char* fallback) {
    std::string value = trimmed(getenv(variable));
    return value.empty() ? std::string(fallback) : value;
}

bool parseHexBytes(const std::string& text, std::vector<uint8_t>& bytes) {
    if (text.size() % 2 != 0) {
        return false;
    }
    bytes.clear();
    for (size_t i = 0; i < text.size(); i += 2) {
        uint8_t value = 0;
        for (size_t j = 0; j < 2; ++j) {
            const char c = text[i + j];
            uint8_t digit = 0;
            if (c >= '0' && c <= '9') {
                digit = static_cast<uint8_t>(c - '0');
            } else if (c >= 'a' && c <= 'f') {
                digit = static_cast<uint8_t>(c - 'a' + 10);
            } else if (c >= 'A' && c <= 'F') {
                digit = static_cast<uint8_t>(c - 'A' + 10);
            } else {
                return false;
            }
            value = static_cast<uint8_t>(value * 16 + digit);
        }
        bytes.push_back(value);
    }
    return true;
}

bool parseItem(const std::string& text, CMurelPageItem& item, std::string& error) {
    const size_t firstColon = text.find(':');
    if (firstColon == std::string::npos) {
        error = "--item needs ID:HEX[:VERSION]: '" + text + "'";
        return false;
    }
    const size_t secondColon = text.find(':', firstColon + 1);
    const std::string idText = text.substr(0, firstColon);
    const std::string hexText = text.substr(firstColon + 1, secondColon == std::string::npos
                                                                ? std::string::npos
                                                                : secondColon - firstColon - 1);
    uint64_t id = 0;
    if (!MurelPageSimParseNumber(idText, 0xFFFFFFFFu, id)) {
        error = "--item: bad id '" + idText + "'";
        return false;
    }
    item.id = static_cast<uint32_t>(id);
    if (!parseHexBytes(hexText, item.data)) {
        error = "--item: bad hex bytes '" + hexText + "'";
        return false;
    }
    item.version = 0x0100;
    if (secondColon != std::string::npos) {
        if (MurelPageImage_kind(item.id) != 0) {
            error = "--item: a version is allowed for kind-0 ids only: '" + text + "'";
            return false;
        }
        uint64_t version = 0;
        const std::string versionText = text.substr(secondColon + 1);
        if (!MurelPageSimParseNumber(versionText, 0xFFFF, version)) {
            error = "--item: bad version '" + versionText + "'";
            return false;
        }
        item.version = static_cast<uint16_t>(version);
    }
    return true;
}

std::vector<CMurelPageItem> defaultItems() {
    return {
        {0x00000001u, 0x0102, {0x01, 0x02, 0x03, 0x04}},
        {0x00000002u, 0x0100, {0x2A}},
        {0xC0000010u, 0, {0xDE, 0xAD, 0xBE, 0xEF, 0x00, 0x11}},
    };
}

} // namespace

bool MurelPageSimParseNumber(const std::string& text, uint64_t maximum, uint64_t& value) {
    if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') {
        return false;
    }
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    char* end = nullptr;
    const unsigned long long parsed = strtoull(text.c_str(), &end, hex ? 16 : 10);
    if (end == nullptr || *end != '\0' || parsed > maximum) {
        return false;
    }
    value = parsed;
    return true;
}

const char* MurelPageSimUsage() {
    return kUsage;
}

bool MurelPageSimParse(const std::vector<std::string>& arguments, CMurelPageSimOptions& options,
                       std::string& error) {
    options = CMurelPageSimOptions{};
    for (const std::string& argument : arguments) {
        if (argument == "--help" || argument == "-h") {
            options.command = EMurelPageSimCommand::Help;
            return true;
        }
    }
    if (arguments.empty()) {
        error = "no command given (write, remove, hold-lock, show; --help for usage)";
        return false;
    }
    const std::string& command = arguments[0];
    std::set<std::string> allowed = {"--page", "--pagelock"};
    if (command == "write") {
        options.command = EMurelPageSimCommand::Write;
        allowed.insert({"--block", "--version", "--fix-crc", "--break-crc", "--item", "--no-items",
                        "--format", "--dir-length", "--raw", "--size", "--keep-counter"});
    } else if (command == "remove") {
        options.command = EMurelPageSimCommand::Remove;
    } else if (command == "hold-lock") {
        options.command = EMurelPageSimCommand::HoldLock;
        allowed.insert({"--seconds", "--read"});
    } else if (command == "show") {
        options.command = EMurelPageSimCommand::Show;
    } else {
        error = "unknown command '" + command + "'";
        return false;
    }
    options.page = objectPath("MUREL_PAGE", "/murelpage");
    options.pageLock = objectPath("MUREL_PAGELOCK", "/murelpage-lock");

    bool noItems = false;
    bool formatGiven = false;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        const bool hasValue = equals != std::string::npos;
        const std::string value = hasValue ? argument.substr(equals + 1) : std::string();
        if (name.rfind("--", 0) != 0 || allowed.count(name) == 0) {
            error = "unknown option '" + argument + "' for " + command;
            return false;
        }
        const bool isFlag = name == "--fix-crc" || name == "--break-crc" || name == "--no-items" ||
                            name == "--keep-counter" || name == "--read";
        if (isFlag && hasValue) {
            error = "option " + name + " takes no value";
            return false;
        }
        if (!isFlag && (!hasValue || value.empty())) {
            error = "option " + name + " needs a value";
            return false;
        }
        uint64_t number = 0;
        if (name == "--page") {
            options.page = value;
        } else if (name == "--pagelock") {
            options.pageLock = value;
        } else if (name == "--block") {
            options.blockFile = value;
        } else if (name == "--version") {
            if (!MurelPageSimParseNumber(value, 255, number)) {
                error = "--version needs a number 0..255: '" + value + "'";
                return false;
            }
            options.version = static_cast<int>(number);
        } else if (name == "--fix-crc") {
            options.fixCrc = true;
        } else if (name == "--break-crc") {
            options.breakCrc = true;
        } else if (name == "--item") {
            CMurelPageItem item;
            if (!parseItem(value, item, error)) {
                return false;
            }
            options.items.push_back(item);
            options.customItems = true;
        } else if (name == "--no-items") {
            noItems = true;
            options.customItems = true;
        } else if (name == "--format") {
            if (!MurelPageSimParseNumber(value, 255, number)) {
                error = "--format needs a number 0..255: '" + value + "'";
                return false;
            }
            options.format = static_cast<int>(number);
            formatGiven = true;
        } else if (name == "--dir-length") {
            if (!MurelPageSimParseNumber(value, 0xFFFF, number)) {
                error = "--dir-length needs a number 0..65535: '" + value + "'";
                return false;
            }
            options.directoryLength = static_cast<long>(number);
        } else if (name == "--raw") {
            options.rawFile = value;
        } else if (name == "--size") {
            if (!MurelPageSimParseNumber(value, 65536, number) || number == 0) {
                error = "--size needs a number 1..65536: '" + value + "'";
                return false;
            }
            options.size = static_cast<uint32_t>(number);
        } else if (name == "--keep-counter") {
            options.keepCounter = true;
        } else if (name == "--seconds") {
            if (!MurelPageSimParseNumber(value, 86400, number)) {
                error = "--seconds needs a number 0..86400: '" + value + "'";
                return false;
            }
            options.seconds = static_cast<uint32_t>(number);
        } else if (name == "--read") {
            options.readLock = true;
        }
    }

    if (options.page.empty() || options.pageLock.empty()) {
        error = "empty --page or --pagelock";
        return false;
    }
    if (options.command != EMurelPageSimCommand::Write) {
        return true;
    }
    if (noItems && !options.items.empty()) {
        error = "--no-items and --item exclude each other";
        return false;
    }
    if (options.fixCrc && options.breakCrc) {
        error = "--fix-crc and --break-crc exclude each other";
        return false;
    }
    if ((options.version >= 0 || options.fixCrc || options.breakCrc) && options.blockFile.empty()) {
        error = "--version, --fix-crc and --break-crc need --block";
        return false;
    }
    if (!options.rawFile.empty() && (!options.blockFile.empty() || options.customItems ||
                                     formatGiven || options.directoryLength >= 0)) {
        error = "--raw excludes --block, --item, --no-items, --format and --dir-length";
        return false;
    }
    if (!options.customItems) {
        options.items = defaultItems();
    }
    return true;
}
