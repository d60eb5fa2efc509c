#include "app/CommandLine.h"

namespace zg {
namespace {

bool isWebSocketUrl(const std::string& url) {
    for (const char* scheme : {"ws://", "wss://"}) {
        const std::string_view prefix(scheme);
        if (url.size() > prefix.size() && url.compare(0, prefix.size(), prefix) == 0) return true;
    }
    return false;
}

}  // namespace

std::optional<AgentOptions> parseAgentOptions(const std::vector<std::string>& args,
                                              std::string& error) {
    const auto refuse = [&error](std::string why) {
        error = std::move(why);
        return std::nullopt;
    };
    AgentOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> value;
        if (const auto eq = name.find('='); name.starts_with("--") && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        const bool takesValue = name == "--relay" || name == "--listen" || name == "--desktop";
        if (!takesValue && value) return refuse("option " + name + " takes no value");
        if (takesValue && !value) {
            if (i + 1 == args.size()) return refuse("option " + name + " needs a value");
            value = args[++i];
        }

        if (name == "--help" || name == "-h") {
            options.help = true;
        } else if (name == "--version") {
            options.version = true;
        } else if (name == "--tray") {
            options.tray = true;
        } else if (name == "--print-qr") {
            options.terminalCode = true;
        } else if (name == "--plain") {
            options.plain = true;
        } else if (name == "--relay") {
            if (!isWebSocketUrl(*value)) {
                return refuse("--relay needs a ws:// or wss:// URL, not \"" + *value + "\"");
            }
            options.relayUrl = *value;
        } else if (name == "--desktop") {
            if (*value == "x11") {
                options.desktop = DesktopLayer::X11;
            } else if (*value == "portal") {
                options.desktop = DesktopLayer::Portal;
            } else {
                return refuse("--desktop takes x11 or portal, not \"" + *value + "\"");
            }
        } else if (name == "--listen") {
            std::string why;
            auto address = parseListenAddress(*value, why);
            if (!address) return refuse("--listen: " + why);
            options.listen = *address;
        } else {
            return refuse("unknown option \"" + name + "\"");
        }
    }
    return options;
}

std::string agentUsage(const std::string& program) {
    return "Usage: " + program +
           " [options]\n"
           "Lets a phone drive this computer. Prints the phone link to open on the phone.\n"
           "\n"
           "Options:\n"
           "  --listen HOST:PORT  where the embedded relay listens (default :8787, every\n"
           "                      interface); also \":PORT\" and \"[IPv6]:PORT\"\n"
           "  --relay URL         use the relay at URL (ws:// or wss://) instead of the\n"
           "                      embedded one\n"
           "  --desktop LAYER     how to drive the desktop: \"x11\" (X11 directly) or\n"
           "                      \"portal\" (the desktop portal, asking the user for\n"
           "                      access); by default the portal in a Wayland session,\n"
           "                      even with XWayland, and X11 elsewhere\n"
           "  --tray              start in the tray without showing the pairing window\n"
           "  --print-qr          also print the QR code in the terminal (it is printed\n"
           "                      anyway when there is no system tray)\n"
           "  --plain             also take unsealed messages, from phone clients that\n"
           "                      cannot seal, and answer them unsealed too: anyone\n"
           "                      who can see the relay's traffic reads the keys typed\n"
           "                      and the screen, and anyone who learns the pairing code\n"
           "                      can drive this computer. Without it, only a phone\n"
           "                      that opened this computer's link (whose secret no\n"
           "                      server sees) can read or drive it.\n"
           "  --version           print the version and exit\n"
           "  -h, --help          show this help and exit\n";
}

}  // namespace zg
