#include "platform/pipewire/StreamParams.h"

#include <spa/buffer/meta.h>
#include <spa/param/video/format-utils.h>

namespace zg {
namespace {

// Room for the cursor's bitmap too, though only its position is read: a producer that cannot
// fit its bitmap may leave the cursor out altogether.
constexpr int cursorMetaSize(int width, int height) {
    return int(sizeof(spa_meta_cursor) + sizeof(spa_meta_bitmap)) + width * height * 4;
}

const spa_pod* meta(spa_pod_builder& builder, uint32_t type, int size) {
    return static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(type),
        SPA_PARAM_META_size, SPA_POD_Int(size)));
}

}  // namespace

const spa_pod* formatOffer(spa_pod_builder& builder) {
    spa_rectangle size{1280, 720}, minSize{1, 1}, maxSize{16384, 16384};
    spa_fraction rate{0, 1}, minRate{0, 1}, maxRate{360, 1};  // 0/1: frames on damage only
    return static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
        SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype,
        SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
        SPA_POD_CHOICE_ENUM_Id(5, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx,
                               SPA_VIDEO_FORMAT_BGRA, SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_RGBA),
        SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&size, &minSize, &maxSize),
        SPA_FORMAT_VIDEO_framerate, SPA_POD_CHOICE_RANGE_Fraction(&rate, &minRate, &maxRate)));
}

std::vector<const spa_pod*> bufferParams(spa_pod_builder& builder) {
    const int mappable = (1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr);
    return {
        static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_dataType,
            SPA_POD_CHOICE_FLAGS_Int(mappable))),
        meta(builder, SPA_META_Header, sizeof(spa_meta_header)),
        meta(builder, SPA_META_VideoCrop, sizeof(spa_meta_region)),
        static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type,
            SPA_POD_Id(SPA_META_Cursor), SPA_PARAM_META_size,
            SPA_POD_CHOICE_RANGE_Int(cursorMetaSize(64, 64), cursorMetaSize(1, 1),
                                     cursorMetaSize(1024, 1024)))),
    };
}

std::optional<VideoFormat> agreedFormat(const spa_pod* param) {
    uint32_t mediaType = 0, mediaSubtype = 0;
    if (!param || spa_format_parse(param, &mediaType, &mediaSubtype) < 0 ||
        mediaType != SPA_MEDIA_TYPE_video || mediaSubtype != SPA_MEDIA_SUBTYPE_raw) {
        return std::nullopt;
    }
    spa_video_info_raw info{};
    if (spa_format_video_raw_parse(param, &info) < 0) return std::nullopt;
    return VideoFormat{info.format, int(info.size.width), int(info.size.height)};
}

}  // namespace zg
