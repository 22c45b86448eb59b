// SPDX-License-Identifier: GPL-3.0-or-later
// The imaging modules' entry point (imaging_abi.h): the --stereo command of the stereo library
// (and --decode-heif-item, an image item of a HEIF file to PNG, when it is built with libheif)
// or the --transform command of the transform library, whichever the module is built with, with
// their output handed back through the program's callbacks.
#include <exception>
#include <new>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

#include "imaging/module/imaging_abi.h"
#include "core/common/exit_codes.h"
#include "core/parts/file_parts.h"
#ifdef VELTRANE_WITH_STEREO
#include "imaging/stereo/stereo_command.h"
#endif
#ifdef VELTRANE_WITH_TRANSFORM
#include "imaging/transform/transform_command.h"
#endif
#ifdef VELTRANE_WITH_HEIF_DECODE
#include "imaging/heif/heif_part_decoder.h"
#endif

namespace {

// A stream buffer that hands everything written to it to the program's callback.
class CallbackBuffer final : public std::streambuf {
public:
    explicit CallbackBuffer(veltrane_output output) : output_(output) { setp(buffer_, buffer_ + sizeof buffer_); }
    ~CallbackBuffer() override { sync(); }
    CallbackBuffer(const CallbackBuffer&) = delete;
    CallbackBuffer& operator=(const CallbackBuffer&) = delete;

protected:
    int_type overflow(int_type c) override {
        sync();
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            const char ch = traits_type::to_char_type(c);
            output_.write(output_.context, &ch, 1);
        }
        return traits_type::not_eof(c);
    }
    int sync() override {
        if (pptr() > pbase()) output_.write(output_.context, pbase(), static_cast<std::size_t>(pptr() - pbase()));
        setp(buffer_, buffer_ + sizeof buffer_);
        return 0;
    }

private:
    veltrane_output output_;
    char buffer_[4096];
};

}  // namespace

extern "C" __attribute__((visibility("default"))) int veltrane_imaging_run(const char* command, int wordCount,
                                                                          const char* const* words, int imageRule,
                                                                          veltrane_output out, veltrane_output err) {
    CallbackBuffer outBuffer(out), errBuffer(err);
    std::ostream outStream(&outBuffer), errStream(&errBuffer);
    try {
        const std::vector<std::string> args(words, words + wordCount);
        // The images are found as the program finds them: the last one ends at its EOI when a
        // trailer (a motion photo's video, a maker's records) follows it.
        veltrane::ScanOptions scan = veltrane::parts::WithOtherParts({});
        if (imageRule == veltrane_rule_signature_only) scan.rule = veltrane::ImageRule::SignatureOnly;
        const std::string word = command;
#ifdef VELTRANE_WITH_STEREO
        if (word == "--stereo") return veltrane::stereo::RunStereoCommand(args, outStream, errStream, scan);
#endif
#ifdef VELTRANE_WITH_TRANSFORM
        if (word == "--transform") return veltrane::transform::RunTransformCommand(args, outStream, errStream, scan);
#endif
#ifdef VELTRANE_WITH_HEIF_DECODE
        if (word == "--decode-heif-item") return veltrane::heif::RunDecodeHeifItemCommand(args, outStream, errStream);
#endif
        errStream << "veltrane: the imaging module has no command " << command << "\n";
        return veltrane::kExitUsage;
    } catch (const std::bad_alloc&) {
        outStream.flush();
        errStream << "veltrane: out of memory\n";
    } catch (const std::exception& e) {
        outStream.flush();
        errStream << "veltrane: " << e.what() << "\n";
    } catch (...) {
        errStream << "veltrane: unexpected failure\n";
    }
    return veltrane::kExitFailure;
}
