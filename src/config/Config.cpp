#include "config/Config.h"

#include "config/SecureRandom.h"
#include "link/Base64.h"

#include <sodium.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <utility>

namespace zg {
namespace {

const nlohmann::json* find(const nlohmann::json& settings, const char* key) {
    auto it = settings.find(key);
    return it == settings.end() ? nullptr : &*it;
}

}  // namespace

Config::Config(SettingsStore& store, std::string defaultPhoneUrl)
    : store_(store), defaultPhoneUrl_(std::move(defaultPhoneUrl)) {
    const nlohmann::json* stored = find(store_.load(), "code");
    isNew_ = stored == nullptr || !stored->is_string();
    nlohmann::json settings = store_.load();
    const bool codeValid = valid(code()), secretValid = validSecret(secret());
    if (!codeValid) settings["code"] = newCode();
    if (!secretValid) settings["secret"] = newSecret();
    if (!codeValid || !secretValid) store_.save(settings);
}

std::string Config::code() const {
    return text("code");
}

std::string Config::secret() const {
    return text("secret");
}

void Config::renew() {
    nlohmann::json settings = store_.load();
    settings["code"] = newCode();
    settings["secret"] = newSecret();
    store_.save(settings);
}

double Config::speed() const {
    const nlohmann::json* value = find(store_.load(), "speed");
    if (!value || !value->is_number()) return 1.0;
    double speed = value->get<double>();
    // Only a value set in memory can be non-finite; the file cannot hold one.
    return std::isfinite(speed) ? speed : 1.0;
}

void Config::setSpeed(double speed) {
    store("speed", speed);
}

bool Config::ring() const {
    const nlohmann::json* value = find(store_.load(), "halo");
    return value && value->is_boolean() ? value->get<bool>() : true;
}

void Config::setRing(bool ring) {
    store("halo", ring);
}

std::string Config::phoneUrl() const {
    const nlohmann::json* value = find(store_.load(), "phoneUrl");
    if (!value || !value->is_string()) return defaultPhoneUrl_;
    std::string url = value->get<std::string>();
    const std::string problem = phoneUrlProblem(url);
    if (problem.empty()) return url;
    if (url != std::exchange(refusedUrl_, url) && log) {
        log("the \"phoneUrl\" setting " + nlohmann::json(url).dump() + " is not used: " + problem +
            "; " +
            (defaultPhoneUrl_.empty() ? "there is no other phone page"
                                      : "the phone page is " + defaultPhoneUrl_ + " instead"));
    }
    return defaultPhoneUrl_;
}

bool Config::plainPhones() const {
    const nlohmann::json* value = find(store_.load(), "plainPhones");
    return value && value->is_boolean() && value->get<bool>();
}

std::string Config::link() const {
    std::string url = phoneUrl();
    url.resize(std::min(url.find('#'), url.size()));  // the secret's fragment comes last
    url += url.find('?') == std::string::npos ? "?k=" : "&k=";
    return url + code() + "#s=" + secret();
}

bool Config::valid(std::string_view code) {
    if (code.size() != codeLength) return false;
    for (char c : code) {
        if (alphabet.find(c) == std::string_view::npos) return false;
    }
    return true;
}

std::string Config::phoneUrlProblem(std::string_view url) {
    for (char c : url) {
        // Spaces and controls would be read differently by each scanner, or not at all.
        if (static_cast<unsigned char>(c) <= ' ' || c == '\x7f') {
            return "it holds spaces or control characters";
        }
    }
    const auto colon = url.find(':');
    if (colon == std::string_view::npos) return "it is not an absolute address";
    std::string scheme(url.substr(0, colon));
    std::ranges::transform(scheme, scheme.begin(), [](unsigned char c) { return std::tolower(c); });
    if (scheme != "http" && scheme != "https") {
        return "only http and https addresses can be the phone page";
    }
    if (!url.substr(colon + 1).starts_with("//")) return "it is not an absolute address";
    std::string_view authority = url.substr(colon + 3);
    authority = authority.substr(0, authority.find_first_of("/?#"));
    if (const auto at = authority.rfind('@'); at != std::string_view::npos) {
        authority.remove_prefix(at + 1);  // user information
    }
    std::string_view port;
    if (authority.starts_with('[')) {
        const auto close = authority.find(']');
        if (close == std::string_view::npos || close == 1) return "it names no host";
        port = authority.substr(close + 1);
    } else {
        const auto portColon = authority.find(':');
        if (portColon == 0 || authority.empty()) return "it names no host";
        if (portColon != std::string_view::npos) port = authority.substr(portColon);
    }
    if (!port.empty() && (port.front() != ':' || port.size() > 6 ||
                          port.find_first_not_of("0123456789", 1) != std::string_view::npos)) {
        return "its port is not a number";
    }
    return {};
}

bool Config::validSecret(std::string_view secret) {
    unsigned char bytes[secretBytes];
    std::size_t size = 0;
    // Only the canonical form: the decoder refuses padding, other alphabets and stray bits.
    return decodeBase64(secret, sodium_base64_VARIANT_URLSAFE_NO_PADDING, bytes, sizeof bytes,
                        size) &&
           size == secretBytes;
}

std::string Config::newSecret() {
    unsigned char bytes[secretBytes];
    secureRandomBytes(bytes, sizeof bytes);
    char text[sodium_base64_ENCODED_LEN(secretBytes, sodium_base64_VARIANT_URLSAFE_NO_PADDING)];
    sodium_bin2base64(text, sizeof text, bytes, sizeof bytes,
                      sodium_base64_VARIANT_URLSAFE_NO_PADDING);
    return text;
}

std::string Config::newCode() {
    return newCode(secureRandom64);
}

std::string Config::newCode(const std::function<std::uint64_t()>& random) {
    constexpr std::uint64_t size = alphabet.size();
    // 2^64 mod size: values below it would make the lowest indices slightly more likely.
    constexpr std::uint64_t biased = (0 - size) % size;
    std::string code;
    while (code.size() < codeLength) {
        std::uint64_t r = random();
        if (r >= biased) code += alphabet[r % size];
    }
    return code;
}

std::string Config::text(const char* key) const {
    const nlohmann::json* value = find(store_.load(), key);
    return value && value->is_string() ? value->get<std::string>() : std::string();
}

void Config::store(const char* key, nlohmann::json value) {
    nlohmann::json settings = store_.load();
    settings[key] = std::move(value);
    store_.save(settings);
}

}  // namespace zg
