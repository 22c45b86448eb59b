#include "core/common/image_list_line.h"

namespace veltrane {

std::string ImageListLine(int imageNumber, std::int64_t sizeInBytes) {
    std::string number = "00" + std::to_string(imageNumber);
    number = number.substr(number.size() - 3);
    return " Image " + number + ":  " + std::to_string(sizeInBytes / 1024) + " K";
}

}  // namespace veltrane
