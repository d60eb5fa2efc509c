// The agent reading its settings file, which people also edit by hand: any bytes read as an
// object, and the settings made of them always hold a valid pairing code and secret.
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "FuzzInput.h"
#include "MemoryStore.h"
#include "config/Config.h"
#include "config/JsonFileStore.h"

using zg::fuzz::require;
namespace fs = std::filesystem;

namespace {

const std::string base64url = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

// In memory where there is a tmpfs, since every input is written to the file anew.
struct ScratchFile {
    const fs::path dir =
        (fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path()) /
        ("zg-fuzz-settings-" + std::to_string(getpid()));
    const fs::path file = dir / "settings.json";
    ScratchFile() { fs::create_directories(dir); }
    ~ScratchFile() { fs::remove_all(dir); }
} scratch;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::ofstream(scratch.file, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), std::streamsize(size));
    zg::JsonFileStore file(scratch.file);
    // The fresh code and secret a Config draws for unusable ones go to memory, not to the file
    // under test.
    zg::test::MemoryStore store;
    store.settings = file.load();
    require(store.settings.is_object(), "settings read as an object");
    const zg::Config config(store, "http://192.168.1.20:8787/remote");
    require(zg::Config::valid(config.code()) && zg::Config::validSecret(config.secret()),
            "a valid code and secret");
    const std::string secret = config.secret();
    require(secret.size() == 43 && secret.find_first_not_of(base64url) == std::string::npos,
            "the secret is 32 bytes of Base64url");
    require(config.link().ends_with("#s=" + secret), "the link ends with the secret");
    require(std::isfinite(config.speed()), "a finite speed");
    (void)config.ring();
    (void)config.plainPhones();
    return 0;
}
