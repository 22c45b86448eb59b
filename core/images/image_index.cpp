#include "core/images/image_index.h"

#include <atomic>

#include "core/common/image_list_line.h"

namespace veltrane {
namespace {
std::atomic<ImageRule> defaultRule{ImageRule::MpfIndexFirst};
}  // namespace

ImageRule DefaultImageRule() { return defaultRule.load(); }
void SetDefaultImageRule(ImageRule rule) { defaultRule.store(rule); }

std::string ImageListEntry(int imageNumber, std::int64_t sizeInBytes) {
    return ImageListLine(imageNumber, sizeInBytes);
}

}  // namespace veltrane
