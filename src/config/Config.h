#pragma once

#include "config/SettingsStore.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace zg {

// The agent's persistent settings and the rules of the pairing code and the channel secret.
// Every read goes to the store and every write straight to it: the store is the single source
// of truth. A missing value, or one of another type, reads as its default.
// Threading: main thread only. The store must outlive the Config.
class Config {
public:
    // The characters a pairing code is made of: 2-9 and A-Z without I, L and O, which are
    // easily mistaken for 1 and 0.
    static constexpr std::string_view alphabet = "23456789ABCDEFGHJKMNPQRSTUVWXYZ";
    static constexpr std::size_t codeLength = 16;
    // The secret is this many random bytes, stored and carried as Base64url without padding.
    static constexpr std::size_t secretBytes = 32;

    // Makes sure a valid pairing code and secret are stored, drawing fresh ones in one write if
    // needed; valid stored ones are left as they are and nothing is written. `defaultPhoneUrl`
    // is the phone page used when no "phoneUrl" is stored.
    Config(SettingsStore& store, std::string defaultPhoneUrl);

    // True when no pairing code was stored at construction: a first run, or wiped settings.
    bool isNew() const { return isNew_; }

    std::string code() const;
    // Shared with the phone through the link's fragment only, which no server sees.
    std::string secret() const;
    // A fresh code and secret, stored together: phones paired before can no longer join.
    void renew();

    double speed() const;
    void setSpeed(double speed);

    // Whether the ring around the pointer is shown.
    bool ring() const;
    void setRing(bool ring);

    // The desktop portal's token for restoring the user's grant on the next start
    // ("portalToken"); empty when there is none.
    std::string portalToken() const { return text("portalToken"); }
    void setPortalToken(const std::string& token) { store("portalToken", token); }

    // Lines for the user's log; may be absent.
    std::function<void(const std::string& line)> log;

    // The phone page; set only from outside the agent, by editing the settings. It goes into
    // the QR code phones open, so only an absolute http or https address with a host is used;
    // anything else reads as the default and is said in the log once (the file keeps it).
    std::string phoneUrl() const;
    // Whether phones that cannot seal are heard ("plainPhones"); set only by editing too.
    bool plainPhones() const;

    // What the pairing QR code carries: the phone page with the code as its "k" parameter and
    // the secret as the fragment's "s".
    std::string link() const;

    // Why settings written now would not last until the next start; absent when they would.
    std::optional<StoreProblem> storeProblem() const { return store_.problem(); }

    static bool valid(std::string_view code);
    // Why `url` cannot be the phone page, or empty when it can.
    static std::string phoneUrlProblem(std::string_view url);
    static bool validSecret(std::string_view secret);

    // A fresh code, drawn uniformly from the secure random source; not stored.
    static std::string newCode();
    // The same draw from `random`, a source of uniform 64-bit values.
    static std::string newCode(const std::function<std::uint64_t()>& random);
    static std::string newSecret();

private:
    std::string text(const char* key) const;  // empty unless a string is stored
    void store(const char* key, nlohmann::json value);

    SettingsStore& store_;
    std::string defaultPhoneUrl_;
    bool isNew_ = false;
    mutable std::string refusedUrl_;  // the last "phoneUrl" refused, said once
};

}  // namespace zg
