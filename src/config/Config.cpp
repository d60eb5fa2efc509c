#include "config/Config.h"

#include "config/SecureRandom.h"

#include <sodium.h>

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
    return value && value->is_string() ? value->get<std::string>() : defaultPhoneUrl_;
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

bool Config::validSecret(std::string_view secret) {
    unsigned char bytes[secretBytes];
    std::size_t size = 0;
    // Only the canonical form: the decoder refuses padding, other alphabets and stray bits.
    return sodium_base642bin(bytes, sizeof bytes, secret.data(), secret.size(), nullptr, &size,
                             nullptr, sodium_base64_VARIANT_URLSAFE_NO_PADDING) == 0 &&
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
