// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A failed MPO job that is no input/output failure: an input that is not a complete JPEG image,
// a file whose offsets would not fit the index. The message is the cause alone; subject names
// the file or image it is about, so the command line prints "veltrane: SUBJECT: CAUSE".
#include <stdexcept>
#include <string>

namespace veltrane {

class MpoError : public std::runtime_error {
public:
    MpoError(std::string subject, const std::string& cause)
        : std::runtime_error(cause), subject_(std::move(subject)) {}
    const std::string& Subject() const noexcept { return subject_; }

private:
    std::string subject_;
};

}  // namespace veltrane
