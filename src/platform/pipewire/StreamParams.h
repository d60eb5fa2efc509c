#pragma once

#include <spa/pod/builder.h>
#include <spa/pod/pod.h>

#include <optional>
#include <vector>

#include "platform/pipewire/StreamBuffer.h"

// What a screen stream asks of its producer, as SPA parameters.
namespace zg {

// The formats readBuffer reads, at any size and frame rate, built in `builder`'s memory.
const spa_pod* formatOffer(spa_pod_builder& builder);

// Once a format is agreed: buffers in memory that can be mapped (no DMA-BUF, which would need
// a GPU to read), with the header, crop and cursor metadata.
std::vector<const spa_pod*> bufferParams(spa_pod_builder& builder);

// The format a SPA_PARAM_Format parameter agreed on; nothing when it is not raw video.
std::optional<VideoFormat> agreedFormat(const spa_pod* param);

}  // namespace zg
