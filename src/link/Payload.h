#pragma once

#include <nlohmann/json.hpp>

namespace zg {

// One application message: a JSON object carried inside relay broadcasts.
using Payload = nlohmann::json;

}  // namespace zg
