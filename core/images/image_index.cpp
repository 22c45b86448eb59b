#include "core/images/image_index.h"

#include <atomic>

namespace veltrane {
namespace {
std::atomic<ImageRule> defaultRule{ImageRule::MpfIndexFirst};
}  // namespace

ImageRule DefaultImageRule() { return defaultRule.load(); }
void SetDefaultImageRule(ImageRule rule) { defaultRule.store(rule); }

std::string ImageListEntry(int imageNumber, std::int64_t sizeInBytes) {
    std::string number = "00" + std::to_string(imageNumber);
    number = number.substr(number.size() - 3);
    return " Image " + number + ":  " + std::to_string(sizeInBytes / 1024) + " K";
}

}  // namespace veltrane
